#pragma once

#include "bench/preview/RunFigures.h"

#include <QString>

#include <optional>
#include <vector>

namespace tolvex::bench {

/// The figures of one configuration: each run printed as a table row as it
/// is added, and the whole printed beside the goals at the end. The goals
/// are judged on the later of heard and taken: a frame cannot be heard
/// before the sink takes it, so an earlier "heard" is the server's report
/// running short.
class Summary {
public:
    explicit Summary(QString configuration) : m_configuration(std::move(configuration)) {}

    /// The configuration's title and the table's head.
    void printHeader(int runs, double seconds) const;
    /// Keeps the run's figures and prints its row.
    void add(int run, const RunFigures& figures);
    /// Prints the row of a cold start, kept apart from the runs' figures.
    void addColdStart(const RunFigures& figures);
    /// The configuration's figures over all its runs, against the goals.
    void printTotal() const;

private:
    static void printRow(const char* label, const RunFigures& figures);

    QString m_configuration;
    std::optional<RunFigures> m_cold;
    int m_runs = 0;
    std::vector<double> m_firstSounds; ///< the later of heard and taken, per run
    std::vector<double> m_firstSoundsHeard, m_firstSoundsTaken;
    int m_unmeasuredRuns = 0; ///< runs whose first sound was found neither way
    qint64 m_underflows = 0;
    int m_gaps = 0;
    bool m_profiled = false;      ///< PipeWire's profiler told the graph's stalls
    std::vector<double> m_stalls; ///< ms
    qint64 m_underflowsInStalls = 0;
    int m_gapsInStalls = 0;
    int m_streamCycles = 0;
    int m_streamLate = 0;
    double m_streamLongest = 0;
    double m_longestGap = 0;
    std::vector<double> m_latencies;
    std::vector<double> m_stops;   ///< how long each run's stop took
    std::vector<double> m_compare; ///< the later of heard and taken, per switch
    std::vector<double> m_compareHeard, m_compareTaken;
    int m_unmeasuredSwitches = 0; ///< switches found neither way
    float m_processedPeak = 0;
};

/// What the bench does and how it measures, before the first table.
void printIntroduction(int runs, double seconds);
/// Every configuration's total, under the goals.
void printSummaries(const std::vector<Summary>& summaries);

} // namespace tolvex::bench
