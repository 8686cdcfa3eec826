// Adds a generated folder of 1,000 short files to a session and times the
// call, beside the time ffprobe takes to read the same headers (one process
// per file, as a script would run it).
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

using namespace tolvex;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int files = 1000;
    QTemporaryDir dir;
    const QString folder = dir.filePath("import");
    QDir().mkpath(folder);
    auto buffer = *host::AudioBuffer::make(*host::AudioFormat::standard(44100, 2), 4410);
    buffer.setFrameLength(4410);
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QString path = folder + QStringLiteral("/take %1.wav").arg(i);
        auto writer = host::createAudioFile(
            path, model::writerSettings(model::ExportFormat::wav16, 2, 44100));
        writer->write(buffer);
        writer->finish();
        paths << path;
    }

    host::Lv2AudioHost host;
    QSettings settings(dir.filePath("bench.ini"), QSettings::IniFormat);
    session::Session session(host, settings);
    QElapsedTimer timer;
    timer.start();
    session.add({QUrl::fromLocalFile(folder)});
    const double ours = double(timer.nsecsElapsed()) / 1e9;

    timer.restart();
    for (const QString& path : paths) {
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-show_entries",
                                "stream=sample_rate,channels,duration_ts", "-of", "compact", path});
        probe.waitForFinished(-1);
    }
    const double ffprobe = double(timer.nsecsElapsed()) / 1e9;

    std::printf("%d files of 0.1 s (WAV 16 bit stereo)\n\n", files);
    std::printf("Session::add of the folder: %8.3f s (%zd items)\n", ours,
                size_t(session.items().size()));
    std::printf("ffprobe, once per file:     %8.3f s\n", ffprobe);
    std::printf("ratio: %.4f (per file: %.3f ms against %.1f ms)\n", ours / ffprobe,
                ours / files * 1e3, ffprobe / files * 1e3);
    return 0;
}
