#include "bench/preview/Summary.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tolvex::bench {

namespace {

constexpr double firstSoundGoal = 100; ///< ms
constexpr double compareGoal = 100;    ///< ms
constexpr double stopGoal = 100;       ///< ms
constexpr float bypassedLevel = 0.8f;  ///< the compare detection's threshold

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

double largest(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string format(const char* pattern, auto... values)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string optional(const std::optional<double>& value)
{
    return value ? format("%.1f", *value) : std::string("-");
}

std::string minMedianMax(const std::vector<double>& values)
{
    if (values.empty())
        return "-";
    return format("%.1f/%.1f/%.1f", *std::min_element(values.begin(), values.end()), median(values),
                  largest(values));
}

std::string medianMax(const std::vector<double>& values)
{
    return values.empty() ? std::string("-") : format("%.1f/%.1f", median(values), largest(values));
}

/// The values found.
std::vector<double> found(const std::vector<std::optional<double>>& values)
{
    std::vector<double> kept;
    for (const auto& value : values)
        if (value)
            kept.push_back(*value);
    return kept;
}

void append(std::vector<double>& to, const std::vector<double>& values)
{
    to.insert(to.end(), values.begin(), values.end());
}

/// The later of two moments, or the one found.
std::optional<double> later(const std::optional<double>& a, const std::optional<double>& b)
{
    if (a && b)
        return std::max(*a, *b);
    return a ? a : b;
}

const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

void printIntroduction(int runs, double seconds)
{
    std::printf(
        "Preview: a %.0f s 48 kHz stereo tone (997 Hz at -0.9 dBFS) through fil4 -> darc -> dpl\n"
        "(x42), played by the app's chain through the device output into a private sound\n"
        "server's null sink. Per configuration one chain, made first as the window does, plays\n"
        "%d run(s), each once the server has put the sink to sleep (1 s without sound); then a\n"
        "cold start: a chain made and played at once, for information.\n\n",
        seconds, runs);
    std::printf(
        "heard: when a frame plays by the server's clock: sampled every 5 ms, the moment plus\n"
        "  the server-reported playback latency, less the frames rendered after that frame.\n"
        "taken: when the null sink took the frame, from a record stream on its monitor (its\n"
        "  frame clock, set by the pieces that arrived soonest); a device would play it after\n"
        "  its own buffer. Recording starts just before play().\n"
        "first sound: from play() to the tone's first frame (the start of 10 ms with a frame\n"
        "  above 0.1 in every ms). compare: from setCompareOriginal to its first frame (heard),\n"
        "  or to the sink's change of level (taken; bypassed tone above %.1f); on and off every\n"
        "  2 s. underflows: reported by the output to the engine; gaps: renderer calls more\n"
        "  than 50 ms apart; latency: server-reported playback latency, sampled every 5 ms.\n"
        "Goals, judged on the later of heard and taken (a frame is not heard before the sink\n"
        "takes it): first sound < %.0f ms; 0 underflows and no gap over 50 ms; compare < %.0f "
        "ms.\n",
        double(bypassedLevel), firstSoundGoal, compareGoal);
    std::fflush(stdout);
}

void Summary::printHeader(int runs, double seconds) const
{
    std::printf("\n%s: %d run(s) of %.0f s, each from a sleeping sink; then a cold start\n",
                qPrintable(m_configuration), runs, seconds);
    std::printf("%4s %13s %7s %11s %8s %12s %21s %16s %14s\n", "run", "first sound", "",
                "underflows", "gaps>50", "longest gap", "latency min/med/max", "compare med/max",
                "");
    std::printf("%4s %13s %7s %11s %8s %12s %21s %16s %14s\n", "", "heard ms", "taken", "", "",
                "ms", "ms", "heard ms", "taken ms");
    std::fflush(stdout);
}

void Summary::printRow(const char* label, const RunFigures& figures)
{
    std::printf("%4s %13s %7s %11lld %8d %12.1f %21s %16s %14s\n", label,
                optional(figures.firstSound).c_str(), optional(figures.firstSoundTaken).c_str(),
                figures.underflows, figures.gaps, figures.longestGap,
                minMedianMax(figures.latencies).c_str(), medianMax(found(figures.compare)).c_str(),
                medianMax(found(figures.compareTaken)).c_str());
    if (figures.gaps > 0)
        std::printf("     the longest gap began %.1f ms after play()\n", figures.longestGapAt);
    if (!figures.underflowsAt.empty()) {
        std::printf("     underflow(s) with this much sound rendered, ms:");
        for (double at : figures.underflowsAt)
            std::printf(" %.1f", at);
        std::printf("\n");
    }
    if (figures.profiled && (!figures.stalls.empty() || figures.streamLate > 0)) {
        std::printf("     the server's graph stood still %zu time(s), ms:", figures.stalls.size());
        for (double stall : figures.stalls)
            std::printf(" %.1f", stall);
        std::printf("; %lld underflow(s) and %d gap(s) fell in them; the stream woke late in "
                    "%d of %d cycles\n",
                    figures.underflowsInStalls, figures.gapsInStalls, figures.streamLate,
                    figures.streamCycles);
    }
    if (figures.recordingBeganWithIt)
        std::printf("     the monitor's recording begins with the first sound\n");
    if (figures.oldSound)
        std::printf("     the sink took sound from %.1f ms on, before the file's: the last "
                    "preview's, left in the plugins\n",
                    *figures.oldSound);
    if (const size_t missing = figures.compare.size() - found(figures.compare).size())
        std::printf("     %zu compare switch(es) not heard by the server's clock\n", missing);
    if (const size_t missing = figures.compareTaken.size() - found(figures.compareTaken).size())
        std::printf("     %zu compare switch(es) not found on the monitor\n", missing);
    std::fflush(stdout);
}

void Summary::add(int run, const RunFigures& figures)
{
    ++m_runs;
    if (const auto first = later(figures.firstSound, figures.firstSoundTaken))
        m_firstSounds.push_back(*first);
    else
        ++m_unmeasuredRuns;
    append(m_firstSoundsHeard, found({figures.firstSound}));
    append(m_firstSoundsTaken, found({figures.firstSoundTaken}));
    m_underflows += figures.underflows;
    m_gaps += figures.gaps;
    m_profiled = m_profiled || figures.profiled;
    append(m_stalls, figures.stalls);
    m_underflowsInStalls += figures.underflowsInStalls;
    m_gapsInStalls += figures.gapsInStalls;
    m_streamCycles += figures.streamCycles;
    m_streamLate += figures.streamLate;
    m_streamLongest = std::max(m_streamLongest, figures.streamLongest);
    m_longestGap = std::max(m_longestGap, figures.longestGap);
    append(m_latencies, figures.latencies);
    m_stops.push_back(figures.stopTook);
    for (size_t i = 0; i < figures.compare.size(); ++i)
        if (const auto heard = later(figures.compare[i], figures.compareTaken[i]))
            m_compare.push_back(*heard);
        else
            ++m_unmeasuredSwitches;
    append(m_compareHeard, found(figures.compare));
    append(m_compareTaken, found(figures.compareTaken));
    m_processedPeak = std::max(m_processedPeak, figures.processedPeak);
    printRow(std::to_string(run).c_str(), figures);
}

void Summary::addColdStart(const RunFigures& figures)
{
    m_cold = figures;
    printRow("cold", figures);
}

void Summary::printTotal() const
{
    std::printf("\n%s (%d run(s))\n", qPrintable(m_configuration), m_runs);
    const bool measured = m_unmeasuredRuns == 0 && !m_firstSounds.empty();
    std::printf("  first sound   median %.1f ms, max %.1f ms%s        goal < %.0f ms: %s\n"
                "                (median/max heard %s, taken %s)\n",
                median(m_firstSounds), largest(m_firstSounds),
                m_unmeasuredRuns ? format(", %d run(s) not measured", m_unmeasuredRuns).c_str()
                                 : "",
                firstSoundGoal, verdict(measured && largest(m_firstSounds) < firstSoundGoal),
                medianMax(m_firstSoundsHeard).c_str(), medianMax(m_firstSoundsTaken).c_str());
    std::printf("  underflows %lld, gaps over 50 ms %d, longest gap %.1f ms        goal 0 and "
                "none: %s\n",
                m_underflows, m_gaps, m_longestGap, verdict(m_underflows == 0 && m_gaps == 0));
    if (m_profiled) {
        std::printf("                the server's graph itself stood still %zu time(s) (longest "
                    "%.1f ms): %lld underflow(s) and %d gap(s) fell in those stalls\n",
                    m_stalls.size(), largest(m_stalls), m_underflowsInStalls, m_gapsInStalls);
        const qint64 ownUnderflows = m_underflows - m_underflowsInStalls;
        const int ownGaps = m_gaps - m_gapsInStalls;
        std::printf("                the stream's own: %lld underflow(s), %d gap(s)        goal 0 "
                    "and none: %s\n",
                    ownUnderflows, ownGaps, verdict(ownUnderflows == 0 && ownGaps == 0));
        std::printf("                the stream woke more than half a cycle after its signal in "
                    "%d of %d cycles%s\n",
                    m_streamLate, m_streamCycles,
                    m_streamLate ? format(", at most %.1f ms", m_streamLongest).c_str() : "");
    }
    std::printf("  server latency min/median/max %s ms\n", minMedianMax(m_latencies).c_str());
    std::printf("  stop          median/max %s ms        goal < %.0f ms: %s\n",
                medianMax(m_stops).c_str(), stopGoal, verdict(largest(m_stops) < stopGoal));
    const bool compared = m_unmeasuredSwitches == 0 && !m_compare.empty();
    std::printf("  compare       median %.1f ms, max %.1f ms, %zu switches%s        goal < %.0f "
                "ms: %s\n"
                "                (median/max heard %s, taken %s)\n",
                median(m_compare), largest(m_compare), m_compare.size(),
                m_unmeasuredSwitches ? format(", %d not measured", m_unmeasuredSwitches).c_str()
                                     : "",
                compareGoal, verdict(compared && largest(m_compare) < compareGoal),
                medianMax(m_compareHeard).c_str(), medianMax(m_compareTaken).c_str());
    if (m_cold)
        std::printf("  cold start (a chain made and played at once; for information, not in the "
                    "figures above):\n"
                    "                first sound heard %s ms (taken %s ms), underflows %lld, "
                    "longest gap %.1f ms\n",
                    optional(m_cold->firstSound).c_str(), optional(m_cold->firstSoundTaken).c_str(),
                    m_cold->underflows, m_cold->longestGap);
    if (m_processedPeak > bypassedLevel - 0.02f)
        std::printf("  (the tone reached %.2f through the chain: the compare figures from the "
                    "monitor are not reliable)\n",
                    double(m_processedPeak));
}

void printSummaries(const std::vector<Summary>& summaries)
{
    std::printf("\nSummary\n=======\n");
    for (const Summary& summary : summaries)
        summary.printTotal();
    std::fflush(stdout);
}

} // namespace tolvex::bench
