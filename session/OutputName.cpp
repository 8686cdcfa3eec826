#include "session/OutputName.h"

#include <QDir>
#include <QFileInfo>

namespace tolvex::session {

namespace {

/// Whether anything, even a dangling link, stands at the path.
bool occupied(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QUrl freeOutputName(const QUrl& source, model::ExportFormat format, const OutputPlace& place,
                    const QSet<QString>& taken)
{
    const QFileInfo sourceInfo(source.toLocalFile());
    const QDir folder(place.folderPath.isEmpty() ? sourceInfo.absolutePath() : place.folderPath);
    const QString base = sourceInfo.completeBaseName() + place.suffix;
    const QString extension = u'.' + model::fileExtension(format);
    QString candidate = folder.filePath(base + extension);
    for (int n = 2; occupied(candidate) || taken.contains(candidate); ++n)
        candidate = folder.filePath(base + u' ' + QString::number(n) + extension);
    return QUrl::fromLocalFile(candidate);
}

} // namespace tolvex::session
