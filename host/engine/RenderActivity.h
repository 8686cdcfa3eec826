#pragma once

#include <QtGlobal>

#include <atomic>
#include <bit>

namespace tolvex::host {

/// What the offline engines of this process are doing, for watchers that
/// must not stop a render to ask: a crash handler and a watchdog. Written by
/// the rendering threads around each node's process call and at the end of
/// each block; read anywhere, a signal handler included (the atomics are
/// lock-free, the thread-local is the program's own). The values mean
/// something where one render runs at a time, as in the render worker
/// process; beside other renders they are written but not worth reading.
///
/// A render may run its chain on several threads at once, each thread a run
/// of consecutive plugins; positions are always counted on the whole chain.
struct RenderActivity {
    /// The blocks rendered so far, by every offline engine of the process.
    static inline std::atomic<quint64> blocks{0};

    /// Around a node's process call, on the thread that makes it.
    static void enter(int position) noexcept
    {
        t_position = position;
        running.fetch_or(bit(position), std::memory_order_relaxed);
        last.store(position, std::memory_order_relaxed);
    }
    static void leave(int position) noexcept
    {
        t_position = -1;
        running.fetch_and(~bit(position), std::memory_order_relaxed);
        last.compare_exchange_strong(position, -1, std::memory_order_relaxed);
    }

    /// The position of the node whose process call runs on the calling
    /// thread; -1 between nodes and on threads that run none. For the crash
    /// handler, which runs on the thread that faulted.
    static int positionOnThisThread() noexcept { return t_position; }

    /// The first position whose process call is running on any thread, -1
    /// when none is. Where the chain runs on several threads and one plugin
    /// hangs, the others soon wait for blocks and only the hanging one stays.
    static int runningPosition() noexcept
    {
        const quint64 mask = running.load(std::memory_order_relaxed);
        if (mask != 0)
            return std::countr_zero(mask);
        return last.load(std::memory_order_relaxed); // beyond the mask's 64 positions
    }

private:
    static quint64 bit(int position) noexcept
    {
        return position >= 0 && position < 64 ? quint64(1) << position : 0;
    }

    static inline std::atomic<quint64> running{0}; ///< a bit per position below 64
    static inline std::atomic<int> last{-1};       ///< the position entered last, until it leaves
    static inline thread_local int t_position = -1;

    static_assert(std::atomic<int>::is_always_lock_free);
    static_assert(std::atomic<quint64>::is_always_lock_free);
};

} // namespace tolvex::host
