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
/// thread, without allocating or locking: when each renderer call started,
/// the first call that ends in sound (a frame above `sound` in its last
/// millisecond: the file playing, not a decaying tail before it), the first
/// call after each switch mark, and the underflows the output reports to the
/// engine. Moments are steady-clock nanoseconds.
class WatchedOutput : public host::AudioOutput, private host::AudioOutput::Renderer {
public:
    static constexpr int maxMarks = 256;
    static constexpr float sound = 0.1f;
    static constexpr qint64 lastFrames = 48; ///< a millisecond at 48 kHz

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
        return m_inner->open(rate, channels, *this);
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
        m_firstSound = -1;
        m_underflows = 0;
        m_mark = 0;
        m_seenMark = 0;
        for (auto& call : m_markCalls)
            call = -1;
    }
    /// Numbers a switch (1, 2, …, below maxMarks), made just before: the
    /// next call to start notes its moment under it. GUI thread.
    void mark(int number) { m_mark.store(number, std::memory_order_release); }

    /// The moments of this run's calls, in order. After the run.
    std::vector<qint64> calls() const
    {
        return {m_calls.begin(),
                m_calls.begin() + qint64(std::min(m_callCount.load(), m_calls.size()))};
    }
    qint64 firstSoundCall() const { return m_firstSound.load(); }
    qint64 markCall(int number) const { return m_markCalls[size_t(number)].load(); }
    qint64 callCount() const { return qint64(m_callCount.load()); }
    qint64 underflows() const { return m_underflows.load(); }

private:
    void renderOutput(float* const* channels, int channelCount, qint64 frames) noexcept override
    {
        const qint64 at = now();
        if (const size_t n = m_callCount.load(std::memory_order_relaxed); n < m_calls.size())
            m_calls[n] = at;
        m_callCount.fetch_add(1, std::memory_order_release);
        if (const int mark = m_mark.load(std::memory_order_acquire); mark != m_seenMark) {
            m_seenMark = mark;
            m_markCalls[size_t(mark)].store(at);
        }
        m_outer->renderOutput(channels, channelCount, frames);
        if (m_firstSound.load(std::memory_order_relaxed) >= 0)
            return;
        const qint64 from = std::max<qint64>(0, frames - lastFrames);
        for (int c = 0; c < channelCount; ++c)
            if (std::any_of(channels[c] + from, channels[c] + frames,
                            [](float x) { return std::abs(x) > sound; })) {
                m_firstSound.store(at);
                return;
            }
    }
    void underrun() noexcept override
    {
        ++m_underflows;
        m_outer->underrun();
    }

    std::unique_ptr<host::AudioOutput> m_inner;
    host::AudioOutput::Renderer* m_outer = nullptr;
    std::vector<qint64> m_calls; ///< sized once; written on the output's thread
    std::atomic<size_t> m_callCount{0};
    std::atomic<qint64> m_firstSound{-1};
    std::atomic<qint64> m_underflows{0};
    std::atomic<int> m_mark{0};
    int m_seenMark = 0; ///< the output's thread only
    std::array<std::atomic<qint64>, maxMarks> m_markCalls{};
};

} // namespace tolvex::bench
