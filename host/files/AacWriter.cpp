#include "host/files/FfmpegAudioFile.h"

#include "host/HostError.h"
#include "host/files/ChannelLayout.h"
#include "host/files/FfmpegHandles.h"
#include "host/files/FfmpegTags.h"
#include "host/files/FileText.h"
#include "host/files/OutputFile.h"

#include <QFile>

#include <cerrno>
#include <cmath>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvex::host {

namespace {

constexpr int ioBufferSize = 1 << 16;

/// Writes an M4A through the descriptor of an OutputFile, so the muxer never
/// creates or truncates a file by name and the file takes its name only when
/// complete.
class AacWriter : public AudioFileWriter {
public:
    AacWriter(QString path, const model::WriterSettings& settings, const AudioTags& tags)
        : m_path(std::move(path)), m_channels(settings.channels)
    {
        const int rate = int(std::lround(settings.sampleRate));
        if (settings.formatID != model::aacFormat || rate != settings.sampleRate ||
            !AudioFormat::standard(settings.sampleRate, settings.channels))
            unsupported();
        openEncoder(rate, settings.encoderBitRate.value_or(settings.channels * 128000));
        m_file.emplace(m_path);
        openMuxer(rate, tags);
    }

    void write(const AudioBuffer& buffer) override
    {
        if (buffer.channelCount() != m_channels)
            throw HostError(cannotWrite(m_path, EINVAL));
        const int frameSize = m_encoder->frame_size;
        qint64 done = 0;
        while (done < buffer.frameLength()) {
            const int take = int(std::min<qint64>(frameSize - m_fill, buffer.frameLength() - done));
            for (int c = 0; c < m_channels; ++c) {
                const float* in = buffer.channel(c) + done;
                float* out = reinterpret_cast<float*>(m_frame->data[c]) + m_fill;
                // The encoder fails on samples that are not finite.
                for (int i = 0; i < take; ++i)
                    out[i] = std::isfinite(in[i]) ? in[i] : 0.0f;
            }
            m_fill += take;
            done += take;
            if (m_fill == frameSize)
                encodeFrame();
        }
        m_file->flushAhead();
    }

    void finish() override
    {
        complete();
        m_file->place(m_file->path());
    }

    void placeAt(const QString& path) override
    {
        complete();
        m_file->place(path);
    }

private:
    [[noreturn]] void unsupported() const
    {
        throw HostError(
            quotedFileName(m_path) +
            QStringLiteral(" lässt sich nicht anlegen: Das Format wird nicht unterstützt."));
    }
    [[noreturn]] void writeFailed() const
    {
        throw HostError(cannotWrite(m_path, m_ioError ? m_ioError : errno));
    }

    /// Flushes the encoder and writes the trailer; once.
    void complete()
    {
        if (m_completed)
            return;
        if (m_failed) // an earlier attempt failed
            writeFailed();
        m_failed = true;
        if (m_fill > 0)
            encodeFrame(); // a short last frame
        encode(nullptr);
        if (av_write_trailer(m_output.get()) < 0)
            writeFailed();
        avio_flush(m_io.get());
        if (m_io->error < 0 || m_ioError != 0)
            writeFailed();
        m_failed = false;
        m_completed = true;
    }

    void openEncoder(int rate, int bitRate)
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec)
            unsupported();
        m_encoder.reset(avcodec_alloc_context3(codec));
        if (!m_encoder)
            throw std::bad_alloc();
        m_encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
        m_encoder->sample_rate = rate;
        m_encoder->bit_rate = bitRate;
        m_encoder->profile = FF_PROFILE_AAC_LOW;
        m_encoder->time_base = AVRational{1, rate};
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (const quint64 mask = defaultChannelMask(m_channels); mask != 0)
            av_channel_layout_from_mask(&m_encoder->ch_layout, mask);
        else
            av_channel_layout_default(&m_encoder->ch_layout, m_channels);
        if (avcodec_open2(m_encoder.get(), codec, nullptr) < 0)
            unsupported();

        m_frame.reset(av_frame_alloc());
        m_packet.reset(av_packet_alloc());
        if (!m_frame || !m_packet)
            throw std::bad_alloc();
        m_frame->format = AV_SAMPLE_FMT_FLTP;
        m_frame->sample_rate = rate;
        m_frame->nb_samples = m_encoder->frame_size;
        av_channel_layout_copy(&m_frame->ch_layout, &m_encoder->ch_layout);
        if (av_frame_get_buffer(m_frame.get(), 0) < 0)
            throw std::bad_alloc();
    }

    void openMuxer(int rate, const AudioTags& tags)
    {
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, "ipod", nullptr) < 0)
            unsupported();
        m_output.reset(raw);
        FfmpegBuffer buffer(static_cast<unsigned char*>(av_malloc(ioBufferSize)));
        if (!buffer)
            throw std::bad_alloc();
        m_io.reset(avio_alloc_context(buffer.get(), ioBufferSize, 1, this, nullptr, &writePacket,
                                      &seekFile));
        if (!m_io)
            throw std::bad_alloc();
        buffer.release(); // m_io owns it now
        m_output->pb = m_io.get();
        m_output->flags |= AVFMT_FLAG_CUSTOM_IO;

        AVStream* stream = avformat_new_stream(m_output.get(), nullptr);
        if (!stream || avcodec_parameters_from_context(stream->codecpar, m_encoder.get()) < 0)
            unsupported();
        stream->time_base = AVRational{1, rate};
        const int coverStream = addContainerTags(*m_output, tags);
        // A movie clock at the sample rate makes the edit list's duration
        // exact to the frame; the default millisecond clock would round it.
        AVDictionary* options = nullptr;
        av_dict_set_int(&options, "movie_timescale", rate, 0);
        const int status = avformat_write_header(m_output.get(), &options);
        const FfmpegDictionary unused(options); // what the muxer did not take
        if (status < 0)
            writeFailed();
        if (coverStream >= 0)
            writeCover(*m_output, coverStream, tags.cover);
    }

    void encodeFrame()
    {
        m_frame->nb_samples = m_fill;
        m_frame->pts = m_pts;
        m_pts += m_fill;
        encode(m_frame.get());
        m_fill = 0;
        if (av_frame_make_writable(m_frame.get()) < 0)
            throw std::bad_alloc();
        m_frame->nb_samples = m_encoder->frame_size;
    }

    void encode(const AVFrame* frame)
    {
        if (avcodec_send_frame(m_encoder.get(), frame) < 0)
            throw HostError(cannotWrite(m_path, EINVAL));
        for (;;) {
            const int status = avcodec_receive_packet(m_encoder.get(), m_packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
                return;
            if (status < 0)
                throw HostError(cannotWrite(m_path, EINVAL));
            m_packet->stream_index = 0;
            av_packet_rescale_ts(m_packet.get(), m_encoder->time_base,
                                 m_output->streams[0]->time_base);
            const int written = av_write_frame(m_output.get(), m_packet.get());
            av_packet_unref(m_packet.get());
            if (written < 0)
                writeFailed();
        }
    }

    static int writePacket(void* opaque, uint8_t* data, int size)
    {
        auto* self = static_cast<AacWriter*>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t n = ::write(self->m_file->descriptor(), data + done, size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                self->m_ioError = n < 0 ? errno : ENOSPC;
                return AVERROR(self->m_ioError);
            }
            done += int(n);
        }
        return size;
    }

    static int64_t seekFile(void* opaque, int64_t offset, int whence)
    {
        auto* self = static_cast<AacWriter*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat info {};
            return ::fstat(self->m_file->descriptor(), &info) == 0 ? int64_t(info.st_size)
                                                                   : AVERROR(errno);
        }
        const off_t position =
            ::lseek(self->m_file->descriptor(), off_t(offset), whence & ~AVSEEK_FORCE);
        return position < 0 ? AVERROR(errno) : int64_t(position);
    }

    QString m_path;
    int m_channels;
    FfmpegCodec m_encoder;
    FfmpegFrame m_frame;
    FfmpegPacket m_packet;
    std::optional<OutputFile> m_file; // outlives the muxer writing to it
    FfmpegOutput m_output;            // outlives m_io, which it points to
    FfmpegIo m_io;
    int m_fill = 0;
    int64_t m_pts = 0;
    int m_ioError = 0;
    bool m_failed = false;
    bool m_completed = false;
};

} // namespace

std::unique_ptr<AudioFileWriter>
createAacWriter(const QString& path, const model::WriterSettings& settings, const AudioTags& tags)
{
    silenceFfmpeg();
    return std::make_unique<AacWriter>(path, settings, tags);
}

} // namespace tolvex::host
