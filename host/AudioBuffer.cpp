#include "host/AudioBuffer.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace tolvex::host {

std::optional<AudioBuffer> AudioBuffer::make(const AudioFormat& format, qint64 frameCapacity)
{
    if (frameCapacity < 1 || frameCapacity > maxFrameCapacity)
        return std::nullopt;
    const size_t count = size_t(frameCapacity) * size_t(format.channelCount());
    std::unique_ptr<float[]> samples(new (std::nothrow) float[count]());
    if (!samples)
        return std::nullopt;
    try {
        return AudioBuffer(format, frameCapacity, std::move(samples));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

AudioBuffer::AudioBuffer(const AudioFormat& format, qint64 capacity,
                         std::unique_ptr<float[]> samples)
    : m_format(format), m_capacity(capacity), m_samples(std::move(samples))
{
    m_channels.resize(size_t(format.channelCount()));
    for (size_t c = 0; c < m_channels.size(); ++c)
        m_channels[c] = m_samples.get() + c * size_t(capacity);
}

void AudioBuffer::setFrameLength(qint64 frames)
{
    m_length = std::clamp<qint64>(frames, 0, m_capacity);
}

} // namespace tolvex::host
