// Exports a generated 44.1 kHz stereo file through fil4 -> darc -> dpl
// (x42-plugins, fixed parameters) to WAV 24 and M4A, and runs ffmpeg's lv2
// filter with the same chain and output format in the same program run.
// Each export runs in a process of its own, timed from outside, so both
// sides pay for starting up and loading the plugins; the peak memory of a
// 1-minute and a 10-minute render shows that it does not grow with length.
#include "bench/FixedChain.h"
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "render/Renderer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <future>

using namespace tolvex;

namespace {

long peakKilobytes()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

/// Child mode: render one file and print the peak memory in kB.
int renderOne(const QString& source, const QString& target, const QString& format)
{
    host::Lv2AudioHost host;
    const QList<model::PluginState> plugins = bench::capturedChain(host);
    render::renderFile(host,
                       {QUrl::fromLocalFile(source), QUrl::fromLocalFile(target), plugins,
                        *model::exportFormatFromRawValue(format)},
                       [](double) {});
    std::printf("%ld\n", peakKilobytes());
    return 0;
}

struct Timed {
    double seconds;
    QByteArray output;
};

Timed timed(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
    return {seconds, process.readAllStandardOutput()};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 5 && arguments[1] == "--render")
        return renderOne(arguments[2], arguments[3], arguments[4]);

    QTemporaryDir dir;
    const QString longSource = dir.filePath("ten-minutes.wav");
    const QString shortSource = dir.filePath("one-minute.wav");
    std::printf("Generating 10 minutes and 1 minute of 44.1 kHz stereo …\n");
    bench::makeSource(longSource, 600);
    bench::makeSource(shortSource, 60);

    std::printf("\nfil4 -> darc -> dpl, 10 minutes, best of 3 runs each (whole processes)\n\n");
    std::printf("%-8s %11s %11s %8s %14s %14s\n", "format", "Tolvex (s)", "ffmpeg (s)", "ratio",
                "peak 1 min", "peak 10 min");
    const struct {
        const char* raw;
        const char* extension;
        QStringList codec;
    } formats[] = {{"wav24", "wav", {"-c:a", "pcm_s24le"}},
                   {"m4a", "m4a", {"-c:a", "aac", "-b:a", "256k"}}};
    for (const auto& format : formats) {
        double ours = 1e9;
        double theirs = 1e9;
        long peakLong = 0;
        for (int run = 0; run < 3; ++run) {
            const QString target = dir.filePath(QStringLiteral("tolvex.") + format.extension);
            const QString peer = dir.filePath(QStringLiteral("ffmpeg.") + format.extension);
            QFile::remove(target);
            QFile::remove(peer);
            const Timed mine =
                timed(app.applicationFilePath(), {"--render", longSource, target, format.raw});
            ours = std::min(ours, mine.seconds);
            peakLong = mine.output.trimmed().toLong();
            theirs = std::min(
                theirs, timed("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y", "-i",
                                                    longSource, "-af", bench::ffmpegFilter()} +
                                            format.codec + QStringList{peer})
                            .seconds);
        }
        const QString shortTarget = dir.filePath(QStringLiteral("short.") + format.extension);
        const long peakShort =
            timed(app.applicationFilePath(), {"--render", shortSource, shortTarget, format.raw})
                .output.trimmed()
                .toLong();
        std::printf("%-8s %11.2f %11.2f %8.2f %11ld kB %11ld kB\n", format.raw, ours, theirs,
                    ours / theirs, peakShort, peakLong);
    }
    std::printf("\nratio = Tolvex / ffmpeg; below 1 is faster.\n");
    return 0;
}
