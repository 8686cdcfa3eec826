#include "host/HostError.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

/// A file to make and read back: by our writer in `format` when `codec` is
/// empty, else by the ffmpeg tool with these arguments from a float WAV.
struct FileCase {
    ExportFormat format = ExportFormat::wav32f;
    QStringList codec;
    QString extension;
    int channels = 2;
    double rate = 44100;
    double tolerance = 0;   // of the samples; < 0: lossy, compared by SNR
    qint64 lengthSlack = 0; // frames the length may be off
    QString probed;         // what ffprobe sees in our file
    double seconds = 0.7;
};

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char((seed = seed * 1664525u + 1013904223u) >> 24);
    return bytes;
}

/// Writes the signal as a float WAV and has the ffmpeg tool convert it.
QString makeWithFfmpeg(const QString& path, const QStringList& codec, const Signal& signal)
{
    const int channels = int(signal.channels.size());
    writeSignal(*createAudioFile(path + ".wav", model::writerSettings(ExportFormat::wav32f,
                                                                      channels, signal.sampleRate)),
                signal);
    runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", path + ".wav"} + codec << path);
    return path;
}

/// Seeks about a file and reads a block at each place: the frames must be
/// those a sequential read gave there (all). Lossy decoders may differ a
/// little after a seek (AAC's noise substitution); a frame off would differ
/// by far more.
void checkSeeking(AudioFileReader& reader, const Signal& all, double tolerance)
{
    auto block = AudioBuffer::make(reader.processingFormat(), 2048);
    for (qint64 at : {qint64(0), all.frames() - 100, qint64(1), all.frames() / 2, qint64(12345)}) {
        reader.setFramePosition(at);
        reader.read(*block, 2048);
        const qint64 length = block->frameLength();
        QCOMPARE(length, std::min<qint64>(2048, all.frames() - at));
        QCOMPARE(reader.framePosition(), at + length);
        for (size_t c = 0; c < all.channels.size(); ++c)
            QVERIFY2(maxDifference({block->channel(int(c)), block->channel(int(c)) + length},
                                   {all.channels[c].begin() + at, all.channels[c].end()}) <=
                         tolerance,
                     qPrintable(QString::number(at)));
    }
    reader.setFramePosition(all.frames() + 500);
    QCOMPARE(reader.framePosition(), all.frames());
}

} // namespace

Q_DECLARE_METATYPE(FileCase)
Q_DECLARE_METATYPE(AudioTags)

class TestAudioFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Lv2AudioHost m_host; // its files are the real ones under test
    QStringList m_mounts;
    AudioTags m_tags; // what tagsRoundTrip writes

private Q_SLOTS:
    void cleanup()
    {
        for (const QString& folder : std::exchange(m_mounts, {}))
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    }

    void roundTrip_data()
    {
        QTest::addColumn<FileCase>("file");
        const struct {
            ExportFormat format;
            const char* probed; // %3 the layout
            double step;        // < 0: lossy
        } ours[] = {{ExportFormat::wav16, "pcm_s16le %1 %2 %3 wav", 1.0 / 32768},
                    {ExportFormat::wav24, "pcm_s24le %1 %2 %3 wav", 1.0 / 8388608},
                    {ExportFormat::wav32f, "pcm_f32le %1 %2 %3 wav", 0},
                    {ExportFormat::aiff24, "pcm_s24be %1 %2 %3 aiff", 1.0 / 8388608},
                    {ExportFormat::m4a, "aac %1 %2 %3 mov,mp4,m4a,3gp,3g2,mj2", -1}};
        for (const auto& [format, probed, step] : ours)
            for (int channels : {1, 2, 6})
                for (double rate : {44100.0, 96000.0}) {
                    const QString id =
                        QString(probed).arg(rate).arg(channels).arg(channels == 6 ? "5.1*" : "*");
                    QTest::addRow("%s %dch %g", qPrintable(model::rawValue(format)), channels, rate)
                        << FileCase{format, {}, fileExtension(format), channels, rate, step, 0, id};
                }
        // Files are read ahead a mebibyte at a time: reads and seeks across
        // several of those pieces.
        QTest::newRow("wav24 6ch 96000, 10 MB")
            << FileCase{ExportFormat::wav24,          {}, "wav", 6, 96000, 1.0 / 8388608, 0,
                        "pcm_s24le 96000 6 5.1* wav", 6};
        const auto tool = [](const char* name, QStringList codec, const char* ext, double tol,
                             int channels = 2, double rate = 44100, qint64 slack = 0) {
            QTest::newRow(name) << FileCase{{}, codec, ext, channels, rate, tol, slack, {}};
        };
        tool("tool wav u8", {"-c:a", "pcm_u8"}, "wav", 1.0 / 128, 1);
        tool("tool wav extensible 4ch", {"-c:a", "pcm_s24le"}, "wav", 1.0 / 8388608, 4);
        tool("tool flac", {"-c:a", "flac"}, "flac", 1.0 / 32768);
        tool("tool ogg vorbis", {"-c:a", "libvorbis"}, "ogg", -1);
        tool("tool mp3, gapless", {"-c:a", "libmp3lame", "-b:a", "192k"}, "mp3", -1);
        tool("tool mp3 mono 22 kHz", {"-c:a", "libmp3lame", "-b:a", "64k"}, "mp3", -1, 1, 22050);
        // ffmpeg's own M4A files round their edit list to milliseconds.
        tool("tool m4a", {"-c:a", "aac", "-b:a", "256k"}, "m4a", -1, 2, 44100, 45);
        tool("tool opus", {"-c:a", "libopus"}, "opus", -1, 2, 48000);
        tool("tool alac", {"-c:a", "alac"}, "m4a", 1.0 / 32768);
        tool("tool wavpack", {"-c:a", "wavpack"}, "wv", 1.0 / 32768);
    }
    void roundTrip()
    {
        QFETCH(FileCase, file);
        const QString path = m_dir.filePath(QTest::currentDataTag() + ('.' + file.extension));
        const qint64 frames = qint64(file.rate * file.seconds) + 37; // not a whole number of blocks
        Signal source = sineSignal(file.rate, file.channels, frames);
        std::vector<float> expected = source.channels[0];
        if (file.codec.isEmpty()) {
            for (size_t i = 0; i < 4 && file.tolerance >= 0; ++i) { // integers clip, not wrap
                source.channels[0][i] = i % 2 ? -100.0f : 1.5f;
                expected[i] = file.tolerance > 0 ? std::clamp(source.channels[0][i], -1.0f, 1.0f)
                                                 : source.channels[0][i];
            }
            const auto settings = model::writerSettings(file.format, file.channels, file.rate);
            writeSignal(*createAudioFile(path, settings), source, 3000);
            const QString probed =
                runTool("ffprobe", {"-v", "error", "-show_entries",
                                    "stream=codec_name,sample_rate,channels,channel_layout:"
                                    "format=format_name",
                                    "-of", "default=nw=1:nk=1", path})
                    .simplified();
            QVERIFY2(QRegularExpression::fromWildcard(file.probed).match(probed).hasMatch(),
                     qPrintable(probed));
            const auto item = readAudioItem(m_host, QUrl::fromLocalFile(path));
            QVERIFY(item && item->sampleRate == file.rate && item->channels == file.channels);
            QCOMPARE(item->duration, double(frames) / file.rate);
        } else {
            makeWithFfmpeg(path, file.codec, source);
        }
        const auto reader = openAudioFile(path);
        QVERIFY2(std::abs(reader->length() - frames) <= file.lengthSlack,
                 qPrintable(QString::number(reader->length())));
        const Signal decoded = readToEnd(*reader);
        QCOMPARE(decoded.frames(), reader->length());
        for (int c = 0; c < file.channels; ++c) {
            const auto& in = c == 0 ? expected : source.channels[size_t(c)];
            const auto& out = decoded.channels[size_t(c)];
            if (file.tolerance < 0) // a delay of one frame would ruin this
                QVERIFY(snrDb(in, out, 2048, frames - 2048) > 25);
            else
                QVERIFY(maxDifference(in, out) <= 2 * file.tolerance);
        }
        checkSeeking(*reader, decoded, file.tolerance < 0 ? 2e-3 : 0);
    }

    void unusableFilesFailWithAMessage_data()
    {
        QTest::addColumn<QString>("name"); // null bytes: not there; "/": a folder
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const Signal sine = sineSignal(44100, 2, 4410);
        const QByteArray wav = readBytes(makeWithFfmpeg(m_dir.filePath("good.wav"), {}, sine));
        const QByteArray aiff = readBytes(makeWithFfmpeg(m_dir.filePath("good.aiff"), {}, sine));
        const auto patched = [](QByteArray bytes, qsizetype at, QByteArray with) {
            return bytes.replace(at, with.size(), with);
        };
        const QString rate = QStringLiteral("Abtastrate");
        QTest::newRow("missing") << "missing.wav" << QByteArray() << "gibt es nicht";
        QTest::newRow("folder") << "folder.wav" << QByteArray("/") << "Ordner";
        QTest::newRow("empty") << "empty.wav" << QByteArray("") << "leer";
        QTest::newRow("wav rate 0") << "rate0.wav" << patched(wav, 24, QByteArray(4, 0)) << "";
        QTest::newRow("wav rate 500")
            << "rate500.wav" << patched(wav, 24, QByteArray("\xf4\x01\0\0", 4)) << rate;
        QTest::newRow("absurd rate") << "huge.wav" << patched(wav, 24, "\xff\xff\xff\x7f") << rate;
        QTest::newRow("aiff rate 0")
            << "rate0.aiff" << patched(aiff, aiff.indexOf("COMM") + 16, QByteArray(10, 0)) << rate;
        QTest::newRow("random .mp3") << "random.mp3" << randomBytes(8192, 2) << "";
        const QString video = m_dir.filePath("video.mp4");
        runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc=size=64x64:rate=5:duration=0.4", "-c:v", "mpeg4", video});
        QTest::newRow("video") << "video.mp4" << readBytes(video) << "keinen Ton";
    }
    void unusableFilesFailWithAMessage()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(name);
        if (bytes == "/")
            QDir().mkpath(path);
        else if (!bytes.isNull())
            writeBytes(path, bytes);
        try {
            openAudioFile(path);
            QFAIL("opened");
        } catch (const HostError& error) {
            QVERIFY2(error.message().startsWith(u'„' + name + u'“') &&
                         error.message().contains(reason),
                     qPrintable(error.message()));
        }
        QVERIFY(!readAudioItem(m_host, QUrl::fromLocalFile(path)));
    }

    void damagedFilesDeliverWhatDecodes_data()
    {
        QTest::addColumn<QString>("name"); // cut: truncated; mid: random bytes from the middle
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<double>("delivered"); // at least this part of the intact file's frames
        const QStringList flac{"-c:a", "flac"}, mp3{"-c:a", "libmp3lame"};
        QTest::newRow("truncated flac") << "cut.flac" << flac << 0.5;
        QTest::newRow("truncated mp3") << "cut.mp3" << mp3 << 0.5;
        QTest::newRow("flac, damage in the middle") << "mid.flac" << flac << 0.4;
        QTest::newRow("mp3, damage in the middle") << "mid.mp3" << mp3 << 0.8;
        QTest::newRow("m4a, damage in the middle")
            << "mid.m4a" << QStringList{"-c:a", "aac", "-movflags", "+faststart"} << 0.99;
        QTest::newRow("wav whose header overstates its data") << "big.wav" << QStringList() << 1.0;
    }
    void damagedFilesDeliverWhatDecodes()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codec);
        QFETCH(double, delivered);
        const QString intactPath = m_dir.filePath("intact-" + name);
        const Signal intact = readToEnd(
            *openAudioFile(makeWithFfmpeg(intactPath, codec, sineSignal(44100, 2, 57330))));
        QByteArray bytes = readBytes(intactPath);
        if (name.startsWith("cut"))
            bytes.truncate(bytes.size() * 6 / 10);
        else if (name.startsWith("mid"))
            bytes.replace(bytes.size() / 2, bytes.size() / 6,
                          randomBytes(int(bytes.size() / 6), 7));
        else // the data chunk claims 1 MiB
            bytes.replace(bytes.indexOf("data") + 4, 4, QByteArray("\0\0\x10\0", 4));
        writeBytes(m_dir.filePath(name), bytes);

        const auto reader = openAudioFile(m_dir.filePath(name));
        const qint64 announced = reader->length();
        const Signal got = readToEnd(*reader);
        QCOMPARE(reader->length(), got.frames());
        QVERIFY2(got.frames() >= delivered * double(intact.frames()) &&
                     announced <= intact.frames(),
                 qPrintable(QStringLiteral("%1 of %2").arg(got.frames()).arg(announced)));
        // What lies before the damage comes out as from the intact file.
        QCOMPARE(maxDifference(got.channels[1], intact.channels[1], 0, intact.frames() * 4 / 10),
                 0.0);
    }

    void aTimestampJumpIsNotFilledWithSilence()
    {
        // An AAC stream whose timestamps leap by hours: once filled with
        // gigabytes of silence on the first read.
        const auto reader = openAudioFile(QStringLiteral(TOLVEX_FUZZ_SEEDS "/timestamp-jump.m4a"));
        const Signal got = readToEnd(*reader);
        QVERIFY2(got.frames() < 30 * 44100, qPrintable(QString::number(got.frames())));
    }

    // What a writer puts in, the reader gives back, as far as the container
    // holds it; older tools' Latin-1 texts read as such.
    void tagsRoundTrip_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<AudioTags>("expected");
        QTest::addColumn<bool>("latin1"); // the title's bytes patched to Latin-1
        const QString png = m_dir.filePath("cover.png");
        runTool("ffmpeg",
                {"-v", "error", "-f", "lavfi", "-i", "color=s=8x8", "-frames:v", "1", png});
        const AudioTags all =
            m_tags = {"Grüße", "Bärbel Größ", "Lieder für später", "3/12",
                      "2021",  "Schlager",    "Ölig & süß",        readBytes(png)};
        AudioTags noCover = all;
        noCover.cover.clear();
        QTest::newRow("wav") << ExportFormat::wav24 << noCover << false;
        QTest::newRow("wav, Latin-1") << ExportFormat::wav16 << noCover << true;
        QTest::newRow("aiff") << ExportFormat::aiff24
                              << AudioTags{all.title, all.artist, {}, {}, {}, {}, all.comment, {}}
                              << false;
        QTest::newRow("m4a") << ExportFormat::m4a << all << false;
    }
    void tagsRoundTrip()
    {
        QFETCH(ExportFormat, format);
        QFETCH(AudioTags, expected);
        QFETCH(bool, latin1);
        const QString path =
            m_dir.filePath(QTest::currentDataTag() + ('.' + fileExtension(format)));
        writeSignal(*createAudioFile(path, model::writerSettings(format, 2, 44100), m_tags),
                    sineSignal(44100, 2, 5000));
        if (latin1) { // the same length: the text ends in spaces, which are trimmed
            const QByteArray utf8 = QStringLiteral("Grüße").toUtf8();
            QVERIFY(readBytes(path).contains(utf8));
            writeBytes(path, readBytes(path).replace(utf8, QByteArray("Gr\xfc\xdf"
                                                                      "e  ")));
        }
        QCOMPARE(openAudioFile(path)->tags(), expected);
    }

    void writersLeaveNoFileBehind_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("target");  // in a folder of its own; %1 the format's extension
        QTest::addColumn<QString>("message"); // part of the error; empty: none
        const auto row = [](const char* name, ExportFormat format, const char* target,
                            const char* message) {
            QTest::addRow("%s %s", name, qPrintable(model::rawValue(format)))
                << format << QString(target).arg(model::fileExtension(format)) << QString(message);
        };
        for (ExportFormat format : {ExportFormat::aiff24, ExportFormat::m4a})
            row("taken", format, "taken.%1", "gibt es schon");
        row("no folder", ExportFormat::wav24, "no/such/x.%1", "Ordner");
        row("mp3", ExportFormat::wav24, "x.mp3", "Endung");
        row("pcm in m4a", ExportFormat::wav24, "x.m4a", "Format");
        for (ExportFormat format : {ExportFormat::wav24, ExportFormat::m4a}) {
            row("full disk", format, "full/x.%1", "voll");
            row("filling the disk", format, "small/x.%1", "voll");
            row("released unfinished", format, "unfinished.%1", "");
        }
    }
    void writersLeaveNoFileBehind()
    {
        QFETCH(ExportFormat, format);
        QFETCH(QString, target);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QTest::currentDataTag() + ('/' + target));
        const QString folder = QFileInfo(path).path();
        QDir().mkpath(target.startsWith("no/") ? m_dir.filePath(QTest::currentDataTag()) : folder);
        if (target.startsWith("full/") || target.startsWith("small/")) {
            if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=96k"))
                QSKIP("mounting a small file system needs root");
            m_mounts << folder;
        }
        if (target.startsWith("full/"))
            writeBytes(folder + "/filler", QByteArray(96 * 1024, 'x'));
        const bool taken = target.startsWith("taken");
        if (taken)
            writeBytes(path, "precious");
        QString error;
        try {
            auto writer = createAudioFile(path, model::writerSettings(format, 2, 48000));
            if (!message.isEmpty())
                writeSignal(*writer, sineSignal(48000, 2, 48000 * 10));
        } catch (const HostError& failure) {
            error = failure.message();
        }
        QVERIFY2(message.isEmpty() ? error.isEmpty() : error.contains(message), qPrintable(error));
        QCOMPARE(readBytes(path), QByteArray(taken ? "precious" : ""));
        QCOMPARE(QFile::exists(path), taken);
    }

    /// Render threads open and write files side by side; files libsndfile
    /// cannot read go on to FFmpeg. Run under the thread sanitizer, which
    /// sees what the threads share.
    void filesOpenFromSeveralThreadsAtOnce()
    {
        const Signal signal = sineSignal(48000, 2, 4800);
        QStringList paths;
        for (ExportFormat format : {ExportFormat::m4a, ExportFormat::wav24}) {
            paths << m_dir.filePath("side by side." + fileExtension(format));
            writeSignal(*createAudioFile(paths.back(), model::writerSettings(format, 2, 48000)),
                        signal);
        }
        std::atomic<int> opened = 0, wrong = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 8; ++round) {
                    for (const QString& path : paths)
                        try {
                            const auto reader = openAudioFile(path);
                            ++(reader->processingFormat().channelCount() == 2 ? opened : wrong);
                        } catch (const HostError&) {
                            ++wrong;
                        }
                    const QString written = m_dir.filePath(QString("thread %1.wav").arg(t));
                    QFile::remove(written);
                    try {
                        writeSignal(*createAudioFile(written, model::writerSettings(
                                                                  ExportFormat::wav16, 2, 48000)),
                                    signal);
                    } catch (const HostError&) {
                        ++wrong;
                    }
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(opened.load(), 4 * 8 * 2);
    }
};

QTEST_GUILESS_MAIN(TestAudioFiles)
#include "test_audio_files.moc"
