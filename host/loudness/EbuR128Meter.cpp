#include "host/loudness/EbuR128Meter.h"

#include "host/HostError.h"
#include "host/loudness/TruePeak.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvex::host {

namespace {

struct StateFree {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using State = std::unique_ptr<ebur128_state, StateFree>;

/// The gating blocks are 0.4 s long: a shorter file has no integrated loudness.
constexpr double gatingBlockSeconds = 0.4;

/// WAVE's 5.1 order puts the LFE fourth, where libebur128 expects the left
/// surround.
void mapChannels(ebur128_state* state, int channels)
{
    if (channels == 6) {
        ebur128_set_channel(state, 3, EBUR128_UNUSED);
        ebur128_set_channel(state, 4, EBUR128_LEFT_SURROUND);
        ebur128_set_channel(state, 5, EBUR128_RIGHT_SURROUND);
    }
}

std::optional<double> finite(double value)
{
    return std::isfinite(value) ? std::optional(value) : std::nullopt;
}

/// Frames in 100 ms, as libebur128 counts them.
qint64 hundredMilliseconds(double sampleRate)
{
    return (qint64(sampleRate) + 5) / 10;
}

/// libebur128 for the integrated loudness and the range; the true peak is
/// measured beside it (TruePeak). Where the gating blocks are kept, the
/// frames go to libebur128 in pieces that end where a gating block ends:
/// its momentary loudness there is that block's, which is how the blocks
/// are collected for gatingBlocks(). Otherwise they go whole.
class EbuR128Meter : public LoudnessMeter {
public:
    EbuR128Meter(const AudioFormat& format, State state, MeasuredFor purpose)
        : m_format(format), m_state(std::move(state)),
          m_truePeak(format.channelCount(), format.sampleRate()),
          m_keepsBlocks(purpose == MeasuredFor::withOthers),
          m_untilBlock(4 * hundredMilliseconds(format.sampleRate()))
    {}

    void add(const AudioBuffer& buffer) override
    {
        const qint64 frames = buffer.frameLength();
        const int channels = m_format.channelCount();
        if (frames == 0)
            return;
        m_interleaved.resize(size_t(frames) * size_t(channels));
        for (int c = 0; c < channels; ++c) {
            const float* in = buffer.channel(c);
            float* out = m_interleaved.data() + c;
            for (qint64 i = 0; i < frames; ++i)
                out[i * channels] = in[i];
        }
        for (qint64 done = 0; done < frames;) {
            const qint64 n = m_keepsBlocks ? std::min(frames - done, m_untilBlock) : frames;
            if (ebur128_add_frames_float(m_state.get(), m_interleaved.data() + done * channels,
                                         size_t(n)) != EBUR128_SUCCESS)
                throw HostError(QStringLiteral("Kein Speicher für die Lautheitsmessung."));
            done += n;
            if (!m_keepsBlocks)
                continue;
            m_untilBlock -= n;
            if (m_untilBlock == 0)
                takeBlock();
        }
        m_truePeak.add(buffer);
        m_frames += frames;
    }

    model::Loudness result() const override
    {
        model::Loudness loudness;
        loudness.tooShort = double(m_frames) < gatingBlockSeconds * m_format.sampleRate();
        double value = 0;
        if (ebur128_loudness_global(m_state.get(), &value) == EBUR128_SUCCESS)
            loudness.integrated = finite(value);
        if (loudness.integrated && ebur128_loudness_range(m_state.get(), &value) == EBUR128_SUCCESS)
            loudness.range = finite(value);
        if (const double peak = m_truePeak.maximum(); peak > 0)
            loudness.truePeak = 20.0 * std::log10(peak);
        return loudness;
    }

    const model::GatingBlocks& gatingBlocks() const override { return m_blocks; }

private:
    /// A gating block has just ended: kept when it passes the absolute gate,
    /// as libebur128 keeps it.
    void takeBlock()
    {
        m_untilBlock = hundredMilliseconds(m_format.sampleRate());
        double lufs = 0;
        if (ebur128_loudness_momentary(m_state.get(), &lufs) != EBUR128_SUCCESS ||
            !std::isfinite(lufs))
            return;
        const double energy = model::blockEnergy(lufs);
        if (energy >= model::absoluteGateEnergy())
            m_blocks.push_back(energy);
    }

    AudioFormat m_format;
    State m_state;
    TruePeak m_truePeak;
    bool m_keepsBlocks;
    qint64 m_frames = 0;
    qint64 m_untilBlock; ///< frames until the next gating block ends
    model::GatingBlocks m_blocks;
    std::vector<float> m_interleaved;
};

} // namespace

std::unique_ptr<LoudnessMeter> makeEbuR128Meter(const AudioFormat& format, MeasuredFor purpose)
{
    State state(ebur128_init(unsigned(format.channelCount()),
                             static_cast<unsigned long>(format.sampleRate()),
                             EBUR128_MODE_I | EBUR128_MODE_LRA));
    if (!state)
        throw HostError(QStringLiteral("Die Lautheitsmessung lässt sich nicht einrichten."));
    mapChannels(state.get(), format.channelCount());
    return std::make_unique<EbuR128Meter>(format, std::move(state), purpose);
}

} // namespace tolvex::host
