#include "session/FolderContents.h"

#include "model/NaturalOrder.h"
#include "session/FileNames.h"

#include <QDir>
#include <QMimeDatabase>

#include <algorithm>
#include <memory>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace tolvex::session {

namespace {

bool isAudio(const QMimeType& type)
{
    if (type.name().startsWith(u"audio/"))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(),
                       [](const QString& name) { return name.startsWith(u"audio/"); });
}

bool isFolder(const QByteArray& path)
{
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// The kind of a folder entry, links to files resolved, links to folders not.
enum class Kind { folder, file, other };

Kind kindOf(const QByteArray& path, unsigned char type)
{
    if (type == DT_DIR)
        return Kind::folder;
    if (type == DT_REG)
        return Kind::file;
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return Kind::other;
    if (S_ISDIR(info.st_mode))
        return Kind::folder;
    if (S_ISLNK(info.st_mode) && ::stat(path.constData(), &info) != 0)
        return Kind::other; // a broken link
    return S_ISREG(info.st_mode) ? Kind::file : Kind::other;
}

} // namespace

FolderContents FolderContents::of(const QString& path)
{
    const QString root = QDir::cleanPath(path);
    if (!isFolder(encodeFileName(root))) {
        if (hasUndecodableBytes(root))
            return {{}, {root}};
        return {{QUrl::fromLocalFile(root)}, {}};
    }
    // By the names' bytes: Qt's own listing drops names that are not UTF-8.
    QMimeDatabase types;
    FolderContents found;
    QStringList paths;
    std::vector<QByteArray> folders{encodeFileName(root)};
    while (!folders.empty()) {
        QByteArray folder = std::move(folders.back());
        folders.pop_back();
        if (!folder.endsWith('/'))
            folder += '/';
        const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.constData()),
                                                          &::closedir);
        if (!listing)
            continue;
        while (const dirent* entry = ::readdir(listing.get())) {
            if (entry->d_name[0] == '.')
                continue; // hidden, and "." and ".."
            const QByteArray child = folder + entry->d_name;
            const Kind kind = kindOf(child, entry->d_type);
            if (kind == Kind::folder)
                folders.push_back(child);
            if (kind != Kind::file)
                continue;
            const QString name = decodeFileName(child);
            if (isAudio(types.mimeTypeForFile(name, QMimeDatabase::MatchExtension)))
                (hasUndecodableBytes(name) ? found.undecodable : paths).append(name);
        }
    }
    model::naturalSort(paths);
    model::naturalSort(found.undecodable);
    for (const QString& file : paths)
        found.files.append(QUrl::fromLocalFile(file));
    return found;
}

} // namespace tolvex::session
