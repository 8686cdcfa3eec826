// 50 ten-second 44.1 kHz stereo files through fil4 -> darc -> dpl (x42-plugins,
// fixed parameters) into M4A and WAV 24: tolvex-cli with --jobs 1 and
// --jobs 2 against two ffmpeg processes side by side (xargs -P2, ffmpeg's
// lv2 filter with the same chain and output format), in one program run.
// Whole processes, timed from outside.
#include "bench/BenchSupport.h"
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

constexpr double rate = 44100;
constexpr int fileCount = 50;
const char* const chain[][2] = {
    {"http://gareus.org/oss/lv2/fil4#stereo", "sec1=1|freq1=800|gain1=6|HighPass=1|HPfreq=60"},
    {"http://gareus.org/oss/lv2/darc#stereo", "threshold=-20|Ratio=0.5"},
    {"http://gareus.org/oss/lv2/dpl#stereo", "threshold=-3"},
};

void makeSource(const QString& path, double seconds, quint32 seed)
{
    auto writer =
        host::createAudioFile(path, model::writerSettings(model::ExportFormat::wav24, 2, rate));
    auto buffer = *host::AudioBuffer::make(*host::AudioFormat::standard(rate, 2), 4096);
    quint32 noise = seed;
    const qint64 frames = qint64(seconds * rate);
    for (qint64 done = 0; done < frames; done += 4096) {
        const qint64 n = std::min<qint64>(4096, frames - done);
        for (qint64 i = 0; i < n; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double t = double(done + i) / rate;
            const double d = double(int32_t(noise)) / 2147483648.0 * 0.05;
            buffer.channel(0)[i] = float(0.5 * std::sin(2 * M_PI * 220 * t) + d);
            buffer.channel(1)[i] = float(0.4 * std::sin(2 * M_PI * 1375 * t) - d);
        }
        buffer.setFrameLength(n);
        writer->write(buffer);
    }
    writer->finish();
}

QByteArray chainDocument()
{
    host::Lv2AudioHost host;
    QList<model::PluginState> plugins;
    for (const auto& [uri, controls] : chain) {
        auto instance = bench::instantiate(host, uri);
        for (const QString& control : QString::fromLatin1(controls).split(u'|')) {
            const auto parts = control.split(u'=');
            instance->setParameter(parts[0], parts[1].toFloat());
        }
        plugins.append(
            model::PluginState::from(*host.find(QString::fromUtf8(uri)), false,
                                     host::writeBinaryPropertyList(*instance->fullState())));
    }
    return model::encodeChain(plugins);
}

QString ffmpegFilter()
{
    QStringList filters;
    for (const auto& [uri, controls] : chain)
        filters << "lv2='p=" + QString::fromLatin1(uri).replace(u':', QStringLiteral("\\:")) +
                       ":c=" + QString::fromLatin1(controls) + "'";
    return filters.join(u',');
}

/// Runs the program to its end; its wall time in seconds.
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
        makeSource(QDir(in).filePath(QStringLiteral("take %1.wav").arg(i, 2, 10, QChar(u'0'))), 10,
                   quint32(7 + i));
    QFile chainFile(dir.filePath("chain.json"));
    chainFile.open(QIODevice::WriteOnly);
    chainFile.write(chainDocument());
    chainFile.close();
    QFile filterFile(dir.filePath("filter.txt"));
    filterFile.open(QIODevice::WriteOnly);
    filterFile.write(ffmpegFilter().toUtf8());
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
