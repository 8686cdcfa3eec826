#include "render/TpdfDither.h"

#include <algorithm>
#include <cmath>

namespace tolvex::render {

namespace {

/// splitmix64: a small, fast generator whose every seed gives a good stream.
quint64 nextRandom(quint64& state)
{
    quint64 z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

/// Uniform in [−½, ½).
float uniformHalf(quint64& state)
{
    return float(nextRandom(state) >> 40) * (1.0f / 16777216.0f) - 0.5f;
}

} // namespace

TpdfDither::TpdfDither(quint64 seed, int channels)
{
    quint64 streams = seed;
    for (int c = 0; c < channels; ++c)
        m_states.push_back(nextRandom(streams));
}

quint64 TpdfDither::seedFor(const QString& name)
{
    quint64 hash = 0xcbf29ce484222325ULL; // FNV-1a
    for (const char byte : name.toUtf8()) {
        hash ^= quint8(byte);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void TpdfDither::process(host::AudioBuffer& block)
{
    constexpr float lowest = -scale;
    constexpr float highest = scale - 1;
    for (int c = 0; c < block.channelCount() && size_t(c) < m_states.size(); ++c) {
        float* samples = block.channel(c);
        quint64& state = m_states[size_t(c)];
        for (qint64 i = 0; i < block.frameLength(); ++i) {
            const float noise = uniformHalf(state) + uniformHalf(state);
            const float rounded = std::nearbyint(samples[i] * scale + noise);
            samples[i] = std::clamp(rounded, lowest, highest) / scale;
        }
    }
}

} // namespace tolvex::render
