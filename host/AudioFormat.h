#pragma once

#include <optional>

namespace tolvex::host {

/// The standard processing format: 32-bit float samples, one buffer per
/// channel (deinterleaved), at a sample rate with a channel count. A value of
/// this type always describes a format the host can work with.
class AudioFormat {
public:
    static constexpr int maxChannels = 64;
    static constexpr double maxSampleRate = 1536000;

    /// The standard format, or nothing for a rate that is not a positive
    /// finite number up to maxSampleRate, or a channel count outside
    /// 1...maxChannels.
    static std::optional<AudioFormat> standard(double sampleRate, int channels);

    double sampleRate() const { return m_sampleRate; }
    int channelCount() const { return m_channels; }

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;

private:
    AudioFormat(double sampleRate, int channels) : m_sampleRate(sampleRate), m_channels(channels) {}

    double m_sampleRate;
    int m_channels;
};

} // namespace tolvex::host
