#include "host/loudness/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// The inner loops run on vectors of their own, several points at once, on
// AVX2 where the processor has it. Each lane does exactly the scalar
// arithmetic in the same order (multiplies and adds rounded one by one, never
// fused), so every point and every reading is the same to the bit however
// the frames come in. The vectors stay inside these two functions: passed
// between functions they would take another ABI without AVX.
constexpr int lanes = 8;
// Two versions of each, chosen when the program loads, where the compiler
// and the loader can do that (x86-64); elsewhere the one portable version.
// Not under ThreadSanitizer: the loader runs the chooser before the
// sanitizer's runtime is ready, and the instrumented chooser crashes.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define TOLVEX_VECTOR_VERSIONS [[gnu::target_clones("avx2", "default")]]
#else
#define TOLVEX_VECTOR_VERSIONS
#endif
using Lanes = float __attribute__((vector_size(lanes * sizeof(float))));
using LaneBits = qint32 __attribute__((vector_size(lanes * sizeof(float))));

TOLVEX_VECTOR_VERSIONS float absoluteMaximum(const float* samples, qint64 count)
{
    Lanes peaks{};
    qint64 i = 0;
    for (; i + lanes <= count; i += lanes) {
        Lanes values;
        std::memcpy(&values, samples + i, sizeof values);
        const Lanes magnitudes = Lanes(LaneBits(values) & 0x7fffffff);
        peaks = peaks < magnitudes ? magnitudes : peaks; // as std::max
    }
    float peak = 0;
    for (int lane = 0; lane < lanes; ++lane)
        peak = std::max(peak, peaks[lane]);
    for (; i < count; ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

/// The largest absolute value of the points `phase` makes of `work`: point n
/// of `frames` is the sum of phase[j] · work[n + j] over the taps, j rising,
/// from 0. Eight vectors of points at a time, their sums held in registers:
/// enough sums under way that the adds do not wait for one another.
TOLVEX_VECTOR_VERSIONS float phasePeak(const float* phase, const float* work, qint64 frames)
{
    constexpr int vectors = 8;
    Lanes peaks{};
    qint64 n = 0;
    for (; n + vectors * lanes <= frames; n += vectors * lanes) {
        Lanes sums[vectors] = {};
        for (int j = 0; j < taps; ++j) {
            const Lanes tap = Lanes{} + phase[j];
#pragma GCC unroll 8 // the sums stay in registers only when the loop is unrolled
            for (int v = 0; v < vectors; ++v) {
                Lanes in;
                std::memcpy(&in, work + n + j + v * lanes, sizeof in);
                sums[v] += tap * in;
            }
        }
        for (const Lanes& sum : sums) {
            const Lanes magnitudes = Lanes(LaneBits(sum) & 0x7fffffff);
            peaks = peaks < magnitudes ? magnitudes : peaks; // as std::max
        }
    }
    float peak = 0;
    for (int lane = 0; lane < lanes; ++lane)
        peak = std::max(peak, peaks[lane]);
    for (; n < frames; ++n) {
        float sum = 0;
        for (int j = 0; j < taps; ++j)
            sum += phase[j] * work[n + j];
        peak = std::max(peak, std::abs(sum));
    }
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
    float peak = 0;
    for (const std::vector<float>& phase : m_phases)
        peak = std::max(peak, phasePeak(phase.data(), m_work.data(), frames));
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
