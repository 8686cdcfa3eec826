#include "host/files/FfmpegAudioFile.h"

#include "host/HostError.h"
#include "host/files/FfmpegHandles.h"
#include "host/files/FfmpegTags.h"
#include "host/files/FileFormat.h"
#include "host/files/FileText.h"

#include <QFile>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <mutex>
#include <vector>

namespace tolvex::host {

namespace {

/// Frames decoded before a seek target so that codecs with overlapping
/// transforms (AAC, Vorbis, Opus) have settled when the target arrives.
constexpr qint64 seekPreroll = 8192;
/// Forward seeks shorter than this decode through instead of seeking.
constexpr qint64 decodeThrough = 65536;

/// Converts `count` samples of channel `c` of a decoded frame to float.
void convertChannel(const AVFrame& frame, int c, int offset, int count, float* out)
{
    const auto format = AVSampleFormat(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame.ch_layout.nb_channels;
    const int stride = planar ? 1 : channels;
    const int first = planar ? offset : offset * channels + c;
    const uint8_t* data = frame.extended_data[planar ? c : 0];
    const auto convert = [&](auto* samples, auto scale) {
        for (int i = 0; i < count; ++i)
            out[i] = scale(samples[first + i * stride]);
    };
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        convert(data, [](uint8_t s) { return (float(s) - 128.0f) * (1.0f / 128.0f); });
        break;
    case AV_SAMPLE_FMT_S16:
        convert(reinterpret_cast<const int16_t*>(data),
                [](int16_t s) { return float(s) * (1.0f / 32768.0f); });
        break;
    case AV_SAMPLE_FMT_S32:
        convert(reinterpret_cast<const int32_t*>(data),
                [](int32_t s) { return float(double(s) * (1.0 / 2147483648.0)); });
        break;
    case AV_SAMPLE_FMT_S64:
        convert(reinterpret_cast<const int64_t*>(data),
                [](int64_t s) { return float(double(s) * (1.0 / 9223372036854775808.0)); });
        break;
    case AV_SAMPLE_FMT_FLT:
        convert(reinterpret_cast<const float*>(data), [](float s) { return s; });
        break;
    case AV_SAMPLE_FMT_DBL:
        convert(reinterpret_cast<const double*>(data), [](double s) { return float(s); });
        break;
    default:
        std::fill_n(out, count, 0.0f);
        break;
    }
}

class FfmpegReader : public AudioFileReader {
public:
    explicit FfmpegReader(QString path) : m_path(std::move(path)) {}

    /// Opens and measures the file; throws HostError.
    void open()
    {
        openContainer();
        measureLength();
        rewind();
        // The first decoded frame fixes where frame 0 lies on the stream's
        // clock: after the codec's own start skip, whatever the container's
        // first timestamp.
        decodeMore();
        m_position = 0;
    }

    AudioFormat processingFormat() const override { return *m_format; }
    qint64 length() const override { return m_length; }
    qint64 framePosition() const override { return m_position; }
    AudioTags tags() const override { return containerTags(*m_container, m_streamIndex); }

    void setFramePosition(qint64 frame) override
    {
        frame = std::clamp<qint64>(frame, 0, m_length);
        const qint64 buffered = bufferedFrames();
        if (frame >= m_position && frame - m_position < buffered + decodeThrough) {
            skipTo(frame);
            return;
        }
        if (m_fineClock && m_originPts != AV_NOPTS_VALUE && frame > seekPreroll &&
            seekNear(frame - seekPreroll)) {
            skipTo(frame);
            return;
        }
        rewind();
        m_position = 0;
        skipTo(frame);
    }

    void read(AudioBuffer& buffer, qint64 frames) override
    {
        buffer.setFrameLength(0);
        const qint64 wanted =
            std::max<qint64>(0, std::min({frames, buffer.frameCapacity(), m_length - m_position}));
        while (bufferedFrames() < wanted && !m_ended)
            decodeMore();
        const qint64 got = std::min(wanted, bufferedFrames());
        if (got < wanted) // the stream ended before its announced length
            m_length = m_position + got;
        const int channels = std::min(buffer.channelCount(), m_format->channelCount());
        for (int c = 0; c < channels; ++c)
            std::copy_n(m_pending[size_t(c)].begin() + m_pendingOffset, got, buffer.channel(c));
        consume(got);
        buffer.setFrameLength(got);
    }

private:
    [[noreturn]] void fail(const QString& reason) const
    {
        throw HostError(cannotOpen(m_path, reason));
    }

    void openContainer()
    {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, QFile::encodeName(m_path).constData(), nullptr, nullptr) < 0)
            fail(QStringLiteral("Das Format ist unbekannt oder die Datei ist beschädigt."));
        m_container.reset(raw);
        if (avformat_find_stream_info(m_container.get(), nullptr) < 0)
            fail(QStringLiteral("Die Datei ist beschädigt."));
        m_streamIndex =
            av_find_best_stream(m_container.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (m_streamIndex < 0)
            fail(QStringLiteral("Die Datei enthält keinen Ton."));
        AVStream* stream = m_container->streams[m_streamIndex];
        for (unsigned i = 0; i < m_container->nb_streams; ++i)
            if (int(i) != m_streamIndex)
                m_container->streams[i]->discard = AVDISCARD_ALL;
        m_timeBase = stream->time_base;
        m_fineClock = av_q2d(m_timeBase) * stream->codecpar->sample_rate <= 1.0;

        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!decoder)
            fail(QStringLiteral("Der Codec wird nicht unterstützt."));
        m_codec.reset(avcodec_alloc_context3(decoder));
        if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
            fail(QStringLiteral("Der Codec wird nicht unterstützt."));
        m_codec->pkt_timebase = stream->time_base;
        if (avcodec_open2(m_codec.get(), decoder, nullptr) < 0)
            fail(QStringLiteral("Der Codec wird nicht unterstützt."));
        m_format = fileFormat(m_path, m_codec->sample_rate, m_codec->ch_layout.nb_channels);
        m_pending.assign(size_t(m_format->channelCount()), {});
        m_frame.reset(av_frame_alloc());
        m_packet.reset(av_packet_alloc());
        if (!m_frame || !m_packet)
            throw std::bad_alloc();
    }

    /// The length as the container and stream signal it: the packets'
    /// durations (after the container's edit list) less the samples the codec
    /// is told to skip at the start and discard at the end. Reads no payload
    /// through the decoder. Falls back to decoding when packets carry no
    /// durations.
    void measureLength()
    {
        int64_t duration = 0;
        int64_t skipped = 0;
        bool complete = true;
        for (;;) {
            const int status = av_read_frame(m_container.get(), m_packet.get());
            if (status == AVERROR_EOF)
                break;
            if (status < 0)
                fail(QStringLiteral("Die Datei ist beschädigt."));
            if (m_packet->stream_index == m_streamIndex) {
                if (m_packet->duration <= 0)
                    complete = false;
                duration += m_packet->duration;
                size_t size = 0;
                if (const uint8_t* skip =
                        av_packet_get_side_data(m_packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
                    skip && size >= 8)
                    skipped += int64_t(AV_RL32(skip)) + int64_t(AV_RL32(skip + 4));
            }
            av_packet_unref(m_packet.get());
        }
        // Packet durations count only when the container's clock resolves
        // single frames; Matroska's milliseconds, for one, do not.
        if (complete && m_fineClock) {
            const AVRational perFrame{1, int(m_format->sampleRate())};
            m_length = std::max<int64_t>(0, av_rescale_q(duration, m_timeBase, perFrame) - skipped);
            return;
        }
        rewind();
        qint64 frames = 0;
        while (!m_ended) {
            decodeMore();
            frames += bufferedFrames();
            consume(bufferedFrames());
        }
        m_length = frames;
    }

    /// Back to the first frame. The container is opened anew: seeking to
    /// the start would skip packets the container marks as discarded (the
    /// encoder delay of an M4A), and the decoder needs them to settle.
    void rewind()
    {
        clearPending();
        m_ended = false;
        m_draining = false;
        // A new decoder too: a flushed one keeps state a fresh one lacks
        // (the AAC decoder's noise generator), and frames would differ.
        m_container.reset();
        m_codec.reset();
        openContainer();
        m_decodePosition = 0;
        m_position = 0;
    }

    /// Seeks to a packet at or before `frame`; the decoded timestamps then
    /// tell where the frames lie. False when the container cannot seek.
    bool seekNear(qint64 frame)
    {
        const AVRational perFrame{1, int(m_format->sampleRate())};
        const int64_t target = m_originPts + av_rescale_q(frame, perFrame, m_timeBase);
        if (av_seek_frame(m_container.get(), m_streamIndex, target, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        avcodec_flush_buffers(m_codec.get());
        clearPending();
        m_ended = false;
        m_draining = false;
        m_decodePosition = -1; // known again from the next frame's timestamp
        m_position = frame;
        return true;
    }

    /// Decodes until `frame` is the next buffered frame (or the stream ends).
    void skipTo(qint64 frame)
    {
        for (;;) {
            const qint64 drop = std::min(frame - m_position, bufferedFrames());
            consume(drop);
            if (m_position >= frame || m_ended)
                break;
            decodeMore();
        }
        m_position = frame;
    }

    /// Decodes one more frame into the pending samples, or marks the end. A
    /// packet the decoder refuses is passed over, as players do: the frames
    /// after it keep their place by their timestamps, and the gap is silent.
    void decodeMore()
    {
        for (;;) {
            const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
            if (received == 0) {
                append(*m_frame);
                av_frame_unref(m_frame.get());
                return;
            }
            if (received == AVERROR_EOF || (received != AVERROR(EAGAIN) && m_draining)) {
                m_ended = true;
                return;
            }
            if (received == AVERROR(ENOMEM))
                throw std::bad_alloc();
            const int status = av_read_frame(m_container.get(), m_packet.get());
            if (status == AVERROR_EOF) {
                m_draining = true;
                avcodec_send_packet(m_codec.get(), nullptr);
                continue;
            }
            if (status < 0)
                throw HostError(cannotRead(m_path));
            if (m_packet->stream_index == m_streamIndex)
                avcodec_send_packet(m_codec.get(), m_packet.get()); // refusals show when receiving
            av_packet_unref(m_packet.get());
        }
    }

    /// Appends a decoded frame to the pending samples at its place on the
    /// file's frame axis; samples before the read position are dropped.
    void append(const AVFrame& frame)
    {
        const AVRational perFrame{1, int(m_format->sampleRate())};
        const int64_t pts = frame.best_effort_timestamp;
        if (m_originPts == AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE && m_decodePosition == 0 &&
            !m_originKnown)
            m_originPts = pts;
        m_originKnown = true;

        qint64 start = m_decodePosition;
        if (m_fineClock && m_originPts != AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE)
            start = av_rescale_q(pts - m_originPts, m_timeBase, perFrame);
        else if (start < 0)
            start = m_position; // no timestamps after a seek: take it as landed
        m_decodePosition = start + frame.nb_samples;

        compactPending();
        const qint64 end = m_position + bufferedFrames(); // next frame expected
        if (start - end > maxGapFrames()) {
            // A jump this far is a damaged timestamp, not lost packets: go on
            // where the samples left off, and read later timestamps relative
            // to this frame, instead of filling the jump with silence.
            if (m_originPts != AV_NOPTS_VALUE)
                m_originPts += av_rescale_q(start - end, perFrame, m_timeBase);
            start = end;
            m_decodePosition = start + frame.nb_samples;
        }
        qint64 offset = std::max<qint64>(0, end - start); // overlap already held or passed
        if (offset >= frame.nb_samples)
            return;
        const qint64 gap = std::max<qint64>(0, start - end);
        const int count = int(frame.nb_samples - offset);
        for (int c = 0; c < m_format->channelCount(); ++c) {
            auto& samples = m_pending[size_t(c)];
            const size_t at = samples.size();
            samples.resize(at + size_t(gap) + size_t(count), 0.0f);
            convertChannel(frame, std::min(c, frame.ch_layout.nb_channels - 1), int(offset), count,
                           samples.data() + at + gap);
        }
    }

    /// The longest run of silence a gap between decoded frames is filled
    /// with: ten seconds, and never more than 2^20 frames.
    qint64 maxGapFrames() const
    {
        return std::min<qint64>(qint64(10 * m_format->sampleRate()), qint64(1) << 20);
    }

    qint64 bufferedFrames() const
    {
        return m_pending.empty() ? 0 : qint64(m_pending.front().size()) - m_pendingOffset;
    }

    void consume(qint64 frames)
    {
        m_pendingOffset += frames;
        m_position += frames;
        if (m_pendingOffset > 0 && m_pendingOffset == qint64(m_pending.front().size()))
            clearPending();
    }

    /// Drops consumed samples from the front, so the pending samples stay
    /// about one decoded frame long whatever the block sizes.
    void compactPending()
    {
        if (m_pendingOffset == 0)
            return;
        for (auto& samples : m_pending)
            samples.erase(samples.begin(), samples.begin() + m_pendingOffset);
        m_pendingOffset = 0;
    }

    void clearPending()
    {
        for (auto& samples : m_pending)
            samples.clear();
        m_pendingOffset = 0;
    }

    QString m_path;
    FfmpegInput m_container;
    FfmpegCodec m_codec;
    FfmpegFrame m_frame;
    FfmpegPacket m_packet;
    int m_streamIndex = -1;
    AVRational m_timeBase{1, 1};
    std::optional<AudioFormat> m_format;
    qint64 m_length = 0;
    qint64 m_position = 0;       ///< next frame read() delivers
    qint64 m_decodePosition = 0; ///< frame after the last decoded one; -1: unknown
    /// Whether timestamps resolve single frames; if not, frames are counted
    /// from the start and seeking decodes through.
    bool m_fineClock = false;
    int64_t m_originPts = AV_NOPTS_VALUE;
    bool m_originKnown = false;
    bool m_ended = false;
    bool m_draining = false;
    std::vector<std::vector<float>> m_pending; ///< decoded frames from m_position on
    qint64 m_pendingOffset = 0;
};

} // namespace

void silenceFfmpeg()
{
    // Failures reach the user as German descriptions; FFmpeg's own chatter
    // on standard error would only be noise.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::unique_ptr<AudioFileReader> openFfmpegReader(const QString& path)
{
    silenceFfmpeg();
    auto reader = std::make_unique<FfmpegReader>(path);
    reader->open();
    return reader;
}

} // namespace tolvex::host
