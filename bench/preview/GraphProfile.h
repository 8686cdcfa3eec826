#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace tolvex::bench {

/// PipeWire's profiler, listened to while the bench runs: for every cycle
/// of the graph, when its driver began the cycle, when it signalled the
/// clients, and when the preview's stream woke and finished. It tells the
/// server's own stalls, which no client can make up for, from the
/// stream's: a cycle whose driver woke more than half a cycle late, or
/// signalled its first client more than half a cycle after it began, is
/// the server's. Moments are monotonic nanoseconds, as steady_clock's.
class GraphProfile {
public:
    /// A stretch of time the server's graph stood still.
    struct Stall {
        qint64 from = 0;
        qint64 to = 0;
        double milliseconds() const { return double(to - from) / 1e6; }
    };

    /// What happened in the graph between two moments.
    struct Window {
        std::vector<Stall> stalls;
        int streamCycles = 0;     ///< cycles in which the stream was signalled
        int streamLate = 0;       ///< of them, woken more than half a cycle after its signal
        double streamLongest = 0; ///< the longest such wake-up, ms
        int streamUnfinished = 0; ///< cycles the stream had not finished when the next began
    };

    /// Listens on the PipeWire server at the socket `remote`, to the
    /// stream whose node name contains `stream`. Where the server has no
    /// profiler, available() is false and every window is empty.
    GraphProfile(const QString& remote, QByteArray stream);
    ~GraphProfile();
    GraphProfile(const GraphProfile&) = delete;
    GraphProfile& operator=(const GraphProfile&) = delete;

    bool available() const;
    Window between(qint64 from, qint64 to) const;

    struct Listener;

private:
    std::unique_ptr<Listener> m_listener;
};

} // namespace tolvex::bench
