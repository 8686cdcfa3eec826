#include "host/files/ScratchFile.h"

#include "host/HostError.h"
#include "host/files/FileText.h"
#include "host/files/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace tolvex::host {

namespace {

constexpr qint64 sampleBytes = qint64(sizeof(float));

class ScratchReader : public AudioFileReader {
public:
    ScratchReader(const OutputFile& file, const AudioFormat& format, qint64 frames)
        : m_file(file), m_format(format), m_frames(frames)
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
            const ssize_t got = ::pread(m_file.descriptor(), data + done, size_t(bytes - done),
                                        off_t(m_position * channels * sampleBytes + done));
            if (got <= 0 && errno != EINTR)
                throw HostError(cannotRead(m_file.path()));
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
    const OutputFile& m_file;
    AudioFormat m_format;
    qint64 m_frames;
    qint64 m_position = 0;
    std::vector<float> m_interleaved;
};

class ScratchFile : public ScratchAudio {
public:
    ScratchFile(const QString& output, const AudioFormat& format) : m_file(output), m_format(format)
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
            const ssize_t put = ::write(m_file.descriptor(), data + done, size_t(bytes - done));
            if (put < 0 && errno != EINTR)
                throw HostError(cannotWrite(m_file.path(), errno));
            done += std::max<ssize_t>(put, 0);
        }
        m_frames += frames;
    }

    std::unique_ptr<AudioFileReader> read() override
    {
        return std::make_unique<ScratchReader>(m_file, m_format, m_frames);
    }

private:
    OutputFile m_file; // never placed: removed with the object
    AudioFormat m_format;
    qint64 m_frames = 0;
    std::vector<float> m_interleaved;
};

} // namespace

std::unique_ptr<ScratchAudio> createScratchFile(const QString& output, const AudioFormat& format)
{
    return std::make_unique<ScratchFile>(output, format);
}

} // namespace tolvex::host
