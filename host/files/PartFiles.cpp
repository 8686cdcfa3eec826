#include "host/files/PartFiles.h"

#include "host/files/FileDescriptor.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvex::host {

namespace {

struct DirectoryClose {
    void operator()(DIR* directory) const { ::closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryClose>;

/// This machine's name as part names carry it: letters, digits, '.' and
/// '_' (anything else becomes '_'), at most 64 characters; "host" where the
/// system has none.
const QByteArray& machineName()
{
    static const QByteArray name = [] {
        char buffer[256] = {};
        QByteArray made;
        if (::gethostname(buffer, sizeof buffer - 1) == 0)
            made = QByteArray(buffer).left(64);
        for (char& c : made)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.')
                c = '_';
        return made.isEmpty() ? QByteArray("host") : made;
    }();
    return name;
}

/// The process named by a part file's name, when the file is this machine's
/// to judge; 0 otherwise. A part file names its machine, because a folder
/// shared over the network may hold files other machines are writing; names
/// without one come from versions before that and from this machine.
pid_t partOwner(const char* name)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\.tolvex-(?:([A-Za-z0-9._]{1,64})-)?([1-9][0-9]{0,9})-[0-9a-f]{16}\\.part$"));
    const QRegularExpressionMatch match = pattern.match(QLatin1StringView(name));
    if (!match.hasMatch())
        return 0;
    if (match.hasCaptured(1) && match.captured(1).toLatin1() != machineName())
        return 0;
    bool ok = false;
    const qlonglong pid = match.captured(2).toLongLong(&ok);
    return ok && pid <= 0x7fffffff ? pid_t(pid) : 0;
}

/// Whether the process has ended but its parent has not yet collected it:
/// a killed writer whose parent went with it stays so until init reaps it.
bool processIsZombie(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state …"; the name may hold spaces and brackets.
    const QByteArray text = stat.read(4096);
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() &&
           (text[close + 2] == 'Z' || text[close + 2] == 'X');
}

/// Whether a process of that number runs (perhaps another user's).
bool processAlive(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    return !processIsZombie(pid);
}

/// Removes one leftover when its writer is gone; see removeLeftoverParts.
void removeIfAbandoned(int folder, const char* name)
{
    const pid_t owner = partOwner(name);
    if (owner == 0 || processAlive(owner))
        return;
    const FileDescriptor file(
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!file || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_uid != ::geteuid())
        return;
    // Held by a writer: alive after all. File systems without locks say so
    // with other errors, and the process check alone decides there.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (nameIsFile(folder, name, file.get()))
        ::unlinkat(folder, name, 0);
}

} // namespace

bool nameIsFile(int folder, const char* name, int fd)
{
    struct stat named {};
    struct stat opened {};
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

QByteArray newPartName()
{
    const quint64 random = QRandomGenerator::system()->generate64();
    return ".tolvex-" + machineName() + '-' + QByteArray::number(qint64(::getpid())) + '-' +
           QByteArray::number(random, 16).rightJustified(16, '0') + ".part";
}

void removeLeftoverParts(int folder)
{
    const int scan = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (scan < 0)
        return;
    const Directory directory(::fdopendir(scan));
    if (!directory) {
        ::close(scan);
        return;
    }
    while (const dirent* entry = ::readdir(directory.get()))
        if (entry->d_name[0] == '.' && (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN))
            removeIfAbandoned(folder, entry->d_name);
}

} // namespace tolvex::host
