#include "bench/preview/Summary.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tolvex::bench {

namespace {

constexpr double firstSoundGoal = 100; ///< ms
constexpr double compareGoal = 100;    ///< ms
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
    char text[128];
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
        "first sound: play() to the moment the null sink takes the tone's first frame (the\n"
        "  start of 10 ms with a frame above 0.1 in every ms), by the frame clock of a record\n"
        "  stream on its monitor (listening from just after play(), so that the preview wakes\n"
        "  the sink), set by the pieces that arrived soonest: late by their delay, never early.\n"
        "est.: first renderer call ending in the tone + server-reported playback latency then.\n"
        "underflows: reported by the output to the engine; gaps: renderer calls more than\n"
        "  50 ms apart; latency: server-reported playback latency, sampled every 5 ms.\n"
        "compare: setCompareOriginal to the sink's change of level (bypassed tone above %.1f),\n"
        "  every 2 s on, then off; est.: first renderer call after the switch + latency then.\n"
        "Goals: first sound < %.0f ms; 0 underflows and no gap over 50 ms; compare < %.0f ms.\n",
        double(bypassedLevel), firstSoundGoal, compareGoal);
    std::fflush(stdout);
}

void Summary::printHeader(int runs, double seconds) const
{
    std::printf("\n%s: %d run(s) of %.0f s, each from a sleeping sink; then a cold start\n",
                qPrintable(m_configuration), runs, seconds);
    std::printf("%4s %12s %7s %11s %8s %12s %21s %16s %15s\n", "run", "first sound", "est.",
                "underflows", "gaps>50", "longest gap", "latency min/med/max", "compare med/max",
                "est. med/max");
    std::printf("%4s %12s %7s %11s %8s %12s %21s %16s %15s\n", "", "ms", "ms", "", "", "ms", "ms",
                "ms", "ms");
    std::fflush(stdout);
}

std::vector<double> heard(const std::vector<std::optional<double>>& switches)
{
    std::vector<double> found;
    for (const auto& one : switches)
        if (one)
            found.push_back(*one);
    return found;
}

void Summary::printRow(const char* label, const RunFigures& figures)
{
    const std::vector<double> compare = heard(figures.compare);
    std::printf("%4s %12s %7s %11lld %8d %12.1f %21s %16s %15s\n", label,
                optional(figures.firstSound).c_str(), optional(figures.firstSoundEstimate).c_str(),
                figures.underflows, figures.gaps, figures.longestGap,
                minMedianMax(figures.latencies).c_str(), medianMax(compare).c_str(),
                medianMax(figures.compareEstimate).c_str());
    if (figures.gaps > 0)
        std::printf("     the longest gap began %.1f ms after play()\n", figures.longestGapAt);
    if (figures.monitorLate)
        std::printf("     the monitor began after the first sound: not measured on it\n");
    if (figures.oldSound)
        std::printf("     sound from %.1f ms on, before the file's: the last preview's, left in "
                    "the plugins\n",
                    *figures.oldSound);
    if (figures.compare.size() != compare.size())
        std::printf("     %zu compare switch(es) not found on the monitor\n",
                    figures.compare.size() - compare.size());
    std::fflush(stdout);
}

void Summary::add(int run, const RunFigures& figures)
{
    ++m_runs;
    if (figures.firstSound)
        m_firstSounds.push_back(*figures.firstSound);
    else
        ++m_silentRuns;
    m_underflows += figures.underflows;
    m_gaps += figures.gaps;
    m_longestGap = std::max(m_longestGap, figures.longestGap);
    m_latencies.insert(m_latencies.end(), figures.latencies.begin(), figures.latencies.end());
    const std::vector<double> compare = heard(figures.compare);
    m_compare.insert(m_compare.end(), compare.begin(), compare.end());
    m_unheardSwitches += int(figures.compare.size() - compare.size());
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
    const bool measured = m_silentRuns == 0 && !m_firstSounds.empty();
    std::printf("  first sound     median %6.1f ms, max %6.1f ms%s      goal < %.0f ms: %s\n",
                median(m_firstSounds), largest(m_firstSounds),
                m_silentRuns ? format(", %d run(s) not measured", m_silentRuns).c_str() : "",
                firstSoundGoal, verdict(measured && largest(m_firstSounds) < firstSoundGoal));
    std::printf("  underflows %lld, gaps over 50 ms %d, longest gap %.1f ms      goal 0 and none: "
                "%s\n",
                m_underflows, m_gaps, m_longestGap, verdict(m_underflows == 0 && m_gaps == 0));
    std::printf("  server latency  min/median/max %s ms\n", minMedianMax(m_latencies).c_str());
    const bool compared = m_unheardSwitches == 0 && !m_compare.empty();
    std::printf("  compare         median %6.1f ms, max %6.1f ms (%zu switches%s)      goal < %.0f "
                "ms: %s\n",
                median(m_compare), largest(m_compare), m_compare.size(),
                m_unheardSwitches ? format(", %d not found", m_unheardSwitches).c_str() : "",
                compareGoal, verdict(compared && largest(m_compare) < compareGoal));
    if (m_cold)
        std::printf("  cold start (a chain made and played at once; for information, not in the "
                    "figures above):\n"
                    "                  first sound %s ms (est. %s ms), underflows %lld, longest "
                    "gap %.1f ms\n",
                    optional(m_cold->firstSound).c_str(),
                    optional(m_cold->firstSoundEstimate).c_str(), m_cold->underflows,
                    m_cold->longestGap);
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
