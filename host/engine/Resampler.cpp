#include "host/engine/Resampler.h"

#include "host/HostError.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace tolvex::host {

void Resampler::SwrFree::operator()(SwrContext* context) const
{
    swr_free(&context);
}

Resampler::Resampler(double fromRate, double toRate, int channels, qint64 chunkFrames)
    : m_channels(channels), m_chunk(chunkFrames), m_in(size_t(channels)), m_out(size_t(channels))
{
    const HostError refused(QStringLiteral("Die Audioausgabe kann die Abtastrate nicht umsetzen."));
    SwrContext* made = nullptr;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    const int from = int(std::lround(fromRate));
    const int to = int(std::lround(toRate));
    const int error = swr_alloc_set_opts2(&made, &layout, AV_SAMPLE_FMT_FLTP, to, &layout,
                                          AV_SAMPLE_FMT_FLTP, from, 0, nullptr);
    m_context.reset(made);
    if (error < 0 || swr_init(m_context.get()) < 0)
        throw refused;

    // The filter holds back a bounded number of frames, so what one chunk can
    // make is bounded too; twice the bound leaves the converter no reason to
    // keep output of its own, which would make it allocate.
    m_room = 2 * (av_rescale_rnd(m_chunk, to, from, AV_ROUND_UP) + 256);
    m_fifo.assign(size_t(channels), std::vector<float>(size_t(m_room), 0.0f));

    // Prime with silence: the first conversions allocate the converter's
    // buffers, here rather than on the audio thread. What they make is
    // silence and is dropped.
    const auto silence = AudioBuffer::make(*AudioFormat::standard(fromRate, channels), m_chunk);
    if (!silence)
        throw HostError(QStringLiteral("Für die Wiedergabe fehlt der Speicher."));
    for (int i = 0; i < 4; ++i) {
        if (push(*silence) < 0)
            throw refused;
        m_read = m_filled = 0;
    }
}

Resampler::~Resampler() = default;

qint64 Resampler::push(const AudioBuffer& input) noexcept
{
    for (int c = 0; c < m_channels; ++c) {
        m_in[size_t(c)] = input.channel(std::min(c, input.channelCount() - 1));
        m_out[size_t(c)] = m_fifo[size_t(c)].data();
    }
    const int made =
        swr_convert(m_context.get(), reinterpret_cast<uint8_t**>(m_out.data()), int(m_room),
                    reinterpret_cast<const uint8_t**>(m_in.data()), int(m_chunk));
    m_read = 0;
    m_filled = std::max(made, 0);
    return made;
}

qint64 Resampler::take(float* const* out, int outChannels, qint64 offset, qint64 frames) noexcept
{
    const qint64 n = std::min(frames, m_filled - m_read);
    for (int c = 0; c < std::min(outChannels, m_channels); ++c)
        std::copy_n(m_fifo[size_t(c)].data() + m_read, n, out[c] + offset);
    m_read += n;
    return n;
}

} // namespace tolvex::host
