#include "host/files/OutputFile.h"

#include "host/HostError.h"
#include "host/files/FileText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tolvex::host {

OutputFile::OutputFile(const QString& path) : m_path(path), m_nativePath(QFile::encodeName(path))
{
    m_fd = ::open(m_nativePath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0)
        throw HostError(cannotCreate(path, errno));
}

OutputFile::~OutputFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_keep)
        ::unlink(m_nativePath.constData());
}

void OutputFile::close()
{
    if (m_fd < 0)
        return;
    // fsync fails with EINVAL where the file system has nothing to flush.
    const bool synced = ::fsync(m_fd) == 0 || errno == EINVAL;
    const int syncError = errno;
    const int fd = m_fd;
    m_fd = -1;
    if (!synced) {
        ::close(fd);
        throw HostError(cannotWrite(m_path, syncError));
    }
    if (::close(fd) != 0)
        throw HostError(cannotWrite(m_path, errno));
    m_keep = true;
}

} // namespace tolvex::host
