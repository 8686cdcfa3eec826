#pragma once

#include "host/AudioBuffer.h"

#include <vector>

namespace tolvex::host {

/// The true peak of a stream of audio (ITU-R BS.1770, Annex 2): the largest
/// absolute value of the signal oversampled 4× (2× from 96 kHz on, not at all
/// from 192 kHz on), through a polyphase interpolator of its own.
///
/// The interpolator is a Kaiser-windowed sinc (β = 8) of 32 input samples
/// per phase, flat within 0.01 dB up to 0.85 of the Nyquist frequency
/// (20.4 kHz at 48 kHz) and −1.2 dB at its midpoint phase at 0.92. Shorter
/// interpolators droop well inside the audio band: libebur128's, 12 samples
/// per phase under a Hann window, is −0.75 dB at 19 kHz and −1.8 dB at
/// 20 kHz (at 48 kHz) between the samples, so that material rich in high
/// frequencies read up to 1.8 dB below its true peak there, and 0.7 dB
/// below FFmpeg's reading (a 4× resampler of 32 samples per phase). The
/// original samples themselves are kept exactly.
///
/// Used by one thread at a time.
class TruePeak {
public:
    TruePeak(int channels, double sampleRate);

    /// Adds the buffer's valid frames; its first `channels` channels count.
    void add(const AudioBuffer& buffer);
    /// The largest absolute value of any channel so far, linear; the last
    /// frames' interpolation counts as if silence followed them.
    double maximum() const;

private:
    /// The interpolated points of `history` followed by `frames` samples at
    /// `samples`, into the work buffers; returns their largest absolute value.
    float interpolate(std::vector<float>& history, const float* samples, qint64 frames);

    int m_factor;
    std::vector<std::vector<float>> m_phases;    ///< the taps of phases 1…factor−1
    std::vector<std::vector<float>> m_histories; ///< per channel, its last taps−1 samples
    std::vector<float> m_work;                   ///< a history and a block after it
    float m_peak = 0;
};

} // namespace tolvex::host
