// One long file on every core: a 10-minute 44.1 kHz stereo WAV through
// fil4 -> darc -> dpl (x42-plugins, fixed parameters), tolvex-cli against
// ffmpeg's lv2 filter with the same chain, into WAV 24 and M4A; whole
// processes, medians of three pairs run in turn. Beside M4A, the AAC
// encoder's own time (ffmpeg encoding the processed file alone). Then the
// batch (50 ten-second files, --jobs 2 against two ffmpeg processes side by
// side), and tolvex-cli's peak memory for a 2- and a 10-minute file.
//
// Beside the wall times, the processor time each side spent (user and
// system, with the worker processes), and what bounds a pipeline: fil4, the
// chain's dearest plugin, alone on one thread over the 10 minutes. Every
// plugin instance stays on one thread, so no split of the chain finishes
// before it; and all the work together, over the cores there are, is the
// other bound.
#include "bench/BenchSupport.h"
#include "bench/FixedChain.h"
#include "model/ChainDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

using namespace tolvex;

namespace {

constexpr int pairs = 3;
constexpr int batchFiles = 50;

struct Run {
    double seconds = 0;
    double processorSeconds = 0; ///< user and system, with the children it waited for
    long peakKilobytes = 0;      ///< of the process and the children it waited for
};

/// Runs the program to its end with its output discarded; wall time and the
/// peak resident size reported by wait4.
Run run(const QStringList& command)
{
    std::vector<QByteArray> bytes;
    for (const QString& part : command)
        bytes.push_back(part.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& part : bytes)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto began = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s failed (%d)\n", argv[0], status);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return {took.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString loadAverage()
{
    QFile file("/proc/loadavg");
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(' ', 0, 2)
                                          : QStringLiteral("?");
}

/// A fresh empty folder in `dir`.
QString fresh(const QTemporaryDir& dir, const QString& name)
{
    QDir(dir.filePath(name)).removeRecursively();
    QDir().mkpath(dir.filePath(name));
    return dir.filePath(name);
}

struct Format {
    const char* raw;
    const char* extension;
    QStringList codec;
};

const Format wav24{"wav24", "wav", {"-c:a", "pcm_s24le"}};
const Format m4a{"m4a", "m4a", {"-c:a", "aac", "-b:a", "256k"}};

class Bench {
public:
    Bench()
    {
        QFile chain(m_dir.filePath("chain.json"));
        host::Lv2AudioHost host;
        chain.open(QIODevice::WriteOnly);
        chain.write(model::encodeChain(bench::capturedChain(host)));
        m_chain = chain.fileName();
        QFile filter(m_dir.filePath("filter.txt"));
        filter.open(QIODevice::WriteOnly);
        filter.write(bench::ffmpegFilter().toUtf8());
        m_filter = filter.fileName();
    }

    QString source(const QString& name, double seconds, quint32 seed = 7)
    {
        const QString path = m_dir.filePath(name);
        bench::makeSource(path, seconds, seed);
        return path;
    }

    Run tolvex(const Format& format, const QStringList& paths, int jobs)
    {
        const QString out = fresh(m_dir, "tolvex");
        return run(QStringList{TOLVEX_CLI, "export", "--chain", m_chain, "--format", format.raw,
                               "--suffix", "", "--jobs", QString::number(jobs), "--output-dir",
                               out} +
                   paths);
    }

    Run ffmpeg(const Format& format, const QString& path)
    {
        const QString out = fresh(m_dir, "ffmpeg");
        return run(QStringList{"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", path,
                               "-filter_script:a", m_filter} +
                   format.codec +
                   QStringList{QDir(out).filePath(QStringLiteral("out.") + format.extension)});
    }

    /// The files of `folder`, one ffmpeg per file, two at a time; the
    /// filter comes from a file, so no shell quoting gets between it and
    /// ffmpeg.
    Run ffmpegBatch(const Format& format, const QString& folder)
    {
        const QString out = fresh(m_dir, "ffmpeg");
        QFile script(m_dir.filePath("one.sh"));
        script.open(QIODevice::WriteOnly | QIODevice::Truncate);
        script.write(QStringLiteral("exec ffmpeg -v error -nostdin -y -i \"$1\" "
                                    "-filter_script:a '%1' %2 \"%3/$(basename \"$1\" .wav).%4\"\n")
                         .arg(m_filter, format.codec.join(u' '), out, format.extension)
                         .toUtf8());
        script.close();
        return run({"sh", "-c",
                    QStringLiteral("ls -d '%1'/*.wav | xargs -d '\\n' -P2 -n1 sh '%2'")
                        .arg(folder, script.fileName())});
    }

    /// ffmpeg encoding an already processed file to AAC, nothing else.
    Run aacAlone()
    {
        const QString processed = fresh(m_dir, "processed");
        run({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", m_long, "-filter_script:a", m_filter,
             "-c:a", "pcm_f32le", QDir(processed).filePath("p.wav")});
        const QString out = fresh(m_dir, "aac");
        return run({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i",
                    QDir(processed).filePath("p.wav"), "-c:a", "aac", "-b:a", "256k",
                    QDir(out).filePath("p.m4a")});
    }

    /// Returns ffmpeg's median wall time.
    double longFile(const Format& format, int jobs)
    {
        std::vector<double> ours, theirs, aac, oursBusy, theirsBusy;
        for (int i = 0; i < pairs; ++i) {
            const Run a = tolvex(format, {m_long}, jobs);
            const Run b = ffmpeg(format, m_long);
            ours.push_back(a.seconds);
            oursBusy.push_back(a.processorSeconds);
            theirs.push_back(b.seconds);
            theirsBusy.push_back(b.processorSeconds);
            if (&format == &m4a)
                aac.push_back(aacAlone().seconds);
        }
        const double a = median(ours), b = median(theirs);
        std::printf("%-7s %10.2f %10.2f %8.2f %12.2f %12.2f", format.raw, a, b, a / b,
                    median(oursBusy), median(theirsBusy));
        if (!aac.empty())
            std::printf("   AAC encoder alone: %.2f s", median(aac));
        std::printf("\n");
        return b;
    }

    void batch(const Format& format, const QString& folder)
    {
        std::vector<double> ours, theirs;
        for (int i = 0; i < pairs; ++i) {
            ours.push_back(tolvex(format, {folder}, 2).seconds);
            theirs.push_back(ffmpegBatch(format, folder).seconds);
        }
        const double a = median(ours), b = median(theirs);
        std::printf("%-7s %10.2f %10.2f %8.2f\n", format.raw, a, b, a / b);
    }

    QTemporaryDir m_dir;
    QString m_chain;
    QString m_filter;
    QString m_long;
};

constexpr qint64 aloneBlock = 4096;

/// fil4 with the bench's controls over the whole of `path`, in tolvex's
/// offline engine on this thread: the seconds its renders took (the
/// reading not counted), the best of `pairs` passes.
double dearestPluginAlone(const QString& path)
{
    host::Lv2AudioHost host;
    auto instance = bench::instantiate(host, bench::fixedChain[0][0]);
    bench::setControls(*instance, bench::fixedChain[0][1]);
    auto file = host.openForReading(path);
    bench::SoloEngine engine(host, *instance, file->processingFormat(), aloneBlock);
    double best = 1e9;
    for (int pass = 0; pass < pairs; ++pass) {
        file->setFramePosition(0);
        double took = 0;
        for (;;) {
            file->read(engine.input(), aloneBlock);
            if (engine.input().frameLength() == 0)
                break;
            const auto began = std::chrono::steady_clock::now();
            engine.render();
            took += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        }
        best = std::min(best, took);
    }
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int cores = QThread::idealThreadCount();
    std::printf("%d cores, load average at start: %s\n", cores, qPrintable(loadAverage()));
    Bench bench;
    std::printf("Generating a 10-minute, a 2-minute and %d ten-second files …\n", batchFiles);
    bench.m_long = bench.source("long.wav", 600);
    const QString shorter = bench.source("short.wav", 120);
    const QString folder = fresh(bench.m_dir, "batch");
    for (int i = 0; i < batchFiles; ++i)
        bench::makeSource(
            QDir(folder).filePath(QStringLiteral("take %1.wav").arg(i, 2, 10, QChar(u'0'))), 10,
            quint32(7 + i));

    std::printf("\nOne 10-minute file, fil4 -> darc -> dpl, medians of %d pairs (s)\n", pairs);
    std::printf("%-7s %10s %10s %8s %12s %12s\n", "format", "tolvex", "ffmpeg", "ratio",
                "tolvex CPU", "ffmpeg CPU");
    const double ffmpegWav = bench.longFile(wav24, cores);
    bench.longFile(m4a, cores);
    std::printf("load average: %s\n", qPrintable(loadAverage()));
    const double fil4 = dearestPluginAlone(bench.m_long);
    std::printf("\nfil4 alone over the 10 minutes on one thread, in tolvex's engine, blocks of "
                "%lld: %.2f s = %.2f x ffmpeg's wall time into WAV 24 (the best of %d)\n",
                aloneBlock, fil4, fil4 / ffmpegWav, pairs);

    std::printf("\n%d ten-second files, tolvex-cli --jobs 2 against ffmpeg -P2 (s)\n", batchFiles);
    std::printf("%-7s %10s %10s %8s\n", "format", "tolvex", "ffmpeg", "ratio");
    bench.batch(m4a, folder);
    bench.batch(wav24, folder);
    std::printf("load average: %s\n", qPrintable(loadAverage()));

    std::printf("\nPeak memory of tolvex-cli and its worker into WAV 24 (MB)\n");
    for (const auto& [name, path] :
         {std::pair{"2 min", shorter}, std::pair{"10 min", bench.m_long}})
        std::printf("%-7s %10.1f\n", name,
                    double(bench.tolvex(wav24, {path}, cores).peakKilobytes) / 1024);
    std::printf("\nratio = tolvex-cli / ffmpeg; below 1 is faster. Load average at the end: %s\n",
                qPrintable(loadAverage()));
    return 0;
}
