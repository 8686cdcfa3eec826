#include "host/files/FileText.h"

#include <QFileInfo>

#include <cerrno>

namespace tolvex::host {

QString quotedFileName(const QString& path)
{
    return u'„' + QFileInfo(path).fileName() + u'“';
}

QString accessProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Die Datei gibt es nicht.");
    if (info.isDir())
        return QStringLiteral("Das ist ein Ordner.");
    if (!info.isReadable())
        return QStringLiteral("Keine Leserechte.");
    if (info.size() == 0)
        return QStringLiteral("Die Datei ist leer.");
    return {};
}

QString cannotOpen(const QString& path, const QString& reason)
{
    return quotedFileName(path) + QStringLiteral(" lässt sich nicht öffnen: ") + reason;
}

QString cannotRead(const QString& path)
{
    return quotedFileName(path) +
           QStringLiteral(" ist beschädigt und lässt sich nicht weiterlesen.");
}

QString cannotCreate(const QString& path, int error)
{
    return quotedFileName(path) + QStringLiteral(" lässt sich nicht anlegen: ") +
           systemErrorText(error);
}

QString cannotWrite(const QString& path, int error)
{
    return quotedFileName(path) + QStringLiteral(" lässt sich nicht schreiben: ") +
           systemErrorText(error);
}

QString folderGone(const QString& path)
{
    return quotedFileName(path) +
           QStringLiteral(" lässt sich nicht speichern: Der Zielordner wurde während des Exports "
                          "gelöscht, ersetzt oder verschoben.");
}

QString systemErrorText(int error)
{
    switch (error) {
    case EEXIST:
        return QStringLiteral("Eine Datei dieses Namens gibt es schon.");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Den Ordner gibt es nicht.");
    case EACCES:
    case EPERM:
        return QStringLiteral("Keine Schreibrechte.");
    case EROFS:
        return QStringLiteral("Der Datenträger ist schreibgeschützt.");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Der Datenträger ist voll.");
    case EISDIR:
        return QStringLiteral("Das ist ein Ordner.");
    case ENAMETOOLONG:
        return QStringLiteral("Der Name ist zu lang.");
    case EFBIG:
        return QStringLiteral("Die Datei wird zu groß.");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler des Datenträgers.");
    case 0:
        return QStringLiteral("Unbekannter Fehler.");
    default:
        return QStringLiteral("Systemfehler %1.").arg(error);
    }
}

} // namespace tolvex::host
