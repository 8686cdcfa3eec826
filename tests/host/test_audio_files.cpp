#include "host/HostError.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "tests/host/AudioTestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

QJsonObject probeStream(const QString& path)
{
    const QByteArray json =
        runTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "a:0",
                                            "-show_streams", "-show_format", "-of", "json", path});
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    QJsonObject stream = root.value("streams").toArray().at(0).toObject();
    stream.insert("format_name", root.value("format").toObject().value("format_name"));
    return stream;
}

/// The quantisation step of a PCM format, or 0 for float and AAC.
double quantisationStep(ExportFormat format)
{
    switch (format) {
    case ExportFormat::wav16:
        return 1.0 / 32768;
    case ExportFormat::wav24:
    case ExportFormat::aiff24:
        return 1.0 / 8388608;
    default:
        return 0;
    }
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = char(seed >> 24);
    }
    return bytes;
}

/// The frequency of channel c in files made by makeWithFfmpeg.
double toolFrequency(int c)
{
    return 440.0 * (1 + 0.5 * c);
}

/// A file of 1.3 s made by the ffmpeg tool: on channel c a sine of
/// toolFrequency(c) at 1/8 of full scale.
QString makeWithFfmpeg(const QDir& dir, const QString& name, const QStringList& codecArguments,
                       int channels = 2, int rate = 44100)
{
    QStringList expressions;
    for (int c = 0; c < channels; ++c)
        expressions << QStringLiteral("0.125*sin(2*PI*%1*t)").arg(toolFrequency(c));
    const QString path = dir.filePath(name);
    QStringList arguments{"-v",
                          "error",
                          "-y",
                          "-f",
                          "lavfi",
                          "-i",
                          "aevalsrc=" + expressions.join(u'|') +
                              QStringLiteral(":s=%1:d=1.3").arg(rate)};
    arguments << codecArguments << path;
    runTool(QStringLiteral("ffmpeg"), arguments);
    return path;
}

std::vector<float> toolSine(int c, int rate)
{
    std::vector<float> samples(static_cast<size_t>(rate * 13 / 10));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.125 * std::sin(2 * M_PI * toolFrequency(c) * double(i) / rate));
    return samples;
}

} // namespace

class TestAudioFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Lv2AudioHost m_host; // its files are the real ones under test

private Q_SLOTS:
    void roundTripPerFormat_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("container");
        const struct {
            ExportFormat format;
            const char* codec;
            const char* container;
        } formats[] = {
            {ExportFormat::wav16, "pcm_s16le", "wav"},
            {ExportFormat::wav24, "pcm_s24le", "wav"},
            {ExportFormat::wav32f, "pcm_f32le", "wav"},
            {ExportFormat::aiff24, "pcm_s24be", "aiff"},
            {ExportFormat::m4a, "aac", "mov,mp4,m4a,3gp,3g2,mj2"},
        };
        for (const auto& f : formats)
            for (int channels : {1, 2, 6})
                for (double rate : {44100.0, 96000.0})
                    QTest::addRow("%s %dch %g", qPrintable(model::rawValue(f.format)), channels,
                                  rate)
                        << f.format << channels << rate << QString::fromLatin1(f.codec)
                        << QString::fromLatin1(f.container);
    }
    void roundTripPerFormat()
    {
        QFETCH(ExportFormat, format);
        QFETCH(int, channels);
        QFETCH(double, rate);
        QFETCH(QString, codec);
        QFETCH(QString, container);

        const QString path = m_dir.filePath(QStringLiteral("%1-%2-%3.%4")
                                                .arg(model::rawValue(format))
                                                .arg(channels)
                                                .arg(rate)
                                                .arg(model::fileExtension(format)));
        const qint64 frames = qint64(rate * 0.7) + 37; // not a whole number of blocks
        const Signal source = sineSignal(rate, channels, frames);
        writeSignal(*createAudioFile(path, model::writerSettings(format, channels, rate)), source,
                    3000);

        const QJsonObject stream = probeStream(path);
        QCOMPARE(stream.value("codec_name").toString(), codec);
        QCOMPARE(stream.value("format_name").toString(), container);
        QCOMPARE(stream.value("channels").toInt(), channels);
        QCOMPARE(stream.value("sample_rate").toString().toDouble(), rate);
        if (channels == 6) // WAVE names the rear pair "back", AIFF "surround"
            QVERIFY(stream.value("channel_layout").toString().startsWith(QStringLiteral("5.1")));
        if (format == ExportFormat::m4a)
            QCOMPARE(stream.value("profile").toString(), QStringLiteral("LC"));

        const auto reader = openAudioFile(path);
        QCOMPARE(reader->processingFormat().channelCount(), channels);
        QCOMPARE(reader->processingFormat().sampleRate(), rate);
        QCOMPARE(reader->length(), frames);
        const Signal decoded = readToEnd(*reader);
        QCOMPARE(decoded.frames(), frames);
        for (int c = 0; c < channels; ++c) {
            const auto& in = source.channels[size_t(c)];
            const auto& out = decoded.channels[size_t(c)];
            if (format == ExportFormat::m4a) {
                // AAC at 128 kBit/s per channel keeps a sine well above 30 dB
                // and in place: a delay of even one frame would ruin this.
                const double snr = snrDb(in, out, 2048, frames - 2048);
                QVERIFY2(snr > 30, qPrintable(QStringLiteral("SNR %1 dB").arg(snr)));
            } else {
                QVERIFY(maxDifference(in, out) <= quantisationStep(format));
            }
        }
    }

    void integerFormatsClipInsteadOfWrapping_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::newRow("wav16") << ExportFormat::wav16;
        QTest::newRow("wav24") << ExportFormat::wav24;
        QTest::newRow("aiff24") << ExportFormat::aiff24;
    }
    void integerFormatsClipInsteadOfWrapping()
    {
        QFETCH(ExportFormat, format);
        const QString path =
            m_dir.filePath("clip-" + model::rawValue(format) + '.' + model::fileExtension(format));
        Signal loud;
        loud.sampleRate = 48000;
        loud.channels = {{1.5f, -1.5f, 1.0f, -1.0f, 100.0f, -100.0f, 0.25f}};
        writeSignal(*createAudioFile(path, model::writerSettings(format, 1, 48000)), loud);
        const Signal back = readToEnd(*openAudioFile(path));
        const std::vector<float> expected{1, -1, 1, -1, 1, -1, 0.25f};
        QVERIFY(maxDifference(back.channels[0], expected) <= 2 * quantisationStep(format));
    }

    void readsWhatOtherToolsWrite_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("tolerance"); // of the samples against a fresh sine
        QTest::addColumn<qint64>("lengthSlack");
        QTest::addColumn<int>("rate");
        const auto row = [](const char* name, QStringList codec, const char* extension,
                            int channels, double tolerance, qint64 slack = 0, int rate = 44100) {
            QTest::newRow(name) << codec << QString::fromLatin1(extension) << channels << tolerance
                                << slack << rate;
        };
        row("wav u8", {"-c:a", "pcm_u8"}, "wav", 1, 1.0 / 128);
        row("wav s16", {"-c:a", "pcm_s16le"}, "wav", 2, 1.0 / 32768);
        row("wav s24", {"-c:a", "pcm_s24le"}, "wav", 2, 1e-6);
        row("wav s32", {"-c:a", "pcm_s32le"}, "wav", 2, 1e-6);
        row("wav float", {"-c:a", "pcm_f32le"}, "wav", 2, 1e-6);
        row("wav double", {"-c:a", "pcm_f64le"}, "wav", 2, 1e-6);
        row("wav extensible 4ch", {"-c:a", "pcm_s24le"}, "wav", 4, 1e-6);
        row("aiff", {"-c:a", "pcm_s16be"}, "aiff", 2, 1.0 / 32768);
        row("aiff-c", {"-c:a", "pcm_s16le", "-f", "aiff"}, "aifc", 2, 1.0 / 32768);
        row("flac", {"-c:a", "flac"}, "flac", 2, 1.0 / 32768);
        row("ogg vorbis", {"-c:a", "libvorbis"}, "ogg", 2, -1);
        row("mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}, "mp3", 2, -1);
        // ffmpeg's own M4A files round their edit list to milliseconds.
        row("m4a", {"-c:a", "aac", "-b:a", "256k"}, "m4a", 2, -1, 45);
        row("opus", {"-c:a", "libopus"}, "opus", 2, -1, 0, 48000);
        row("alac (FFmpeg only)", {"-c:a", "alac"}, "m4a", 2, 1.0 / 32768);
        row("wavpack (FFmpeg only)", {"-c:a", "wavpack"}, "wv", 2, 1.0 / 32768);
        row("matroska pcm (FFmpeg only)", {"-c:a", "pcm_s16le"}, "mka", 2, 1.0 / 32768);
    }
    void readsWhatOtherToolsWrite()
    {
        QFETCH(QStringList, codec);
        QFETCH(QString, extension);
        QFETCH(int, channels);
        QFETCH(double, tolerance);
        QFETCH(qint64, lengthSlack);
        QFETCH(int, rate);
        const QString path = makeWithFfmpeg(
            QDir(m_dir.path()), QTest::currentDataTag() + ('.' + extension), codec, channels, rate);
        const qint64 frames = rate * 13 / 10;
        const auto reader = openAudioFile(path);
        QCOMPARE(reader->processingFormat().sampleRate(), double(rate));
        QCOMPARE(reader->processingFormat().channelCount(), channels);
        QVERIFY2(std::abs(reader->length() - frames) <= lengthSlack,
                 qPrintable(QString::number(reader->length())));

        const Signal all = readToEnd(*reader);
        QCOMPARE(all.frames(), reader->length());
        for (int c = 0; c < channels; ++c) {
            const std::vector<float> expected = toolSine(c, rate);
            if (tolerance >= 0)
                QVERIFY(maxDifference(all.channels[size_t(c)], expected) <= tolerance);
            else
                QVERIFY(snrDb(expected, all.channels[size_t(c)], 4096, frames - 4096) > 20);
        }

        // Seeking lands on the very frame a sequential read delivers there.
        // Lossy decoders may differ a little after a seek (AAC's noise
        // substitution draws from a generator that does not rewind); a
        // frame off would differ by far more.
        const double seekTolerance = tolerance >= 0 ? 0 : 2e-3;
        for (qint64 at : {qint64(0), qint64(1), qint64(1000), frames / 2, qint64(12345), qint64(3),
                          all.frames() - 100}) {
            reader->setFramePosition(at);
            QCOMPARE(reader->framePosition(), at);
            auto buffer = AudioBuffer::make(reader->processingFormat(), 2048);
            reader->read(*buffer, 2048);
            QCOMPARE(buffer->frameLength(), std::min<qint64>(2048, all.frames() - at));
            QCOMPARE(reader->framePosition(), at + buffer->frameLength());
            for (int c = 0; c < channels; ++c) {
                const std::vector<float> got(buffer->channel(c),
                                             buffer->channel(c) + buffer->frameLength());
                const std::vector<float> want(all.channels[size_t(c)].begin() + at,
                                              all.channels[size_t(c)].begin() + at +
                                                  buffer->frameLength());
                QVERIFY2(maxDifference(got, want) <= seekTolerance,
                         qPrintable(QStringLiteral("at %1").arg(at)));
            }
        }
        reader->setFramePosition(all.frames() + 500);
        QCOMPARE(reader->framePosition(), all.frames());
        auto buffer = AudioBuffer::make(reader->processingFormat(), 16);
        reader->read(*buffer, 16);
        QCOMPARE(buffer->frameLength(), 0);
    }

    void seekingOurOwnM4a()
    {
        const QString path = m_dir.filePath("seek.m4a");
        const Signal source = sineSignal(48000, 2, 200000);
        writeSignal(*createAudioFile(path, model::writerSettings(ExportFormat::m4a, 2, 48000)),
                    source);
        const auto reader = openAudioFile(path);
        const Signal all = readToEnd(*reader);
        QCOMPARE(all.frames(), 200000);
        for (qint64 at : {qint64(150000), qint64(7), qint64(99999), qint64(1024), qint64(0)}) {
            reader->setFramePosition(at);
            auto buffer = AudioBuffer::make(reader->processingFormat(), 4096);
            reader->read(*buffer, 4096);
            const std::vector<float> got(buffer->channel(1),
                                         buffer->channel(1) + buffer->frameLength());
            const std::vector<float> want(all.channels[1].begin() + at,
                                          all.channels[1].begin() + at + buffer->frameLength());
            QVERIFY2(maxDifference(got, want) <= 2e-3, qPrintable(QString::number(at)));
        }
    }

    void readsAnAudioItem()
    {
        const QString path = m_dir.filePath("item.wav");
        writeSignal(*createAudioFile(path, model::writerSettings(ExportFormat::wav16, 6, 96000)),
                    sineSignal(96000, 6, 48000));
        const auto item = host::readAudioItem(m_host, QUrl::fromLocalFile(path));
        QVERIFY(item);
        QCOMPARE(item->sampleRate, 96000.0);
        QCOMPARE(item->channels, 6);
        QCOMPARE(item->duration, 0.5);
        QVERIFY(item->status.isWaiting());
        QVERIFY(!host::readAudioItem(m_host, QUrl::fromLocalFile(m_dir.filePath("missing.wav"))));
    }

    void brokenFilesFailWithAMessage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QByteArray wav;
        {
            const QString path = m_dir.filePath("good.wav");
            writeSignal(
                *createAudioFile(path, model::writerSettings(ExportFormat::wav16, 2, 44100)),
                sineSignal(44100, 2, 4410));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            wav = file.readAll();
        }
        QByteArray zeroRate = wav;
        zeroRate.replace(24, 4, QByteArray(4, '\0'));
        QByteArray hugeRate = wav;
        hugeRate.replace(24, 4, QByteArray("\xff\xff\xff\x7f", 4));
        QByteArray noChannels = wav;
        noChannels.replace(22, 2, QByteArray(2, '\0'));

        QTest::newRow("empty") << "empty.wav" << QByteArray();
        QTest::newRow("truncated header") << "truncated.wav" << wav.left(30);
        QTest::newRow("rate 0") << "rate0.wav" << zeroRate;
        QTest::newRow("absurd rate") << "hugerate.wav" << hugeRate;
        QTest::newRow("no channels") << "nochannels.wav" << noChannels;
        QTest::newRow("random .wav") << "random.wav" << randomBytes(4096, 1);
        QTest::newRow("random .mp3") << "random.mp3" << randomBytes(8192, 2);
        QTest::newRow("random .m4a") << "random.m4a" << randomBytes(8192, 3);
        QTest::newRow("text as .mp3")
            << "text.mp3"
            << QByteArray("Das ist keine Musik, sondern eine Einkaufsliste.\n").repeated(40);
        QTest::newRow("riff without fmt")
            << "nofmt.wav"
            << QByteArray("RIFF\x24\x00\x00\x00WAVEdata\x00\x10\x00\x00", 20) + randomBytes(64, 4);
    }
    void brokenFilesFailWithAMessage()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(name);
        writeBytes(path, bytes);
        try {
            openAudioFile(path);
            QFAIL("opened");
        } catch (const HostError& error) {
            QVERIFY2(error.description().startsWith(u'„' + name + u'“'),
                     qPrintable(error.description()));
        }
        QVERIFY(!host::readAudioItem(m_host, QUrl::fromLocalFile(path)));
    }

    void aHeaderOverstatingItsDataOpensWithWhatIsThere()
    {
        const QString path = m_dir.filePath("overstated.wav");
        writeSignal(*createAudioFile(path, model::writerSettings(ExportFormat::wav16, 1, 8000)),
                    sineSignal(8000, 1, 1000));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 dataSize = file.readAll().indexOf("data") + 4;
        file.seek(dataSize);
        file.write(QByteArray("\x00\x00\x10\x00", 4)); // claims 1 MiB of samples
        file.close();
        const auto reader = openAudioFile(path);
        QCOMPARE(reader->length(), 1000);
        QCOMPARE(readToEnd(*reader).frames(), 1000);
    }

    void unusableFilesFailWithAMessage()
    {
        const QDir dir(m_dir.path());
        const QString video = dir.filePath("video.mp4");
        runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc=size=64x64:rate=5:duration=0.4", "-c:v", "mpeg4", video});
        const QStringList paths{dir.filePath("missing.wav"), dir.path(), video};
        const QStringList reasons{QStringLiteral("gibt es nicht"), QStringLiteral("Ordner"),
                                  QStringLiteral("keinen Ton")};
        for (int i = 0; i < paths.size(); ++i) {
            try {
                openAudioFile(paths[i]);
                QFAIL(qPrintable(paths[i]));
            } catch (const HostError& error) {
                QVERIFY2(error.description().contains(reasons[i]), qPrintable(error.description()));
            }
        }
    }

    void damagedStreamsFailWhileReading_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<QString>("extension");
        QTest::newRow("flac") << QStringList{"-c:a", "flac"} << "flac";
        QTest::newRow("m4a") << QStringList{"-c:a", "aac", "-movflags", "+faststart"} << "m4a";
    }
    void damagedStreamsFailWhileReading()
    {
        QFETCH(QStringList, codec);
        QFETCH(QString, extension);
        const QString path =
            makeWithFfmpeg(QDir(m_dir.path()),
                           QStringLiteral("damaged-") + QTest::currentDataTag() + u'.' + extension,
                           codec + QStringList{"-t", "1.3"});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        file.seek(size / 2);
        file.write(randomBytes(int(size / 6), 7));
        file.close();

        const auto reader = openAudioFile(path);
        QVERIFY_THROWS_EXCEPTION(HostError, readToEnd(*reader));
    }

    void writersNeverReplaceAFile()
    {
        for (ExportFormat format : model::allExportFormats) {
            const QString path = m_dir.filePath("taken." + model::fileExtension(format));
            writeBytes(path, "precious");
            try {
                createAudioFile(path, model::writerSettings(format, 2, 44100));
                QFAIL("created over an existing file");
            } catch (const HostError& error) {
                QVERIFY2(error.description().contains(QStringLiteral("gibt es schon")),
                         qPrintable(error.description()));
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("precious"));
        }
    }

    void writerFailuresAreReported()
    {
        const auto settings = model::writerSettings(ExportFormat::wav24, 2, 44100);
        QVERIFY_THROWS_EXCEPTION(HostError,
                                 createAudioFile(m_dir.filePath("no/such/folder/x.wav"), settings));
        QVERIFY_THROWS_EXCEPTION(HostError, createAudioFile(m_dir.filePath("x.mp3"), settings));
        QVERIFY_THROWS_EXCEPTION(HostError,
                                 createAudioFile(m_dir.filePath("x.m4a"), settings)); // PCM in M4A
        QVERIFY(!QFile::exists(m_dir.filePath("x.m4a")));
    }

    void fullDiskIsReported_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::newRow("wav") << ExportFormat::wav24;
        QTest::newRow("m4a") << ExportFormat::m4a;
    }
    void fullDiskIsReported()
    {
        QFETCH(ExportFormat, format);
        const QString mountPoint = m_dir.filePath("small-" + model::rawValue(format));
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=96k") !=
            0)
            QSKIP("mounting a small file system needs root");
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });

        const QString path = mountPoint + "/full." + model::fileExtension(format);
        try {
            auto writer = createAudioFile(path, model::writerSettings(format, 2, 48000));
            writeSignal(*writer, sineSignal(48000, 2, 48000 * 10));
            QFAIL("wrote 10 s into 96 KiB");
        } catch (const HostError& error) {
            QVERIFY2(error.description().contains(QStringLiteral("voll")),
                     qPrintable(error.description()));
        }
    }
};

QTEST_GUILESS_MAIN(TestAudioFiles)
#include "test_audio_files.moc"
