#include "host/files/SndfileAudioFile.h"

#include "host/HostError.h"
#include "host/files/ChannelLayout.h"
#include "host/files/FfmpegAudioFile.h"
#include "host/files/FileFormat.h"
#include "host/files/FileText.h"
#include "host/files/OutputFile.h"
#include "host/files/ReadAhead.h"

#include <QFile>
#include <QStringDecoder>

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <vector>

namespace tolvex::host {

namespace {

struct SndfileClose {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileClose>;

/// The texts libsndfile reads and writes, by its string types.
constexpr struct {
    int type;
    QString AudioTags::*field;
} sndfileStrings[] = {
    {SF_STR_TITLE, &AudioTags::title},     {SF_STR_ARTIST, &AudioTags::artist},
    {SF_STR_ALBUM, &AudioTags::album},     {SF_STR_TRACKNUMBER, &AudioTags::track},
    {SF_STR_DATE, &AudioTags::date},       {SF_STR_GENRE, &AudioTags::genre},
    {SF_STR_COMMENT, &AudioTags::comment},
};

/// A string as a file gives it: UTF-8 where it is valid, else Latin-1, the
/// older files' usual encoding.
QString decodedText(const char* bytes)
{
    if (!bytes)
        return {};
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes));
    if (decoder.hasError())
        text = QString::fromLatin1(bytes);
    return text.trimmed();
}

class SndfileReader : public AudioFileReader {
public:
    SndfileReader(QString path, std::unique_ptr<ReadAhead> input, Sndfile file, const SF_INFO& info,
                  AudioFormat format)
        : m_path(std::move(path)), m_input(std::move(input)), m_file(std::move(file)),
          m_format(format), m_length(std::max<sf_count_t>(info.frames, 0)),
          m_seekable(info.seekable != 0),
          m_exactSeek((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_OGG),
          m_vorbisComments((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG ||
                           (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC)
    {}

    AudioFormat processingFormat() const override { return m_format; }
    qint64 length() const override { return m_length; }
    qint64 framePosition() const override { return m_position; }

    AudioTags tags() const override
    {
        // libsndfile passes over some Vorbis comments and every picture.
        if (m_vorbisComments)
            return readContainerTags(m_path);
        AudioTags tags;
        for (const auto& [type, field] : sndfileStrings)
            tags.*field = decodedText(sf_get_string(m_file.get(), type));
        return tags;
    }

    void setFramePosition(qint64 frame) override
    {
        frame = std::clamp<qint64>(frame, 0, m_length);
        if (frame == m_position)
            return;
        if (!m_seekable)
            throw HostError(cannotRead(m_path));
        if (m_exactSeek) {
            if (sf_seek(m_file.get(), frame, SEEK_SET) != frame)
                throw HostError(cannotRead(m_path));
            m_position = frame;
            return;
        }
        // libsndfile's Ogg seek can land hundreds of frames off: go back to
        // the start if need be and decode through to the frame.
        if (frame < m_position) {
            if (sf_seek(m_file.get(), 0, SEEK_SET) != 0)
                throw HostError(cannotRead(m_path));
            m_position = 0;
        }
        skip(frame - m_position);
    }

    void read(AudioBuffer& buffer, qint64 frames) override
    {
        const int channels = m_format.channelCount();
        const qint64 wanted =
            std::max<qint64>(0, std::min({frames, buffer.frameCapacity(), m_length - m_position}));
        buffer.setFrameLength(0);
        if (wanted == 0)
            return;
        m_interleaved.resize(size_t(wanted) * size_t(channels));
        const sf_count_t got =
            std::max<sf_count_t>(0, sf_readf_float(m_file.get(), m_interleaved.data(), wanted));
        // Short of the length: a header that only estimated it (an MPEG file
        // without a frame count), or damage the decoder cannot pass (a
        // truncated FLAC). Either way the stream ends after what decoded.
        if (got < wanted)
            m_length = m_position + got;
        const int targetChannels = std::min(channels, buffer.channelCount());
        for (int c = 0; c < targetChannels; ++c) {
            float* out = buffer.channel(c);
            const float* in = m_interleaved.data() + c;
            for (sf_count_t i = 0; i < got; ++i)
                out[i] = in[i * channels];
        }
        buffer.setFrameLength(got);
        m_position += got;
    }

private:
    void skip(qint64 frames)
    {
        constexpr qint64 chunk = 8192;
        m_interleaved.resize(size_t(chunk) * size_t(m_format.channelCount()));
        while (frames > 0) {
            const sf_count_t got =
                sf_readf_float(m_file.get(), m_interleaved.data(), std::min(chunk, frames));
            if (got <= 0) { // damaged: the stream ends here
                m_length = m_position;
                return;
            }
            frames -= got;
            m_position += got;
        }
    }

    QString m_path;
    std::unique_ptr<ReadAhead> m_input; // outlives m_file, which reads through it
    Sndfile m_file;
    AudioFormat m_format;
    qint64 m_length;
    bool m_seekable;
    bool m_exactSeek;
    bool m_vorbisComments; ///< FLAC or Ogg: tags as Vorbis comments
    qint64 m_position = 0;
    std::vector<float> m_interleaved;
};

int majorFormat(bool aiff)
{
    return aiff ? SF_FORMAT_AIFF : SF_FORMAT_WAV;
}

/// The libsndfile format for the settings, or 0 when they ask for something
/// this writer does not make.
int sndfileFormat(bool aiff, const model::WriterSettings& settings)
{
    if (settings.formatID != model::linearPCMFormat)
        return 0;
    const int depth = settings.bitDepth.value_or(16);
    const bool isFloat = settings.isFloat.value_or(false);
    int subtype = 0;
    if (isFloat)
        subtype = depth == 32 ? SF_FORMAT_FLOAT : depth == 64 ? SF_FORMAT_DOUBLE : 0;
    else
        subtype = depth == 8    ? (aiff ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_U8)
                  : depth == 16 ? SF_FORMAT_PCM_16
                  : depth == 24 ? SF_FORMAT_PCM_24
                  : depth == 32 ? SF_FORMAT_PCM_32
                                : 0;
    if (subtype == 0)
        return 0;
    int major = majorFormat(aiff);
    if (!aiff && settings.channels > 2)
        major = SF_FORMAT_WAVEX; // carries the channel mask
    const int endian = settings.isBigEndian.value_or(aiff) ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE;
    const bool nativeEndian = settings.isBigEndian.value_or(aiff) == aiff;
    return major | subtype | (nativeEndian ? SF_ENDIAN_FILE : endian);
}

std::vector<int> channelMap(int channels)
{
    static constexpr std::pair<quint64, int> positions[] = {
        {1 << 0, SF_CHANNEL_MAP_LEFT},        {1 << 1, SF_CHANNEL_MAP_RIGHT},
        {1 << 2, SF_CHANNEL_MAP_CENTER},      {1 << 3, SF_CHANNEL_MAP_LFE},
        {1 << 4, SF_CHANNEL_MAP_REAR_LEFT},   {1 << 5, SF_CHANNEL_MAP_REAR_RIGHT},
        {1 << 8, SF_CHANNEL_MAP_REAR_CENTER}, {1 << 9, SF_CHANNEL_MAP_SIDE_LEFT},
        {1 << 10, SF_CHANNEL_MAP_SIDE_RIGHT},
    };
    const quint64 mask = defaultChannelMask(channels);
    std::vector<int> map;
    for (const auto& [bit, position] : positions)
        if (mask & bit)
            map.push_back(position);
    return map;
}

class SndfileWriter : public AudioFileWriter {
public:
    SndfileWriter(std::unique_ptr<OutputFile> output, Sndfile file, int channels)
        : m_output(std::move(output)), m_file(std::move(file)), m_channels(channels)
    {}

    void write(const AudioBuffer& buffer) override
    {
        if (!m_file)
            throw HostError(cannotWrite(m_output->path(), EIO));
        const qint64 frames = buffer.frameLength();
        if (frames == 0)
            return;
        if (buffer.channelCount() != m_channels)
            throw HostError(cannotWrite(m_output->path(), EINVAL));
        m_interleaved.resize(size_t(frames) * size_t(m_channels));
        for (int c = 0; c < m_channels; ++c) {
            const float* in = buffer.channel(c);
            float* out = m_interleaved.data() + c;
            // Not-a-number samples would decode as full-scale clicks, and
            // infinite ones stand in a float file as they are.
            for (qint64 i = 0; i < frames; ++i)
                out[i * m_channels] = std::isfinite(in[i]) ? in[i] : 0.0f;
        }
        errno = 0;
        if (sf_writef_float(m_file.get(), m_interleaved.data(), frames) != frames)
            throw HostError(cannotWrite(m_output->path(), errno));
        m_output->flushAhead();
    }

    void finish() override
    {
        complete();
        m_output->place(m_output->path());
    }

    void placeAt(const QString& path) override
    {
        complete();
        m_output->place(path);
    }

private:
    /// Writes the headers and lets go of the descriptor; once.
    void complete()
    {
        if (m_completed)
            return;
        if (!m_file) // an earlier attempt failed
            throw HostError(cannotWrite(m_output->path(), EIO));
        errno = 0;
        if (sf_close(m_file.release()) != 0)
            throw HostError(cannotWrite(m_output->path(), errno));
        m_completed = true;
    }

    std::unique_ptr<OutputFile> m_output; // outlives m_file, which writes to its descriptor
    Sndfile m_file;
    int m_channels;
    bool m_completed = false;
    std::vector<float> m_interleaved;
};

/// libsndfile keeps the log and the error of an open that failed in
/// globals of its own, which it writes without a lock: opens from several
/// render threads at once (a file it cannot read, such as an M4A, before
/// FFmpeg takes it) go one at a time. Reading and writing an open file
/// touch only that file's state.
std::mutex& openingLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

std::unique_ptr<AudioFileReader> openSndfileReader(const QString& path)
{
    auto input = ReadAhead::open(path);
    if (!input)
        return nullptr;
    SF_INFO info{};
    Sndfile file = [&] {
        const std::lock_guard lock(openingLock());
        return Sndfile(sf_open_virtual(input->callbacks(), SFM_READ, &info, input.get()));
    }();
    // MPEG goes to FFmpeg, which resyncs after damage where libsndfile's
    // decoder gives up for good.
    if (!file || (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG)
        return nullptr;
    const AudioFormat format = fileFormat(path, info.samplerate, info.channels);
    return std::make_unique<SndfileReader>(path, std::move(input), std::move(file), info, format);
}

std::unique_ptr<AudioFileWriter> createSndfileWriter(const QString& path, bool aiff,
                                                     const model::WriterSettings& settings,
                                                     const AudioTags& tags)
{
    SF_INFO info{};
    info.samplerate = int(std::lround(settings.sampleRate));
    info.channels = settings.channels;
    info.format = sndfileFormat(aiff, settings);
    if (info.format == 0 || !AudioFormat::standard(settings.sampleRate, settings.channels) ||
        info.samplerate != settings.sampleRate || !sf_format_check(&info))
        throw HostError(
            quotedFileName(path) +
            QStringLiteral(" lässt sich nicht anlegen: Das Format wird nicht unterstützt."));

    auto output = std::make_unique<OutputFile>(path);
    errno = 0;
    Sndfile file = [&] {
        const std::lock_guard lock(openingLock());
        return Sndfile(sf_open_fd(output->descriptor(), SFM_WRITE, &info, SF_FALSE));
    }();
    if (!file)
        throw HostError(cannotCreate(path, errno ? errno : EIO));
    if ((info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT &&
        (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_DOUBLE)
        sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    else // the PEAK chunk libsndfile adds to float files carries the time of writing
        sf_command(file.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (settings.channels > 2) {
        std::vector<int> map = channelMap(settings.channels);
        if (int(map.size()) == settings.channels)
            sf_command(file.get(), SFC_SET_CHANNEL_MAP_INFO, map.data(),
                       int(map.size() * sizeof(int)));
    }
    // Strings a container has no place for are passed over by libsndfile.
    for (const auto& [type, field] : sndfileStrings)
        if (!(tags.*field).isEmpty())
            sf_set_string(file.get(), type, (tags.*field).toUtf8().constData());
    return std::make_unique<SndfileWriter>(std::move(output), std::move(file), settings.channels);
}

} // namespace tolvex::host
