#pragma once

#include <QtGlobal>

#include <atomic>

namespace tolvex::host {

/// What the offline engines of this process are doing, for watchers that
/// must not stop a render to ask: a crash handler and a watchdog. Written by
/// the rendering thread around each node's process call and at the end of
/// each block; read anywhere, a signal handler included (both atomics are
/// lock-free). The values mean something where one render runs at a time,
/// as in the render worker process; beside other renders they are written
/// but not worth reading.
struct RenderActivity {
    /// The position on its line, from 0, of the node whose process call is
    /// running; -1 between nodes and outside any render.
    static inline std::atomic<int> stage{-1};
    /// The blocks rendered so far, by every offline engine of the process.
    static inline std::atomic<quint64> blocks{0};

    static_assert(std::atomic<int>::is_always_lock_free);
    static_assert(std::atomic<quint64>::is_always_lock_free);
};

} // namespace tolvex::host
