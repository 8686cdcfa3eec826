#include "host/files/ReadAhead.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvex::host {

namespace {

constexpr sf_count_t pieceBytes = 1 << 20;

} // namespace

std::unique_ptr<ReadAhead> ReadAhead::open(const QString& path)
{
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<ReadAhead>(new ReadAhead(std::move(file)));
}

SF_VIRTUAL_IO* ReadAhead::callbacks()
{
    static SF_VIRTUAL_IO io{
        [](void* self) { return static_cast<ReadAhead*>(self)->length(); },
        [](sf_count_t offset, int whence, void* self) {
            return static_cast<ReadAhead*>(self)->seek(offset, whence);
        },
        [](void* into, sf_count_t count, void* self) {
            return static_cast<ReadAhead*>(self)->read(static_cast<char*>(into), count);
        },
        [](const void*, sf_count_t, void*) -> sf_count_t { return 0; }, // read only
        [](void* self) { return static_cast<ReadAhead*>(self)->m_position; },
    };
    return &io;
}

sf_count_t ReadAhead::length() const
{
    struct stat status {};
    return ::fstat(m_file.get(), &status) == 0 ? sf_count_t(status.st_size) : -1;
}

sf_count_t ReadAhead::seek(sf_count_t offset, int whence)
{
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = m_position;
    else if (whence == SEEK_END)
        base = length();
    else if (whence != SEEK_SET)
        return -1;
    if (base < 0 || base + offset < 0)
        return -1;
    m_position = base + offset;
    return m_position;
}

sf_count_t ReadAhead::read(char* into, sf_count_t count)
{
    sf_count_t done = 0;
    while (done < count) {
        const sf_count_t inPiece = m_position - m_pieceAt;
        if (inPiece >= 0 && inPiece < sf_count_t(m_piece.size())) {
            const sf_count_t n = std::min(count - done, sf_count_t(m_piece.size()) - inPiece);
            std::memcpy(into + done, m_piece.data() + inPiece, size_t(n));
            done += n;
            m_position += n;
            continue;
        }
        if (count - done >= pieceBytes) {
            const sf_count_t n = readAt(into + done, count - done, m_position);
            if (n <= 0)
                break;
            done += n;
            m_position += n;
            continue;
        }
        m_piece.resize(size_t(pieceBytes));
        const sf_count_t n = readAt(m_piece.data(), pieceBytes, m_position);
        m_piece.resize(size_t(std::max<sf_count_t>(n, 0)));
        m_pieceAt = m_position;
        if (n <= 0)
            break;
    }
    return done;
}

sf_count_t ReadAhead::readAt(char* into, sf_count_t count, sf_count_t offset) const
{
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_file.get(), into + done, size_t(count - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return done > 0 ? done : -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

} // namespace tolvex::host
