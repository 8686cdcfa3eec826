#include "host/loudness/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tolvex::host {

namespace {

/// Input samples each interpolated point is made of.
constexpr int taps = 32;
constexpr double kaiserBeta = 8;

/// The modified Bessel function of the first kind, order 0, by its series.
double besselI0(double x)
{
    double sum = 1;
    double term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

int oversampling(double sampleRate)
{
    return sampleRate < 96000 ? 4 : sampleRate < 192000 ? 2 : 1;
}

/// The taps for the point `offset` (0…1) of a sample interval after the
/// sample at index taps/2 − 1, summing to 1 so that a constant stays one.
std::vector<float> phaseTaps(double offset)
{
    std::vector<double> made(taps);
    const double half = taps / 2.0;
    for (int j = 0; j < taps; ++j) {
        const double t = offset - (j - (half - 1)); // from sample j to the point
        const double x = t / half;
        const double window =
            besselI0(kaiserBeta * std::sqrt(std::max(0.0, 1 - x * x))) / besselI0(kaiserBeta);
        const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        made[size_t(j)] = window * sinc;
    }
    double sum = 0;
    for (double tap : made)
        sum += tap;
    std::vector<float> result;
    for (double tap : made)
        result.push_back(float(tap / sum));
    return result;
}

float absoluteMaximum(const float* samples, qint64 count)
{
    float peak = 0;
    for (qint64 i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

} // namespace

TruePeak::TruePeak(int channels, double sampleRate)
    : m_factor(oversampling(sampleRate)),
      m_histories(size_t(std::max(channels, 0)), std::vector<float>(taps - 1, 0.0f))
{
    for (int phase = 1; phase < m_factor; ++phase)
        m_phases.push_back(phaseTaps(double(phase) / m_factor));
}

void TruePeak::add(const AudioBuffer& buffer)
{
    const qint64 frames = buffer.frameLength();
    if (frames == 0)
        return;
    const int channels = std::min(int(m_histories.size()), buffer.channelCount());
    for (int c = 0; c < channels; ++c) {
        const float* samples = buffer.channel(c);
        m_peak = std::max({m_peak, absoluteMaximum(samples, frames),
                           interpolate(m_histories[size_t(c)], samples, frames)});
    }
}

/// Point n (of `frames`) lies after the sample at work index n + taps/2 − 1
/// and is made of the samples at n … n + taps − 1: every point is made once,
/// when the last of its samples has come.
float TruePeak::interpolate(std::vector<float>& history, const float* samples, qint64 frames)
{
    if (m_phases.empty())
        return 0;
    m_work.assign(history.begin(), history.end());
    m_work.insert(m_work.end(), samples, samples + frames);
    m_sums.resize(size_t(frames));
    float peak = 0;
    for (const std::vector<float>& phase : m_phases) {
        std::fill(m_sums.begin(), m_sums.end(), 0.0f);
        float* sums = m_sums.data();
        for (int j = 0; j < taps; ++j) {
            const float tap = phase[size_t(j)];
            const float* in = m_work.data() + j;
            for (qint64 n = 0; n < frames; ++n)
                sums[n] += tap * in[n];
        }
        peak = std::max(peak, absoluteMaximum(sums, frames));
    }
    std::copy(m_work.end() - (taps - 1), m_work.end(), history.begin());
    return peak;
}

double TruePeak::maximum() const
{
    // The points whose later samples have not come yet, as if silence did.
    TruePeak tail = *this;
    const qint64 frames = taps / 2;
    const std::vector<float> silence(size_t(frames), 0.0f);
    float peak = tail.m_peak;
    for (std::vector<float>& history : tail.m_histories)
        peak = std::max(peak, tail.interpolate(history, silence.data(), frames));
    return peak;
}

} // namespace tolvex::host
