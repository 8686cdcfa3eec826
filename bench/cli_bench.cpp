// 50 ten-second 44.1 kHz stereo files through fil4 -> darc -> dpl (x42-plugins,
// fixed parameters) into M4A and WAV 24: tolvex-cli with --jobs 1 and
// --jobs 2 against two ffmpeg processes side by side (xargs -P2, ffmpeg's
// lv2 filter with the same chain and output format), in one program run.
// Whole processes, timed from outside.
#include "bench/FixedChain.h"
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "model/ChainDocument.h"
#include "model/ExportFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>

using namespace tolvex;

namespace {

constexpr int fileCount = 50;

QByteArray chainDocument()
{
    host::Lv2AudioHost host;
    return model::encodeChain(bench::capturedChain(host));
}

double timed(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        std::fprintf(stderr, "%s failed with %d\n", qPrintable(program), process.exitCode());
    return seconds;
}

/// A fresh empty folder in `dir`.
QString fresh(const QTemporaryDir& dir, const QString& name)
{
    QDir(dir.filePath(name)).removeRecursively();
    QDir().mkpath(dir.filePath(name));
    return dir.filePath(name);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString in = fresh(dir, "in");
    std::printf("Generating %d files of 10 s, 44.1 kHz stereo …\n", fileCount);
    for (int i = 0; i < fileCount; ++i)
        bench::makeSource(
            QDir(in).filePath(QStringLiteral("take %1.wav").arg(i, 2, 10, QChar(u'0'))), 10,
            quint32(7 + i));
    QFile chainFile(dir.filePath("chain.json"));
    chainFile.open(QIODevice::WriteOnly);
    chainFile.write(chainDocument());
    chainFile.close();
    QFile filterFile(dir.filePath("filter.txt"));
    filterFile.open(QIODevice::WriteOnly);
    filterFile.write(bench::ffmpegFilter().toUtf8());
    filterFile.close();

    std::printf("\nfil4 -> darc -> dpl, %d × 10 s, wall time of whole runs\n\n", fileCount);
    std::printf("%-7s %12s %12s %14s %10s %10s\n", "format", "cli -j1 (s)", "cli -j2 (s)",
                "ffmpeg -P2 (s)", "j1/ffmpeg", "j2/ffmpeg");
    const struct {
        const char* raw;
        const char* extension;
        const char* codec;
    } formats[] = {{"m4a", "m4a", "-c:a aac -b:a 256k"}, {"wav24", "wav", "-c:a pcm_s24le"}};
    for (const auto& format : formats) {
        double cli[2];
        for (int jobs : {1, 2}) {
            const QString folder = fresh(dir, QStringLiteral("cli%1").arg(jobs));
            cli[jobs - 1] = timed(TOLVEX_CLI, {"export", "--chain", chainFile.fileName(),
                                               "--format", format.raw, "--suffix", "", "--jobs",
                                               QString::number(jobs), "--output-dir", folder, in});
            if (QDir(folder).entryList(QDir::Files).size() != fileCount)
                std::fprintf(stderr, "tolvex-cli did not write every file\n");
        }
        const QString out = fresh(dir, "ffmpeg");
        // One ffmpeg per file, two at a time; the filter comes from a file so
        // that no shell quoting gets between it and ffmpeg.
        const QString script = dir.filePath("one.sh");
        QFile one(script);
        one.open(QIODevice::WriteOnly | QIODevice::Truncate);
        one.write(QStringLiteral("exec ffmpeg -v error -nostdin -y -i \"$1\" -filter_script:a '%1' "
                                 "%2 \"%3/$(basename \"$1\" .wav).%4\"\n")
                      .arg(filterFile.fileName(), QString::fromLatin1(format.codec), out,
                           QString::fromLatin1(format.extension))
                      .toUtf8());
        one.close();
        const QString files = QDir(in).entryList({"*.wav"}, QDir::Files, QDir::Name).join(u'\n');
        const double ffmpeg = timed(
            "sh",
            {"-c", QStringLiteral("cd '%1' && printf '%2\\n' | xargs -d '\\n' -P2 -n1 sh '%3'")
                       .arg(in, files, script)});
        const int written = int(QDir(out).entryList(QDir::Files).size());
        if (written != fileCount)
            std::fprintf(stderr, "ffmpeg wrote %d of %d files\n", written, fileCount);
        std::printf("%-7s %12.2f %12.2f %14.2f %10.2f %10.2f\n", format.raw, cli[0], cli[1], ffmpeg,
                    cli[0] / ffmpeg, cli[1] / ffmpeg);
    }
    std::printf("\nratio = tolvex-cli / ffmpeg; below 1 is faster. %d cores.\n",
                QThread::idealThreadCount());
    return 0;
}
