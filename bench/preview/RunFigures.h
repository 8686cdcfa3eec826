#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

namespace tolvex::bench {

/// What one preview run measured; times in milliseconds.
struct RunFigures {
    std::optional<double> firstSound;         ///< the file's, on the monitor; none: never
    std::optional<double> oldSound;           ///< other sound on the monitor before it
    bool monitorLate = false;                 ///< the monitor began recording after the first sound
    std::optional<double> firstSoundEstimate; ///< first call with sound + playback latency
    qint64 underflows = 0;
    int gaps = 0; ///< renderer-call gaps over 50 ms
    double longestGap = 0;
    double longestGapAt = 0;                    ///< when it began, after play()
    std::vector<double> latencies;              ///< server-reported playback latency, sampled
    std::vector<std::optional<double>> compare; ///< per switch, heard on the monitor
    std::vector<double> compareEstimate;        ///< per switch, first call + playback latency
    float processedPeak = 0; ///< the tone's peak through the chain, on the monitor
};

} // namespace tolvex::bench
