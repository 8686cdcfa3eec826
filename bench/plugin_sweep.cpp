// Every installed LV2 effect alone in a chain, on mono and stereo files at
// 44.1 and 48 kHz, through tolvex-cli and through ffmpeg's lv2 filter. Each
// run is a process of its own, so that a plugin that crashes or hangs is
// counted, not fatal. Prints for each plugin whether it runs, refuses (with
// the reason) or crashes, whether the output is finite, and the time; then
// the totals side by side.
//
//   bench_plugin_sweep [--rates 44100,48000] [--only TEXT] [--jobs N] [--timeout S]
#include "bench/FixedChain.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ChainDocument.h"
#include "model/ExportFormat.h"
#include "model/PluginState.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

using namespace tolvex;

namespace {

constexpr double sourceSeconds = 2;

struct Source {
    QString name; ///< "mono 48 kHz"
    QString path;
};

/// How one run of one tool on one file ended.
struct Outcome {
    enum Kind { runs, notFinite, refuses, crashes, hangs } kind = runs;
    QString reason;
    double seconds = 0;
};

/// Both tools' runs of one plugin, in the order of the sources.
struct Sweep {
    QString uri, name;
    std::vector<Outcome> tolvex, ffmpeg;
};

const char* kindText(Outcome::Kind kind)
{
    switch (kind) {
    case Outcome::runs:
        return "runs";
    case Outcome::notFinite:
        return "runs, output not finite";
    case Outcome::refuses:
        return "refuses";
    case Outcome::crashes:
        return "crashes";
    case Outcome::hangs:
        return "hangs";
    }
    return "?";
}

/// Whether the file has sound and every sample of it is finite; a reason when not.
QString checkOutput(const QString& path)
{
    if (!QFile::exists(path))
        return QStringLiteral("no output file");
    try {
        auto reader = host::openAudioFile(path);
        auto buffer = *host::AudioBuffer::make(reader->processingFormat(), 4096);
        qint64 frames = 0;
        while (reader->framePosition() < reader->length()) {
            reader->read(buffer, 4096);
            if (buffer.frameLength() == 0)
                break;
            frames += buffer.frameLength();
            for (int c = 0; c < buffer.channelCount(); ++c)
                for (qint64 i = 0; i < buffer.frameLength(); ++i)
                    if (!std::isfinite(buffer.channel(c)[i]))
                        return QStringLiteral("not finite");
        }
        return frames > 0 ? QString() : QStringLiteral("empty output");
    } catch (const host::HostError& error) {
        return error.message();
    }
}

/// The last line a tool wrote to its error output: its reason.
QString lastLine(const QByteArray& errors)
{
    const QStringList lines = QString::fromUtf8(errors).split(u'\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.back().trimmed();
}

Outcome run(const QString& program, const QStringList& arguments, const QString& output,
            int timeoutSeconds)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    Outcome outcome;
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished(-1);
        outcome.kind = Outcome::hangs;
        outcome.reason = QStringLiteral("no end after %1 s").arg(timeoutSeconds);
        return outcome;
    }
    outcome.seconds = double(timer.nsecsElapsed()) / 1e9;
    const QByteArray errors = process.readAllStandardError();
    if (process.exitStatus() == QProcess::CrashExit) {
        outcome.kind = Outcome::crashes;
        outcome.reason = QStringLiteral("signal");
        return outcome;
    }
    if (process.exitCode() != 0) {
        outcome.kind = Outcome::refuses;
        outcome.reason = lastLine(errors);
        return outcome;
    }
    if (const QString problem = checkOutput(output); !problem.isEmpty()) {
        outcome.kind = problem == u"not finite" ? Outcome::notFinite : Outcome::refuses;
        outcome.reason = problem;
    }
    return outcome;
}

/// The worst of a plugin's runs with one tool: the one that counts.
const Outcome& worst(const std::vector<Outcome>& outcomes)
{
    return *std::max_element(outcomes.begin(), outcomes.end(),
                             [](const Outcome& a, const Outcome& b) { return a.kind < b.kind; });
}

bool allRun(const std::vector<Outcome>& outcomes)
{
    return worst(outcomes).kind == Outcome::runs;
}

double totalSeconds(const std::vector<Outcome>& outcomes)
{
    double sum = 0;
    for (const Outcome& outcome : outcomes)
        sum += outcome.seconds;
    return sum;
}

QString describe(const std::vector<Outcome>& outcomes, const std::vector<Source>& sources)
{
    const Outcome& bad = worst(outcomes);
    if (bad.kind == Outcome::runs)
        return QStringLiteral("runs (%1 s)").arg(totalSeconds(outcomes), 0, 'f', 2);
    const auto index = size_t(&bad - outcomes.data());
    return QStringLiteral("%1 on %2%3")
        .arg(QString::fromLatin1(kindText(bad.kind)), sources[index].name,
             bad.reason.isEmpty() ? QString() : QStringLiteral(": ") + bad.reason);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"rates", "Sample rates of the files.", "list", "44100,48000"});
    parser.addOption({"only", "Only plugins whose URI contains this.", "text"});
    parser.addOption(
        {"jobs", "Runs at a time.", "n", QString::number(QThread::idealThreadCount())});
    parser.addOption({"timeout", "Seconds before a run counts as hanging.", "s", "60"});
    parser.process(app);

    QTemporaryDir dir;
    // tolvex-cli's settings stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));

    std::vector<Source> sources;
    for (const QString& rateText : parser.value("rates").split(u',')) {
        const double rate = rateText.toDouble();
        for (int channels : {1, 2}) {
            Source source;
            source.name = QStringLiteral("%1 %2 kHz")
                              .arg(channels == 1 ? "mono" : "stereo")
                              .arg(rate / 1000, 0, 'g', 3);
            source.path = dir.filePath(QStringLiteral("%1-%2.wav").arg(channels).arg(rate));
            bench::makeSource(source.path, sourceSeconds, 11, rate, channels);
            sources.push_back(source);
        }
    }

    std::vector<Sweep> sweeps;
    {
        host::Lv2AudioHost host;
        QList<model::PluginInfo> plugins = host.components(model::effectType);
        plugins += host.components(model::musicEffectType);
        std::vector<std::pair<QString, model::PluginInfo>> listed;
        for (const model::PluginInfo& info : plugins) {
            const QString uri = host.uri(info.codes);
            if (!parser.isSet("only") || uri.contains(parser.value("only")))
                listed.emplace_back(uri, info);
        }
        std::sort(listed.begin(), listed.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        QDir().mkpath(dir.filePath("chains"));
        for (const auto& [uri, info] : listed) {
            QFile chain(dir.filePath(QStringLiteral("chains/%1.json").arg(sweeps.size())));
            chain.open(QIODevice::WriteOnly);
            chain.write(model::encodeChain({model::PluginState::from(info, false)}));
            sweeps.push_back({uri, info.name, {}, {}});
        }
    }

    std::printf("%zu LV2 effects, each alone in a chain, on %zu files of %.0f s:", sweeps.size(),
                sources.size(), sourceSeconds);
    for (const Source& source : sources)
        std::printf(" %s;", qPrintable(source.name));
    std::printf(
        "\ntolvex-cli (WAV 32-bit float) and ffmpeg's lv2 filter (pcm_f32le), a process per "
        "run, %d at a time.\n\n",
        parser.value("jobs").toInt());
    std::fflush(stdout);

    const int timeout = parser.value("timeout").toInt();
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (int j = 0; j < std::max(1, parser.value("jobs").toInt()); ++j)
        workers.emplace_back([&] {
            for (size_t i = next++; i < sweeps.size(); i = next++) {
                Sweep& sweep = sweeps[i];
                const QString chain = dir.filePath(QStringLiteral("chains/%1.json").arg(i));
                for (size_t s = 0; s < sources.size(); ++s) {
                    const QString out = dir.filePath(QStringLiteral("out/%1-%2").arg(i).arg(s));
                    QDir().mkpath(out + "/tolvex");
                    QDir().mkpath(out + "/ffmpeg");
                    sweep.tolvex.push_back(
                        run(TOLVEX_CLI,
                            {"export", "--chain", chain, "--format", "wav32f", "--suffix", "",
                             "--jobs", "1", "--output-dir", out + "/tolvex", sources[s].path},
                            out + "/tolvex/" + QFileInfo(sources[s].path).fileName(), timeout));
                    // Escaped for the option and again for the graph.
                    QString filterUri = sweep.uri;
                    filterUri.replace(u'\\', QStringLiteral("\\\\\\\\"))
                        .replace(u':', QStringLiteral("\\\\:"));
                    sweep.ffmpeg.push_back(
                        run("ffmpeg",
                            {"-nostdin", "-v", "error", "-y", "-i", sources[s].path, "-af",
                             "lv2=p=" + filterUri, "-c:a", "pcm_f32le", out + "/ffmpeg/out.wav"},
                            out + "/ffmpeg/out.wav", timeout));
                    QDir(out).removeRecursively();
                }
            }
        });
    for (auto& worker : workers)
        worker.join();

    int both = 0, onlyTolvex = 0, onlyFfmpeg = 0, neither = 0;
    std::map<Outcome::Kind, int> tolvexKinds, ffmpegKinds;
    double tolvexTime = 0, ffmpegTime = 0;
    int timedPlugins = 0;
    for (const Sweep& sweep : sweeps) {
        const bool t = allRun(sweep.tolvex), f = allRun(sweep.ffmpeg);
        both += t && f;
        onlyTolvex += t && !f;
        onlyFfmpeg += !t && f;
        neither += !t && !f;
        ++tolvexKinds[worst(sweep.tolvex).kind];
        ++ffmpegKinds[worst(sweep.ffmpeg).kind];
        if (t && f) {
            tolvexTime += totalSeconds(sweep.tolvex);
            ffmpegTime += totalSeconds(sweep.ffmpeg);
            ++timedPlugins;
        }
        std::printf("%s (%s)\n    tolvex-cli: %s\n    ffmpeg:     %s\n", qPrintable(sweep.uri),
                    qPrintable(sweep.name), qPrintable(describe(sweep.tolvex, sources)),
                    qPrintable(describe(sweep.ffmpeg, sources)));
    }

    std::printf("\nTotals over %zu plugins\n", sweeps.size());
    std::printf("  %-28s %5d\n  %-28s %5d\n  %-28s %5d\n  %-28s %5d\n", "both run", both,
                "only tolvex-cli runs", onlyTolvex, "only ffmpeg runs", onlyFfmpeg, "neither runs",
                neither);
    std::printf("\n  %-28s %10s %10s\n", "worst outcome per plugin", "tolvex-cli", "ffmpeg");
    for (auto kind :
         {Outcome::runs, Outcome::notFinite, Outcome::refuses, Outcome::crashes, Outcome::hangs})
        std::printf("  %-28s %10d %10d\n", kindText(kind), tolvexKinds[kind], ffmpegKinds[kind]);
    if (timedPlugins > 0)
        std::printf("\n  time for the %d plugins both run: tolvex-cli %.1f s, ffmpeg %.1f s "
                    "(whole processes)\n",
                    timedPlugins, tolvexTime, ffmpegTime);

    std::printf("\nRefused or failing in tolvex-cli:\n");
    for (const Sweep& sweep : sweeps)
        if (!allRun(sweep.tolvex))
            std::printf("  %s: %s%s\n", qPrintable(sweep.uri),
                        qPrintable(describe(sweep.tolvex, sources)),
                        allRun(sweep.ffmpeg) ? " (ffmpeg runs it)" : "");
    return 0;
}
