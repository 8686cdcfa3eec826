#include "host/files/ScratchFile.h"

#include "host/HostError.h"
#include "host/files/FileDescriptor.h"
#include "host/files/FileText.h"
#include "host/files/OutputFile.h"
#include "host/files/PartFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tolvex::host {

namespace {

constexpr qint64 sampleBytes = qint64(sizeof(float));

class ScratchReader : public AudioFileReader {
public:
    /// `fd` stays open while this reader lives; errors name `output`.
    ScratchReader(int fd, const QString& output, const AudioFormat& format, qint64 frames)
        : m_fd(fd), m_output(output), m_format(format), m_frames(frames)
    {}

    AudioFormat processingFormat() const override { return m_format; }
    qint64 length() const override { return m_frames; }
    qint64 framePosition() const override { return m_position; }
    void setFramePosition(qint64 frame) override
    {
        m_position = std::clamp<qint64>(frame, 0, m_frames);
    }

    void read(AudioBuffer& buffer, qint64 frames) override
    {
        const int channels = m_format.channelCount();
        const qint64 count = std::min({frames, buffer.frameCapacity(), m_frames - m_position});
        m_interleaved.resize(size_t(count * channels));
        const qint64 bytes = count * channels * sampleBytes;
        auto* data = reinterpret_cast<char*>(m_interleaved.data());
        for (qint64 done = 0; done < bytes;) {
            const ssize_t got = ::pread(m_fd, data + done, size_t(bytes - done),
                                        off_t(m_position * channels * sampleBytes + done));
            if (got == 0 || (got < 0 && errno != EINTR))
                throw HostError(cannotRead(m_output));
            done += std::max<ssize_t>(got, 0);
        }
        for (int c = 0; c < channels && c < buffer.channelCount(); ++c) {
            float* out = buffer.channel(c);
            for (qint64 i = 0; i < count; ++i)
                out[i] = m_interleaved[size_t(i * channels + c)];
        }
        buffer.setFrameLength(count);
        m_position += count;
    }

private:
    int m_fd;
    QString m_output;
    AudioFormat m_format;
    qint64 m_frames;
    qint64 m_position = 0;
    std::vector<float> m_interleaved;
};

/// Samples appended to a descriptor: a part file of its own, removed with
/// the object, or a leased file, left where it is.
class ScratchFile : public ScratchAudio {
public:
    ScratchFile(const QString& output, const AudioFormat& format)
        : m_owned(std::in_place, output), m_output(output), m_format(format)
    {}
    ScratchFile(FileDescriptor leased, const QString& output, const AudioFormat& format,
                qint64 frames)
        : m_leased(std::move(leased)), m_output(output), m_format(format), m_frames(frames)
    {}

    void write(const AudioBuffer& buffer) override
    {
        const int channels = m_format.channelCount();
        const qint64 frames = buffer.frameLength();
        m_interleaved.resize(size_t(frames * channels));
        for (int c = 0; c < channels; ++c) {
            const float* in = buffer.channel(c);
            for (qint64 i = 0; i < frames; ++i)
                m_interleaved[size_t(i * channels + c)] = in[i];
        }
        const auto* data = reinterpret_cast<const char*>(m_interleaved.data());
        const qint64 bytes = frames * channels * sampleBytes;
        for (qint64 done = 0; done < bytes;) {
            const ssize_t put = ::write(descriptor(), data + done, size_t(bytes - done));
            if (put < 0 && errno != EINTR)
                throw HostError(cannotWrite(m_output, errno));
            done += std::max<ssize_t>(put, 0);
        }
        m_frames += frames;
    }

    std::unique_ptr<AudioFileReader> read() override
    {
        return std::make_unique<ScratchReader>(descriptor(), m_output, m_format, m_frames);
    }

private:
    int descriptor() const { return m_owned ? m_owned->descriptor() : m_leased.get(); }

    std::optional<OutputFile> m_owned; // never placed: removed with the object
    FileDescriptor m_leased;
    QString m_output;
    AudioFormat m_format;
    qint64 m_frames = 0;
    std::vector<float> m_interleaved;
};

class ScratchFileLease : public ScratchLease {
public:
    explicit ScratchFileLease(const QString& output)
    {
        const QFileInfo info(output);
        const QByteArray name = newPartName();
        m_path = QDir(info.absolutePath()).filePath(QString::fromLatin1(name));
        const FileDescriptor file(::open(QFile::encodeName(m_path).constData(),
                                         O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        struct stat made {};
        if (!file || ::fstat(file.get(), &made) != 0)
            throw HostError(cannotCreate(output, errno));
        m_device = made.st_dev;
        m_inode = made.st_ino;
    }

    ~ScratchFileLease() override
    {
        const QByteArray path = QFile::encodeName(m_path);
        struct stat standing {};
        if (::lstat(path.constData(), &standing) == 0 && standing.st_dev == m_device &&
            standing.st_ino == m_inode)
            ::unlink(path.constData());
    }

    QString path() const override { return m_path; }

private:
    QString m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace

std::unique_ptr<ScratchAudio> createScratchFile(const QString& output, const AudioFormat& format)
{
    return std::make_unique<ScratchFile>(output, format);
}

std::unique_ptr<ScratchLease> leaseScratchFile(const QString& output)
{
    return std::make_unique<ScratchFileLease>(output);
}

std::unique_ptr<ScratchAudio> openScratchFile(const QString& scratch, const QString& output,
                                              const AudioFormat& format)
{
    FileDescriptor file(
        ::open(QFile::encodeName(scratch).constData(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened {};
    if (!file || ::fstat(file.get(), &opened) != 0)
        throw HostError(cannotOpen(output, systemErrorText(errno)));
    const qint64 frameBytes = format.channelCount() * sampleBytes;
    if (!S_ISREG(opened.st_mode) || opened.st_size % frameBytes != 0)
        throw HostError(cannotRead(output));
    return std::make_unique<ScratchFile>(std::move(file), output, format,
                                         qint64(opened.st_size) / frameBytes);
}

} // namespace tolvex::host
