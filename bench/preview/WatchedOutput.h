#pragma once

#include "host/AudioOutput.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace tolvex::bench {

/// Passes everything to the output it wraps and notes on the output's
/// thread, without allocating or locking: when each renderer call started;
/// how many frames were rendered; the frame where the file's sound begins
/// (in the first call that ends in sound, a frame above `sound` in its last
/// millisecond: after the last silent millisecond before that end); the
/// first frame rendered after each switch mark; and the underflows the
/// output reports to the engine, each with the frames rendered by then and
/// its moment. Moments are steady-clock nanoseconds; frames count from the last reset().
class WatchedOutput : public host::AudioOutput, private host::AudioOutput::Renderer {
public:
    static constexpr int maxMarks = 256;
    static constexpr int maxUnderflows = 16;
    static constexpr float sound = 0.1f;

    /// Keeps up to `maxCalls` call moments per run.
    WatchedOutput(std::unique_ptr<host::AudioOutput> inner, size_t maxCalls)
        : m_inner(std::move(inner))
    {
        m_calls.resize(maxCalls);
        reset();
    }

    static qint64 now()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    double open(double rate, int channels, host::AudioOutput::Renderer& renderer) override
    {
        m_outer = &renderer;
        m_rate = m_inner->open(rate, channels, *this);
        m_window = std::max<qint64>(1, qint64(m_rate / 1000));
        return m_rate;
    }
    void start() override { m_inner->start(); }
    void stop() override { m_inner->stop(); }
    void close() override { m_inner->close(); }
    double latency() const override { return m_inner->latency(); }
    bool audible() const override { return m_inner->audible(); }

    /// Forgets the last run. Only while the output is stopped.
    void reset()
    {
        m_callCount = 0;
        m_frames = 0;
        m_soundFrame = -1;
        m_underflows = 0;
        m_mark = 0;
        m_seenMark = 0;
        for (auto& frame : m_markFrames)
            frame = -1;
    }
    /// Numbers a switch (1, 2, …, below maxMarks), made just before: the
    /// next call to start notes its first frame under it. GUI thread.
    void mark(int number) { m_mark.store(number, std::memory_order_release); }

    /// The moments of this run's calls, in order. After the run.
    std::vector<qint64> calls() const
    {
        return {m_calls.begin(),
                m_calls.begin() + qint64(std::min(m_callCount.load(), m_calls.size()))};
    }
    /// The rate the output opened at.
    double rate() const { return m_rate; }
    qint64 framesRendered() const { return m_frames.load(std::memory_order_acquire); }
    qint64 soundFrame() const { return m_soundFrame.load(); }
    qint64 markFrame(int number) const { return m_markFrames[size_t(number)].load(); }
    qint64 callCount() const { return qint64(m_callCount.load()); }
    qint64 underflows() const { return m_underflows.load(); }
    /// Frames rendered when underflow `index` (below maxUnderflows) came.
    qint64 underflowFrame(int index) const { return m_underflowFrames[size_t(index)].load(); }
    /// When underflow `index` (below maxUnderflows) was reported.
    qint64 underflowMoment(int index) const { return m_underflowMoments[size_t(index)].load(); }

private:
    void renderOutput(float* const* channels, int channelCount, qint64 frames) noexcept override
    {
        const qint64 before = m_frames.load(std::memory_order_relaxed);
        if (const size_t n = m_callCount.load(std::memory_order_relaxed); n < m_calls.size())
            m_calls[n] = now();
        m_callCount.fetch_add(1, std::memory_order_release);
        if (const int mark = m_mark.load(std::memory_order_acquire); mark != m_seenMark) {
            m_seenMark = mark;
            m_markFrames[size_t(mark)].store(before);
        }
        m_outer->renderOutput(channels, channelCount, frames);
        if (m_soundFrame.load(std::memory_order_relaxed) < 0) {
            if (const qint64 onset = soundOnset(channels, channelCount, frames); onset >= 0)
                m_soundFrame.store(before + onset);
        }
        m_frames.store(before + frames, std::memory_order_release);
    }

    /// Where the sound the block ends in begins; -1 when it ends in silence.
    qint64 soundOnset(float* const* channels, int channelCount, qint64 frames) const noexcept
    {
        const auto loud = [&](qint64 from, qint64 to) {
            for (int c = 0; c < channelCount; ++c)
                if (std::any_of(channels[c] + from, channels[c] + to,
                                [](float x) { return std::abs(x) > sound; }))
                    return true;
            return false;
        };
        qint64 end = frames;
        if (!loud(std::max<qint64>(0, end - m_window), end))
            return -1;
        while (end > 0 && loud(std::max<qint64>(0, end - m_window), end))
            end -= m_window;
        for (qint64 f = std::max<qint64>(0, end); f < frames; ++f)
            if (loud(f, f + 1))
                return f;
        return -1;
    }

    void underrun() noexcept override
    {
        if (const qint64 n = m_underflows.fetch_add(1); n < maxUnderflows) {
            m_underflowFrames[size_t(n)].store(m_frames.load(std::memory_order_relaxed));
            m_underflowMoments[size_t(n)].store(now());
        }
        m_outer->underrun();
    }

    std::unique_ptr<host::AudioOutput> m_inner;
    host::AudioOutput::Renderer* m_outer = nullptr;
    double m_rate = 48000;
    qint64 m_window = 48;        ///< a millisecond of frames
    std::vector<qint64> m_calls; ///< sized once; written on the output's thread
    std::atomic<size_t> m_callCount{0};
    std::atomic<qint64> m_frames{0};
    std::atomic<qint64> m_soundFrame{-1};
    std::atomic<qint64> m_underflows{0};
    std::atomic<int> m_mark{0};
    int m_seenMark = 0; ///< the output's thread only
    std::array<std::atomic<qint64>, maxMarks> m_markFrames{};
    std::array<std::atomic<qint64>, maxUnderflows> m_underflowFrames{};
    std::array<std::atomic<qint64>, maxUnderflows> m_underflowMoments{};
};

} // namespace tolvex::bench
