#pragma once

#include "host/AudioFormat.h"

#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace tolvex::host {

/// Deinterleaved 32-bit float samples in a standard format: one contiguous
/// block of frameCapacity() samples per channel, of which the first
/// frameLength() frames are valid. Movable, not copyable; moving keeps the
/// channel pointers valid. Used by one thread at a time.
class AudioBuffer {
public:
    /// Largest capacity make() accepts, in frames.
    static constexpr qint64 maxFrameCapacity = qint64(1) << 24;

    /// A silent buffer with frame length 0, or nothing when the capacity is
    /// outside 1...maxFrameCapacity or the memory cannot be had.
    static std::optional<AudioBuffer> make(const AudioFormat& format, qint64 frameCapacity);

    AudioBuffer(AudioBuffer&&) noexcept = default;
    AudioBuffer& operator=(AudioBuffer&&) noexcept = default;

    const AudioFormat& format() const { return m_format; }
    int channelCount() const { return m_format.channelCount(); }
    qint64 frameCapacity() const { return m_capacity; }
    qint64 frameLength() const { return m_length; }
    /// Sets the number of valid frames, limited to 0...frameCapacity().
    void setFrameLength(qint64 frames);

    float* channel(int index) { return m_channels[size_t(index)]; }
    const float* channel(int index) const { return m_channels[size_t(index)]; }
    float* const* channels() { return m_channels.data(); }
    const float* const* channels() const { return m_channels.data(); }

private:
    AudioBuffer(const AudioFormat& format, qint64 capacity, std::unique_ptr<float[]> samples);

    AudioFormat m_format;
    qint64 m_capacity;
    qint64 m_length = 0;
    std::unique_ptr<float[]> m_samples;
    std::vector<float*> m_channels;
};

} // namespace tolvex::host
