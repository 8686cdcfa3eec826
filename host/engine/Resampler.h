#pragma once

#include "host/AudioBuffer.h"

#include <memory>
#include <vector>

struct SwrContext;

namespace tolvex::host {

/// Converts deinterleaved sound from one sample rate to another on the audio
/// thread. The converter is made, sized and primed on construction (its first
/// conversion allocates), so push() and take() never allocate, lock or wait.
/// Input always comes in chunks of the same size; converted frames wait in a
/// FIFO that holds the most one chunk can make.
class Resampler {
public:
    /// Throws HostError when FFmpeg cannot convert between the rates.
    Resampler(double fromRate, double toRate, int channels, qint64 chunkFrames);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    qint64 chunkFrames() const { return m_chunk; }
    /// Whether every converted frame has been taken.
    bool empty() const { return m_read == m_filled; }

    /// Audio thread, only when empty(): converts the first chunkFrames()
    /// frames of `input` (the converter's channel count) and returns the
    /// frames made, which may be none while the filter fills.
    qint64 push(const AudioBuffer& input) noexcept;
    /// Audio thread: copies up to `frames` converted frames into `out` at
    /// `offset` (channels beyond the converter's are left alone) and returns
    /// how many.
    qint64 take(float* const* out, int outChannels, qint64 offset, qint64 frames) noexcept;

private:
    struct SwrFree {
        void operator()(SwrContext* context) const;
    };

    std::unique_ptr<SwrContext, SwrFree> m_context;
    int m_channels;
    qint64 m_chunk;
    qint64 m_room = 0; ///< FIFO capacity: more than one chunk can ever make
    std::vector<std::vector<float>> m_fifo;
    std::vector<const float*> m_in;
    std::vector<float*> m_out;
    qint64 m_read = 0, m_filled = 0;
};

} // namespace tolvex::host
