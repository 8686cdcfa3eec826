#include "cli/ExportFile.h"

#include <QDir>

namespace tolvex::cli {

QString displayPath(const QString& path)
{
    const QString relative = QDir::current().relativeFilePath(path);
    return relative.startsWith(QStringLiteral("..")) ? path : relative;
}

} // namespace tolvex::cli
