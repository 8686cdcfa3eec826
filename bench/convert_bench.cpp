// Converts a generated 10-minute stereo 24-bit WAV into each export format
// through Tolvex's reader and writer, and through the ffmpeg command-line
// tool in the same run, and prints the seconds of each and their ratio.
#include "host/files/AudioFiles.h"
#include "model/ExportFormat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace tolvex;

namespace {

constexpr double rate = 44100;
constexpr qint64 frames = qint64(rate) * 600;
constexpr qint64 block = 4096;
constexpr int runs = 3;

void makeSource(const QString& path)
{
    auto writer =
        host::createAudioFile(path, model::writerSettings(model::ExportFormat::wav24, 2, rate));
    auto buffer = *host::AudioBuffer::make(*host::AudioFormat::standard(rate, 2), block);
    quint32 noise = 1;
    for (qint64 done = 0; done < frames; done += block) {
        const qint64 n = std::min(block, frames - done);
        for (qint64 i = 0; i < n; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double t = double(done + i) / rate;
            const float dither = float(int32_t(noise)) * (0.01f / 2147483648.0f);
            buffer.channel(0)[i] = float(0.4 * std::sin(2 * M_PI * 220 * t)) + dither;
            buffer.channel(1)[i] = float(0.4 * std::sin(2 * M_PI * 331 * t)) - dither;
        }
        buffer.setFrameLength(n);
        writer->write(buffer);
    }
    writer->finish();
}

double convertWithTolvex(const QString& source, const QString& target, model::ExportFormat format)
{
    QFile::remove(target);
    QElapsedTimer timer;
    timer.start();
    auto reader = host::openAudioFile(source);
    const auto processing = reader->processingFormat();
    auto writer = host::createAudioFile(
        target, model::writerSettings(format, processing.channelCount(), processing.sampleRate()));
    auto buffer = *host::AudioBuffer::make(processing, block);
    for (;;) {
        reader->read(buffer, block);
        if (buffer.frameLength() == 0)
            break;
        writer->write(buffer);
    }
    writer->finish();
    return double(timer.nsecsElapsed()) / 1e9;
}

QStringList ffmpegCodec(model::ExportFormat format)
{
    switch (format) {
    case model::ExportFormat::wav24:
        return {"-c:a", "pcm_s24le"};
    case model::ExportFormat::wav16:
        return {"-c:a", "pcm_s16le"};
    case model::ExportFormat::wav32f:
        return {"-c:a", "pcm_f32le"};
    case model::ExportFormat::aiff24:
        return {"-c:a", "pcm_s24be"};
    case model::ExportFormat::m4a:
        return {"-c:a", "aac", "-b:a", "256k"};
    }
    return {};
}

double convertWithFfmpeg(const QString& source, const QString& target, model::ExportFormat format)
{
    QFile::remove(target);
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y", "-i", source} +
                                ffmpegCodec(format) + QStringList{target});
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "ffmpeg failed: %s\n", process.readAllStandardError().constData());
    return seconds;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString source = dir.filePath("source.wav");
    std::printf("Generating a 10-minute stereo 24-bit WAV at 44.1 kHz …\n");
    makeSource(source);

    std::printf("\n%-22s %12s %12s %8s\n", "format", "Tolvex (s)", "ffmpeg (s)", "ratio");
    for (model::ExportFormat format : model::allExportFormats) {
        const QString ours = dir.filePath("tolvex." + model::fileExtension(format));
        const QString theirs = dir.filePath("ffmpeg." + model::fileExtension(format));
        double best = 1e9;
        double peer = 1e9;
        for (int run = 0; run < runs; ++run) { // alternate, keep the best of each
            best = std::min(best, convertWithTolvex(source, ours, format));
            peer = std::min(peer, convertWithFfmpeg(source, theirs, format));
        }
        std::printf("%-22s %12.3f %12.3f %8.2f\n", qPrintable(model::label(format)), best, peer,
                    best / peer);
    }
    std::printf("\nratio = Tolvex / ffmpeg; below 1 is faster. Best of %d runs each.\n", runs);
    return 0;
}
