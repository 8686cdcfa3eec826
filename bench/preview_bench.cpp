// The preview on real sound servers: a file played through fil4 → darc →
// dpl (x42-plugins) by the app's own chain (chain::Chain with the LV2 host,
// `play(item, 0)`, the compare switch by setCompareOriginal), through the
// device output, which must pick the sound server (PipeWire's own protocol
// where PipeWire runs, else libpulse).
//
// Each server is the bench's own, started in a temporary folder that is its
// HOME and XDG_RUNTIME_DIR, and stopped at the end (by the kernel too, should
// the bench die); see PrivateSoundServer for the details:
//  - PulseAudio: `pulseaudio -n` with the native protocol on a socket there;
//  - PipeWire: `pipewire`, `wireplumber` and `pipewire-pulse`. WirePlumber
//    quits without a D-Bus session bus, and there is none here: the bench
//    starts a private `dbus-daemon --session` on a socket in the folder and
//    hands its address to the three.
// On each, module-null-sink (through the PulseAudio protocol) is loaded and
// made the default sink: no sound card is needed, and the sink's monitor
// tells what was played and when.
//
// The source: a 997 Hz tone at 0.9 (-0.9 dBFS), 48 kHz stereo WAV, written
// into the folder. Through the chain its peaks stay at dpl's -3 dBFS (0.71);
// with the chain bypassed they are 0.9. Every 2 s the compare switch is
// turned on, then off again.
//
// Each configuration (server × idle or two busy loops, child processes
// spinning at normal priority) makes one chain first, as the window does at
// its start, and plays every run on it, each once its output's stream is on
// the server and the sink asleep again (as after a pause in listening).
// Then, for information, a cold start: a new chain played at once.
//
// Measured, per run, each moment two ways:
//  - heard, by the server's clock: every 5 ms the server-reported playback
//    latency is read with the count of frames rendered so far; a frame
//    rendered earlier plays at that moment plus the latency, less the frames
//    rendered after it.
//  - taken, on the null sink's monitor: a libpulse record stream, connected
//    corked and started just before play(), and its frame clock (see
//    MonitorRecorder); that is when the sink took the frame, which a device
//    would play after its own buffer. (The record stream's own reported
//    latency is not used: PulseAudio's is stale at its start.)
// The goals are judged on the later of the two: a frame is not heard before
// the sink takes it, so an earlier "heard" is the server's report running
// short (PipeWire's, at a stream's start).
// The figures:
//  - first sound: from play() to the tone's first frame (the output's first
//    block that ends in sound, from its last silent millisecond; on the
//    monitor, the start of 10 ms with a frame above 0.1 in every
//    millisecond). Sound the sink took before it (what the plugins still
//    held from the last preview) is noted apart.
//  - underflows the output reported to the engine (what the engine's
//    underruns() counts), renderer-call gaps over 50 ms and the longest gap;
//  - the server-reported playback latency, sampled every 5 ms;
//  - compare: from setCompareOriginal to the first frame rendered after it
//    (heard), or to the sink's first frame above 0.8 (switched on) or its
//    last frame above 0.8 before 20 ms without one (switched off) (taken).
//  - on PipeWire, the graph's own stalls while the run played, from
//    PipeWire's profiler (GraphProfile): the underflows and gaps that fell
//    in one are told apart from the stream's own, and how often the stream
//    woke late after its signal.
//
// Usage: bench_preview [--runs N] [--seconds S]
//                      [--server pulse|pipewire|pipewire-pulse|all] [--load idle|busy]
// (defaults: 8 runs of 60 s on both servers, idle and busy). pipewire-pulse is the PipeWire
// server reached through its PulseAudio service, as where PipeWire's own
// protocol is not spoken; all is the three in turn.
#include "bench/FixedChain.h"
#include "bench/preview/GraphProfile.h"
#include "bench/preview/MonitorRecorder.h"
#include "bench/preview/Summary.h"
#include "bench/preview/WatchedOutput.h"
#include "chain/Chain.h"
#include "host/engine/Outputs.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "tests/support/soundserver/ChildProcess.h"
#include "tests/support/soundserver/Interruption.h"
#include "tests/support/soundserver/PrivateSoundServer.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QEventLoop>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>

using namespace tolvex;
using namespace tolvex::bench;
using namespace tolvex::testing;

namespace {

constexpr double rate = 48000;
constexpr double toneHz = 997;
constexpr float toneLevel = 0.9f;
constexpr float bypassedLevel = 0.8f; ///< only the tone without the chain reaches it
constexpr float toneHeard = 0.1f;     ///< the tone, through the chain or not, is louder
constexpr float silence = 1e-3f;      ///< -60 dBFS
constexpr qint64 ms = 1'000'000;      ///< nanoseconds
constexpr double switchEvery = 2;     ///< seconds between compare switches
constexpr double coldSeconds = 10;    ///< how long the cold start plays

/// A server, and whether the output speaks PipeWire's own protocol to it.
struct Target {
    PrivateSoundServer::Kind kind;
    bool native = true;
};

struct Options {
    int runs = 8;
    double seconds = 60;
    std::vector<Target> servers{{PrivateSoundServer::Kind::pulseAudio},
                                {PrivateSoundServer::Kind::pipeWire}};
    std::vector<bool> loads{false, true}; ///< idle, two busy loops
};

std::optional<Options> parse(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); i += 2) {
        const QString value = i + 1 < arguments.size() ? arguments[i + 1] : QString();
        bool ok = true;
        if (arguments[i] == QStringLiteral("--runs"))
            options.runs = value.toInt(&ok);
        else if (arguments[i] == QStringLiteral("--seconds"))
            options.seconds = value.toDouble(&ok);
        else if (arguments[i] == QStringLiteral("--server") && value == QStringLiteral("pulse"))
            options.servers = {{PrivateSoundServer::Kind::pulseAudio}};
        else if (arguments[i] == QStringLiteral("--server") && value == QStringLiteral("pipewire"))
            options.servers = {{PrivateSoundServer::Kind::pipeWire}};
        else if (arguments[i] == QStringLiteral("--server") &&
                 value == QStringLiteral("pipewire-pulse"))
            options.servers = {{PrivateSoundServer::Kind::pipeWire, false}};
        else if (arguments[i] == QStringLiteral("--load") && value == QStringLiteral("idle"))
            options.loads = {false};
        else if (arguments[i] == QStringLiteral("--load") && value == QStringLiteral("busy"))
            options.loads = {true};
        else if (arguments[i] == QStringLiteral("--server") && value == QStringLiteral("all"))
            options.servers = {{PrivateSoundServer::Kind::pulseAudio},
                               {PrivateSoundServer::Kind::pipeWire},
                               {PrivateSoundServer::Kind::pipeWire, false}};
        else
            return std::nullopt;
        if (!ok || options.runs < 1 || options.seconds < 5)
            return std::nullopt;
    }
    return options;
}

/// A busy loop for the loaded configurations; never returns.
[[noreturn]] void spin()
{
    volatile quint64 x = 1;
    for (;;)
        x = x * 6364136223846793005ull + 1442695040888963407ull;
}

void writeTone(const QString& path, double seconds)
{
    auto writer =
        host::createAudioFile(path, model::writerSettings(model::ExportFormat::wav24, 2, rate));
    auto buffer = *host::AudioBuffer::make(*host::AudioFormat::standard(rate, 2), 4096);
    const qint64 frames = qint64(seconds * rate);
    for (qint64 done = 0; done < frames; done += 4096) {
        const qint64 n = std::min<qint64>(4096, frames - done);
        for (qint64 i = 0; i < n; ++i)
            buffer.channel(0)[i] = buffer.channel(1)[i] =
                float(toneLevel * std::sin(2 * M_PI * toneHz * double(done + i) / rate));
        buffer.setFrameLength(n);
        writer->write(buffer);
    }
    writer->finish();
}

struct Switch {
    bool compare;
    qint64 at;         ///< when setCompareOriginal was called
    qint64 heard = -1; ///< when its first frame plays, by the server's clock
};

/// One preview of the file on a chain, measured; see the top of the file.
class PreviewRun {
public:
    PreviewRun(chain::Chain& chain, WatchedOutput& output, MonitorRecorder& monitor,
               const GraphProfile* graph)
        : m_chain(chain), m_output(output), m_monitor(monitor), m_graph(graph)
    {}

    /// Plays the file from its start until it ends or `seconds` have passed.
    RunFigures measure(const model::AudioItem& item, double seconds)
    {
        m_output.reset();
        m_monitor.start();
        m_seconds = seconds;
        m_monitor.listen(); // just ahead of the preview, to hear its start
        m_playAt = WatchedOutput::now();
        m_chain.play(item, 0);
        if (!m_chain.isPlaying(item.id) || !m_output.audible())
            throw std::runtime_error("the preview did not start on the server: " +
                                     m_chain.lastError().toStdString());
        QEventLoop loop;
        QTimer poll;
        poll.setTimerType(Qt::PreciseTimer);
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (interrupted || !m_chain.playingID() ||
                WatchedOutput::now() - m_playAt > qint64(seconds * 1e9))
                loop.quit();
            else
                tick();
        });
        poll.start();
        loop.exec();
        const qint64 stopAt = WatchedOutput::now();
        m_chain.stop();
        m_figures.stopTook = double(WatchedOutput::now() - stopAt) / ms;
        m_stoppedAt = WatchedOutput::now();
        m_chain.setCompareOriginal(false);
        m_monitor.stop();
        throwIfInterrupted();
        return figures();
    }

private:
    /// Every 5 ms on the GUI thread while the preview plays.
    void tick()
    {
        readClock();
        // Switched on at odd multiples of the interval, off at even ones; on
        // only when the switch back fits before the file's last second.
        const int next = int(m_switches.size()) + 1;
        const double due = next * switchEvery;
        const bool on = next % 2 == 1;
        const double elapsed = double(WatchedOutput::now() - m_playAt) / 1e9;
        if (elapsed < due || next >= WatchedOutput::maxMarks ||
            (on && due + switchEvery > m_seconds - 1))
            return;
        m_switches.push_back({on, WatchedOutput::now()});
        m_chain.setCompareOriginal(on);
        m_output.mark(next);
    }

    /// Samples the server's playback latency. With the frames rendered so
    /// far (unchanged while it was read), it tells when any rendered frame
    /// plays: now, plus the latency, less the frames rendered after it.
    void readClock()
    {
        const qint64 frames = m_output.framesRendered();
        const double latency = m_output.latency();
        const qint64 now = WatchedOutput::now();
        if (latency <= 0 || frames != m_output.framesRendered())
            return;
        m_figures.latencies.push_back(latency * 1000);
        const auto plays = [&](qint64 frame) {
            return now + qint64(latency * 1e9) -
                   qint64(double(frames - frame) * 1e9 / m_output.rate());
        };
        if (const qint64 sound = m_output.soundFrame();
            !m_figures.firstSound && sound >= 0 && sound <= frames)
            m_figures.firstSound = double(plays(sound) - m_playAt) / ms;
        for (size_t i = 0; i < m_switches.size(); ++i)
            if (const qint64 frame = m_output.markFrame(int(i) + 1);
                m_switches[i].heard < 0 && frame >= 0 && frame <= frames)
                m_switches[i].heard = plays(frame);
    }

    RunFigures figures()
    {
        RunFigures figures = std::move(m_figures);
        figures.underflows = m_output.underflows();
        for (int i = 0; i < std::min<qint64>(figures.underflows, WatchedOutput::maxUnderflows); ++i)
            figures.underflowsAt.push_back(double(m_output.underflowFrame(i)) * 1000 /
                                           m_output.rate());
        const std::vector<qint64> calls = m_output.calls();
        std::vector<std::pair<qint64, qint64>> gaps;
        for (size_t i = 1; i < calls.size(); ++i) {
            const double gap = double(calls[i] - calls[i - 1]) / ms;
            if (gap > figures.longestGap) {
                figures.longestGap = gap;
                figures.longestGapAt = double(calls[i - 1] - m_playAt) / ms;
            }
            if (gap > 50)
                gaps.emplace_back(calls[i - 1], calls[i]);
        }
        figures.gaps = int(gaps.size());
        if (m_graph && m_graph->available())
            attribute(figures, gaps);
        // A recording that begins with the tone may have begun after it
        // (then "taken" is late, which the goals' judgement only makes
        // stricter), or the sink dropped the silence it had taken ahead to
        // start the preview at once, as PulseAudio's does.
        const auto taken = m_monitor.firstSustained(toneHeard, m_playAt, 10 * ms);
        figures.recordingBeganWithIt = taken && !m_monitor.heardBefore(*taken);
        if (taken) {
            figures.firstSoundTaken = double(*taken - m_playAt) / ms;
            // Sound before the file's: left in the plugins by the last preview.
            if (const auto old = m_monitor.firstAbove(silence, m_playAt); old && *old < *taken - ms)
                figures.oldSound = double(*old - m_playAt) / ms;
        }
        for (const Switch& s : m_switches) {
            const auto changed = s.compare
                                     ? m_monitor.firstAbove(bypassedLevel, s.at)
                                     : m_monitor.lastAboveBeforeQuiet(bypassedLevel, s.at, 20 * ms);
            figures.compareTaken.push_back(changed ? std::optional(double(*changed - s.at) / ms)
                                                   : std::nullopt);
            figures.compare.push_back(s.heard >= 0 ? std::optional(double(s.heard - s.at) / ms)
                                                   : std::nullopt);
        }
        if (figures.firstSoundTaken) {
            const qint64 from = m_playAt + qint64(*figures.firstSoundTaken * double(ms)) + 500 * ms;
            const qint64 to =
                m_switches.empty() ? from + qint64(m_seconds * 1e9) : m_switches.front().at;
            figures.processedPeak = m_monitor.peak(from, to);
        }
        return figures;
    }

    /// Which underflows and gaps fell in a stall of the server's graph: an
    /// underflow reported from the stall's start until 30 ms after its end
    /// (the stream is signalled at its end, and learns there that cycles
    /// passed), a gap that overlaps one.
    void attribute(RunFigures& figures, const std::vector<std::pair<qint64, qint64>>& gaps) const
    {
        const GraphProfile::Window graph = m_graph->between(m_playAt, m_stoppedAt);
        figures.profiled = true;
        for (const GraphProfile::Stall& stall : graph.stalls)
            figures.stalls.push_back(stall.milliseconds());
        figures.streamCycles = graph.streamCycles;
        figures.streamLate = graph.streamLate;
        figures.streamLongest = graph.streamLongest;
        const auto inStall = [&](qint64 from, qint64 to) {
            return std::any_of(graph.stalls.begin(), graph.stalls.end(),
                               [&](const GraphProfile::Stall& s) {
                                   return from <= s.to + 30 * ms && to >= s.from;
                               });
        };
        for (int i = 0; i < std::min<qint64>(figures.underflows, WatchedOutput::maxUnderflows);
             ++i) {
            const qint64 at = m_output.underflowMoment(i);
            figures.underflowsInStalls += inStall(at, at);
        }
        for (const auto& [from, to] : gaps)
            figures.gapsInStalls += inStall(from, to);
    }

    chain::Chain& m_chain;
    WatchedOutput& m_output;
    MonitorRecorder& m_monitor;
    const GraphProfile* m_graph;
    double m_seconds = 0;
    qint64 m_playAt = 0;
    qint64 m_stoppedAt = 0;
    std::vector<Switch> m_switches;
    RunFigures m_figures;
};

/// A child process of this bench that spins.
std::unique_ptr<ChildProcess> busyLoop(const QString& folder)
{
    return std::make_unique<ChildProcess>(QCoreApplication::applicationFilePath(),
                                          QStringList{QStringLiteral("--spin")},
                                          QProcessEnvironment::systemEnvironment().toStringList(),
                                          folder + QStringLiteral("/spin.log"));
}

/// What every configuration uses.
struct Setup {
    host::Lv2AudioHost& host;
    WatchedOutput*& output; ///< the output of the chain made last
    QList<model::PluginState> plugins;
    QString tone;
    Options options;
};

void loadChain(chain::Chain& chain, const QList<model::PluginState>& plugins)
{
    QCoro::waitFor(chain.load(plugins));
    for (const chain::Slot* slot : chain.slots())
        if (slot->isUnavailable())
            throw std::runtime_error("a plugin of the chain did not load");
}

/// The runs of one configuration, each printed as it ends. As in the
/// window, the chain is made first and kept: before each run its output's
/// stream is on the server and the sink asleep, as after a pause. Then, for
/// information, a cold start: a chain made and played at once.
Summary runConfiguration(const Setup& setup, PrivateSoundServer& server, bool native,
                         const QString& folder, bool busy)
{
    const Options& options = setup.options;
    std::vector<std::unique_ptr<ChildProcess>> loops;
    for (int i = 0; busy && i < 2; ++i)
        loops.push_back(busyLoop(folder));
    const auto item = host::readAudioItem(setup.host, QUrl::fromLocalFile(setup.tone));
    if (!item)
        throw std::runtime_error("the tone cannot be read");
    // PulseAudio's sink runs as it likes whatever a record stream asks;
    // PipeWire's graph runs in the shortest cycle any stream asks for, so
    // the monitor there asks for pieces of two of the preview's cycles.
    const bool pipeWireServer = server.kind() == PrivateSoundServer::Kind::pipeWire;
    MonitorRecorder monitor(server.address(), PrivateSoundServer::monitorName(), rate,
                            options.seconds + 20, pipeWireServer ? 2048 / rate : 0.010);
    std::unique_ptr<GraphProfile> graph;
    if (pipeWireServer)
        graph = std::make_unique<GraphProfile>(folder + QStringLiteral("/pipewire-0"), "tolvex");
    // PipeWire's PulseAudio service names itself "PulseAudio (on PipeWire
    // 0.3.65)"; the label names the path the preview took.
    QString label = server.description();
    if (pipeWireServer) {
        const auto version = QRegularExpression(QStringLiteral("PipeWire [0-9.]+")).match(label);
        label = (version.hasMatch() ? version.captured() : QStringLiteral("PipeWire")) +
                (native ? QStringLiteral(", its own protocol")
                        : QStringLiteral(", through its PulseAudio service"));
    }
    Summary summary(label + (busy ? QStringLiteral(", two busy loops") : QStringLiteral(", idle")));
    summary.printHeader(options.runs, options.seconds);
    const QString name = folder + (busy ? QStringLiteral("/busy") : QStringLiteral("/idle"));
    {
        QSettings settings(name + QStringLiteral(".ini"), QSettings::IniFormat);
        chain::Chain chain(setup.host, settings);
        loadChain(chain, setup.plugins);
        for (int run = 1; run <= options.runs; ++run) {
            server.waitUntilAsleep(1);
            PreviewRun preview(chain, *setup.output, monitor, graph.get());
            summary.add(run, preview.measure(*item, options.seconds));
        }
    }
    server.waitUntilAsleep(0);
    QSettings settings(name + QStringLiteral("-cold.ini"), QSettings::IniFormat);
    chain::Chain chain(setup.host, settings);
    loadChain(chain, setup.plugins);
    PreviewRun preview(chain, *setup.output, monitor, graph.get());
    summary.addColdStart(preview.measure(*item, std::min(options.seconds, coldSeconds)));
    return summary;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--spin")))
        spin();
    catchInterruptions();
    const auto options = parse(app.arguments());
    if (!options) {
        std::fprintf(stderr, "usage: bench_preview [--runs N] [--seconds S (at least 5)] "
                             "[--server pulse|pipewire|pipewire-pulse|all] [--load idle|busy]\n");
        return 2;
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tolvex-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    // The bench's own libpulse clients keep their cookie here, not in the real home.
    qputenv("PULSE_COOKIE", dir.filePath(QStringLiteral("cookie")).toUtf8());
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    writeTone(tone, options->seconds);

    WatchedOutput* output = nullptr; // the output of the chain made last
    const size_t maxCalls = size_t(options->seconds * 1000) + 10000;
    host::Lv2AudioHost host([&] {
        auto made = std::make_unique<WatchedOutput>(host::makeDeviceOutput(), maxCalls);
        output = made.get();
        return made;
    });
    for (const auto& [uri, controls] : fixedChain)
        if (!host.find(QString::fromUtf8(uri))) {
            std::fprintf(stderr, "not installed: %s (Debian package x42-plugins)\n", uri);
            return 1;
        }
    const Setup setup{host, output, capturedChain(host), tone, *options};
    printIntroduction(options->runs, options->seconds);

    std::vector<Summary> summaries;
    bool failed = false;
    for (const auto [kind, native] : options->servers) {
        const bool pulse = kind == PrivateSoundServer::Kind::pulseAudio;
        const QString folder = dir.filePath(pulse    ? QStringLiteral("pulse")
                                            : native ? QStringLiteral("pipewire")
                                                     : QStringLiteral("pipewire-pulse"));
        QDir().mkpath(folder);
        if (interrupted)
            break;
        try {
            PrivateSoundServer server(kind, folder);
            server.pointClientsHere(native);
            for (bool busy : options->loads)
                summaries.push_back(runConfiguration(setup, server, native, folder, busy));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "\n%s: %s\n", pulse ? "PulseAudio" : "PipeWire", error.what());
            failed = true;
        }
    }
    printSummaries(summaries);
    return interrupted ? 130 : failed ? 1 : 0;
}
