#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

namespace tolvex::bench {

/// What one preview run measured; times in milliseconds. "Heard": by the
/// server's clock (its reported latency); "taken": when the null sink took
/// the frames, on its monitor. None: not found.
struct RunFigures {
    std::optional<double> firstSound;      ///< the file's first frame heard, after play()
    std::optional<double> firstSoundTaken; ///< ... taken by the sink
    std::optional<double> oldSound;        ///< other sound the sink took before it
    bool recordingBeganWithIt = false;     ///< nothing recorded before the first sound
    qint64 underflows = 0;
    std::vector<double> underflowsAt; ///< sound rendered by each underflow, up to 16
    int gaps = 0;                     ///< renderer-call gaps over 50 ms
    double longestGap = 0;
    double longestGapAt = 0;                         ///< when it began, after play()
    std::vector<double> latencies;                   ///< server-reported playback latency, sampled
    std::vector<std::optional<double>> compare;      ///< per switch, heard
    std::vector<std::optional<double>> compareTaken; ///< per switch, taken
    /// From PipeWire's profiler, where the server is PipeWire: the graph's
    /// own stalls while the run played (its driver late to begin a cycle or
    /// to signal its clients by more than half a cycle), and which of the
    /// underflows and gaps above fell in one. Those the stream could not
    /// help: the server did not ask it for the cycles it lost.
    bool profiled = false;
    std::vector<double> stalls; ///< each one's length, ms
    qint64 underflowsInStalls = 0;
    int gapsInStalls = 0;
    int streamCycles = 0;     ///< cycles the stream was signalled in
    int streamLate = 0;       ///< of them, woken more than half a cycle after its signal
    double streamLongest = 0; ///< the longest such wake-up, ms
    float processedPeak = 0;  ///< the tone's peak through the chain, on the monitor
    double stopTook = 0;      ///< how long Chain::stop() took at the end of the run
};

} // namespace tolvex::bench
