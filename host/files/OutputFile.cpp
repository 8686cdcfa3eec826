#include "host/files/OutputFile.h"

#include "host/HostError.h"
#include "host/files/FileText.h"
#include "host/files/PartFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvex::host {

namespace {

/// How much more of the file flushAhead() waits for before it hands it to
/// the disk: large enough for a few calls per second at most.
constexpr off_t flushStretch = off_t(8) << 20;

/// How often a part file is made anew when a leftover sweep of another
/// process took it in the instant between its creation and its lock.
constexpr int createAttempts = 8;

/// The folder, open for lookups, listing and flushing where that is allowed.
FileDescriptor openFolder(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd && errno == EACCES) // a folder one may write into but not list
        fd.reset(::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        throw HostError(cannotCreate(path, errno));
    return fd;
}

/// Renames within the folder, failing with EEXIST rather than replace
/// anything. File systems without RENAME_NOREPLACE get a hard link, which
/// never replaces either; those without links a look before the rename.
bool renameNoReplace(int folder, const char* from, const char* to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    if (::linkat(folder, from, folder, to, 0) == 0) {
        ::unlinkat(folder, from, 0);
        return true;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    struct stat existing {};
    if (::fstatat(folder, to, &existing, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(folder, from, folder, to) == 0;
}

} // namespace

OutputFile::OutputFile(const QString& path) : m_path(path), m_folder(openFolder(path))
{
    removeLeftoverParts(m_folder.get());
    for (int attempt = 0; attempt < createAttempts && !m_file; ++attempt) {
        m_partName = newPartName();
        m_file.reset(::openat(m_folder.get(), m_partName.constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!m_file)
            throw HostError(cannotCreate(path, errno));
        // Locked at once; a sweep that removed the file before is seen by
        // the name no longer naming it. File systems without locks go on
        // unlocked: sweeps there go by the process alone.
        while (::flock(m_file.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        if (!nameIsFile(m_folder.get(), m_partName.constData(), m_file.get()))
            m_file.reset();
    }
    if (!m_file)
        throw HostError(cannotCreate(path, EAGAIN));
}

OutputFile::~OutputFile()
{
    if (m_file && !m_placed && nameIsFile(m_folder.get(), m_partName.constData(), m_file.get()))
        ::unlinkat(m_folder.get(), m_partName.constData(), 0);
}

void OutputFile::flushAhead()
{
    struct stat info {};
    if (!m_file || ::fstat(m_file.get(), &info) != 0 || info.st_size - m_flushing < flushStretch)
        return;
    ::sync_file_range(m_file.get(), m_flushing, info.st_size - m_flushing, SYNC_FILE_RANGE_WRITE);
    m_flushing = info.st_size;
}

void OutputFile::place(const QString& path)
{
    if (m_placed)
        return;
    if (m_failed) // an earlier attempt failed for good
        throw HostError(cannotWrite(path, EIO));
    m_failed = true; // until placed, or the name is found taken
    // fsync fails with EINVAL where the file system has nothing to flush.
    if (!m_synced && ::fsync(m_file.get()) != 0 && errno != EINVAL)
        throw HostError(cannotWrite(path, errno));
    m_synced = true;
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    if (!renameNoReplace(m_folder.get(), m_partName.constData(), name.constData())) {
        if (errno == EEXIST) {
            m_failed = false;
            throw NameTaken(cannotCreate(path, EEXIST));
        }
        throw HostError(errno == ENOENT ? folderGone(path) : cannotWrite(path, errno));
    }
    m_partName = name; // what the destructor removes should the rest fail
    checkPlaced(path);
    m_path = path;
    m_placed = true;
    m_failed = false;
    m_file.reset(); // releases the lock, now that no part file is left
}

/// The name must stand for the file where the caller will look for it: a
/// folder moved or replaced by a new one of its name meanwhile holds it
/// elsewhere. The folder is flushed so that the new name survives a power cut.
void OutputFile::checkPlaced(const QString& path)
{
    if (!nameIsFile(AT_FDCWD, QFile::encodeName(path).constData(), m_file.get()))
        throw HostError(folderGone(path));
    // An O_PATH folder, which cannot be flushed, reports EBADF.
    if (::fsync(m_folder.get()) != 0 && errno != EINVAL && errno != EBADF)
        throw HostError(cannotWrite(path, errno));
}

} // namespace tolvex::host
