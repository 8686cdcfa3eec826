#include "tests/support/AudioTestFiles.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvex::testing {

Signal sineSignal(double sampleRate, int channels, qint64 frames)
{
    Signal signal;
    signal.sampleRate = sampleRate;
    signal.channels.resize(size_t(channels));
    for (int c = 0; c < channels; ++c) {
        auto& samples = signal.channels[size_t(c)];
        samples.resize(size_t(frames));
        // Channel 3 is the LFE of a 5.1 layout, which AAC band-limits.
        const double frequency = c == 3 ? 50.0 : 330.0 * (c + 1);
        const double step = 2 * M_PI * frequency / sampleRate;
        for (qint64 i = 0; i < frames; ++i)
            samples[size_t(i)] = float(0.5 * std::sin(step * double(i)));
    }
    return signal;
}

void writeSignal(host::AudioFileWriter& writer, const Signal& signal, qint64 block)
{
    const auto format = host::AudioFormat::standard(signal.sampleRate, int(signal.channels.size()));
    auto buffer = host::AudioBuffer::make(*format, block);
    for (qint64 done = 0; done < signal.frames(); done += block) {
        const qint64 n = std::min(block, signal.frames() - done);
        for (size_t c = 0; c < signal.channels.size(); ++c)
            std::copy_n(signal.channels[c].begin() + done, n, buffer->channel(int(c)));
        buffer->setFrameLength(n);
        writer.write(*buffer);
    }
    writer.finish();
}

Signal readToEnd(host::AudioFileReader& reader, qint64 block)
{
    const host::AudioFormat format = reader.processingFormat();
    Signal signal;
    signal.sampleRate = format.sampleRate();
    signal.channels.resize(size_t(format.channelCount()));
    auto buffer = host::AudioBuffer::make(format, block);
    for (;;) {
        reader.read(*buffer, block);
        if (buffer->frameLength() == 0)
            break;
        for (int c = 0; c < format.channelCount(); ++c)
            signal.channels[size_t(c)].insert(signal.channels[size_t(c)].end(), buffer->channel(c),
                                              buffer->channel(c) + buffer->frameLength());
    }
    return signal;
}

double maxDifference(const std::vector<float>& a, const std::vector<float>& b, qint64 from,
                     qint64 to)
{
    const qint64 size = qint64(std::min(a.size(), b.size()));
    const qint64 end = to < 0 ? size + to + 1 : std::min(to, size);
    double worst = 0;
    for (qint64 i = std::max<qint64>(from, 0); i < end; ++i)
        worst = std::max(worst, std::abs(double(a[size_t(i)]) - double(b[size_t(i)])));
    return worst;
}

double differenceDb(const std::vector<float>& reference, const std::vector<float>& other,
                    qint64 offset, qint64 count)
{
    const qint64 available = std::min(qint64(reference.size()) - offset, qint64(other.size()));
    const qint64 frames = count < 0 ? available : std::min(count, available);
    double signal = 0;
    double difference = 0;
    for (qint64 i = 0; i < frames; ++i) {
        const double r = reference[size_t(i + offset)];
        signal += r * r;
        difference += (r - other[size_t(i)]) * (r - other[size_t(i)]);
    }
    return difference == 0 ? -400 : 10 * std::log10(difference / signal);
}

double snrDb(const std::vector<float>& reference, const std::vector<float>& decoded, qint64 from,
             qint64 to)
{
    return -differenceDb({reference.begin() + from, reference.begin() + to},
                         {decoded.begin() + from, decoded.begin() + to});
}

QByteArray runTool(const QString& program, const QStringList& arguments)
{
    // posix_spawn rather than QProcess: QProcess forks with vfork, after
    // which the thread sanitizer loses track of the forking thread.
    QTemporaryDir dir;
    const QByteArray output = (dir.path() + QStringLiteral("/out")).toLocal8Bit();
    const QByteArray errors = (dir.path() + QStringLiteral("/err")).toLocal8Bit();
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errors.constData(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);

    const auto read = [](const QByteArray& path) {
        QFile file(QString::fromLocal8Bit(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        QTest::qFail(qPrintable(program + u' ' + arguments.join(u' ') + u'\n' +
                                QString::fromUtf8(read(errors))),
                     __FILE__, __LINE__);
        return {};
    }
    return read(output);
}

std::pair<double, double> ffmpegLoudness(const QStringList& paths)
{
    QStringList arguments{"-nostats"};
    QString inputs;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        arguments << "-i" << paths[i];
        inputs += QStringLiteral("[%1:a]").arg(i);
    }
    arguments << "-filter_complex"
              << inputs + QStringLiteral("concat=n=%1:v=0:a=1,ebur128=peak=true").arg(paths.size())
              << "-f"
              << "null"
              << "-";
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start("ffmpeg", arguments);
    ffmpeg.waitForFinished(-1);
    const QString output = QString::fromUtf8(ffmpeg.readAll());
    const QString summary = output.mid(output.lastIndexOf(u"Summary:"));
    static const QRegularExpression integrated(QStringLiteral("I:\\s+(-?[0-9.]+) LUFS"));
    static const QRegularExpression peak(QStringLiteral("Peak:\\s+(-?[0-9.]+|-inf) dBFS"));
    return {integrated.match(summary).captured(1).toDouble(),
            peak.match(summary).captured(1).toDouble()};
}

} // namespace tolvex::testing
