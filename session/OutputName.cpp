#include "session/OutputName.h"

#include "model/NumberedName.h"

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

OutputName freeOutputName(const QUrl& source, model::ExportFormat format, const OutputPlace& place,
                          const QSet<QString>& taken)
{
    const QFileInfo sourceInfo(source.toLocalFile());
    const QDir folder(place.folderPath.isEmpty() ? sourceInfo.absolutePath() : place.folderPath);
    const QString first = folder.filePath(sourceInfo.completeBaseName() + place.suffix + u'.' +
                                          model::fileExtension(format));
    int n = 1;
    while (occupied(model::numberedName(first, n)) || taken.contains(model::numberedName(first, n)))
        ++n;
    return {QUrl::fromLocalFile(model::numberedName(first, n)), n};
}

} // namespace tolvex::session
