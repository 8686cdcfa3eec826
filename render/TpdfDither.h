#pragma once

#include "host/AudioBuffer.h"

#include <QString>

#include <vector>

namespace tolvex::render {

/// Rounds blocks to the 16-bit grid with TPDF dither of ±1 LSB: the sum of
/// two independent uniform values of ±½ LSB each is added before rounding,
/// which leaves the rounding error a noise independent of the signal
/// instead of distortion that follows it. Each channel draws from a stream
/// of its own, so the result depends on the seed and the samples alone, not
/// on how they were cut into blocks. Used by one thread at a time.
class TpdfDither {
public:
    /// Values of 16 bits: the grid the writer's conversion keeps exactly.
    static constexpr float scale = 32768.0f;

    TpdfDither(quint64 seed, int channels);

    /// The seed for a file: a hash of its name, the same on every run.
    static quint64 seedFor(const QString& name);

    /// Dithers and rounds the valid frames to multiples of 1/32768 within
    /// −1…32767/32768.
    void process(host::AudioBuffer& block);

private:
    std::vector<quint64> m_states; ///< one random stream per channel
};

} // namespace tolvex::render
