#include "host/files/FfmpegTags.h"

#include "host/files/FfmpegAudioFile.h"

#include <QFile>

#include <cstring>
#include <optional>

namespace tolvex::host {

namespace {

/// The texts under FFmpeg's generic metadata names, which its demuxers and
/// muxers map to each container's own (ID3 frames, Vorbis comments, MP4
/// atoms, RIFF INFO chunks).
constexpr struct {
    const char* key;
    QString AudioTags::*field;
} textTags[] = {
    {"title", &AudioTags::title},     {"artist", &AudioTags::artist}, {"album", &AudioTags::album},
    {"track", &AudioTags::track},     {"date", &AudioTags::date},     {"genre", &AudioTags::genre},
    {"comment", &AudioTags::comment},
};

struct Picture {
    AVCodecID codec;
    int width;
    int height;
};

int bigEndian16(const QByteArray& bytes, qsizetype at)
{
    return (quint8(bytes[at]) << 8) | quint8(bytes[at + 1]);
}

/// The picture's codec and size from its header, for the stream that holds
/// it; nothing for what is neither PNG nor JPEG.
std::optional<Picture> pictureOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n") && bytes.size() >= 24)
        return Picture{AV_CODEC_ID_PNG, (bigEndian16(bytes, 16) << 16) | bigEndian16(bytes, 18),
                       (bigEndian16(bytes, 20) << 16) | bigEndian16(bytes, 22)};
    if (!bytes.startsWith("\xff\xd8"))
        return std::nullopt;
    // The size is in the first start-of-frame segment (SOF0...SOF15 but for
    // the table markers C4, C8 and CC).
    for (qsizetype at = 2; at + 9 <= bytes.size();) {
        if (quint8(bytes[at]) != 0xff)
            return std::nullopt;
        const int marker = quint8(bytes[at + 1]);
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
            return Picture{AV_CODEC_ID_MJPEG, bigEndian16(bytes, at + 7),
                           bigEndian16(bytes, at + 5)};
        at += marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7) ? 2
                                                                   : 2 + bigEndian16(bytes, at + 2);
    }
    return std::nullopt;
}

QString text(const AVDictionary* metadata, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry ? QString::fromUtf8(entry->value).trimmed() : QString();
}

} // namespace

AudioTags containerTags(const AVFormatContext& container, int audioStream)
{
    const AVDictionary* streamMetadata =
        audioStream >= 0 ? container.streams[audioStream]->metadata : nullptr;
    AudioTags tags;
    for (const auto& [key, field] : textTags) {
        tags.*field = text(container.metadata, key);
        if ((tags.*field).isEmpty())
            tags.*field = text(streamMetadata, key);
    }
    for (unsigned i = 0; i < container.nb_streams && tags.cover.isEmpty(); ++i) {
        const AVStream& stream = *container.streams[i];
        const AVPacket& picture = stream.attached_pic;
        if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) && picture.size > 0) {
            QByteArray bytes(reinterpret_cast<const char*>(picture.data), picture.size);
            if (pictureOf(bytes))
                tags.cover = std::move(bytes);
        }
    }
    return tags;
}

AudioTags readContainerTags(const QString& path)
{
    silenceFfmpeg();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return {};
    const FfmpegInput container(raw);
    return containerTags(*container,
                         av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0));
}

int addContainerTags(AVFormatContext& output, const AudioTags& tags)
{
    for (const auto& [key, field] : textTags)
        if (!(tags.*field).isEmpty())
            av_dict_set(&output.metadata, key, (tags.*field).toUtf8().constData(), 0);
    const auto picture = pictureOf(tags.cover);
    if (!picture)
        return -1;
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (!stream)
        return -1;
    stream->disposition = AV_DISPOSITION_ATTACHED_PIC;
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = picture->codec;
    stream->codecpar->width = picture->width;
    stream->codecpar->height = picture->height;
    return stream->index;
}

void writeCover(AVFormatContext& output, int stream, const QByteArray& cover)
{
    const FfmpegPacket packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), int(cover.size())) < 0)
        return;
    std::memcpy(packet->data, cover.constData(), size_t(cover.size()));
    packet->stream_index = stream;
    packet->pts = packet->dts = 0;
    packet->flags |= AV_PKT_FLAG_KEY;
    av_write_frame(&output, packet.get());
}

} // namespace tolvex::host
