// How the writers' files come to stand under their names: whole or not at
// all, never over anything, and never where nobody will find them.
#include "host/HostError.h"
#include "host/files/AudioFiles.h"
#include "host/files/OutputFile.h"
#include "host/files/PartFiles.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <array>
#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

/// Passes the writes on and leaves the finishing to the test.
class Unfinished : public AudioFileWriter {
public:
    explicit Unfinished(AudioFileWriter& writer) : m_writer(writer) {}
    void write(const AudioBuffer& buffer) override { m_writer.write(buffer); }
    void finish() override {}
    void placeAt(const QString&) override {}

private:
    AudioFileWriter& m_writer;
};

/// Everything in the folder, hidden entries included.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList partFiles(const QString& folder)
{
    return entries(folder).filter(QRegularExpression("^\\.tolvex-.*\\.part$"));
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

qint64 framesIn(const QString& path)
{
    return readToEnd(*openAudioFile(path)).frames();
}

/// A process number no process can have: above the system's largest.
qint64 deadProcess()
{
    QFile limit("/proc/sys/kernel/pid_max");
    return limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toLongLong() + 1 : 99999999;
}

/// The ids of a RIFF file's chunks, in order.
QStringList riffChunks(const QByteArray& bytes)
{
    QStringList ids;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        ids << QString::fromLatin1(bytes.mid(at, 4));
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        at += 8 + qsizetype(size) + (size & 1);
    }
    return ids;
}

} // namespace

class TestOutputFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_folders = 0;

    QString newFolder()
    {
        const QString folder = m_dir.filePath(QString::number(++m_folders));
        QDir().mkpath(folder);
        return folder;
    }

    static QString name(ExportFormat format) { return "x." + model::fileExtension(format); }

private Q_SLOTS:
    void aFileTakesItsNameWhenCompleteAndNeverAnother_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<bool>("taken"); // something takes the name while the file is written
        for (ExportFormat format : {ExportFormat::wav24, ExportFormat::m4a}) {
            QTest::addRow("%s", qPrintable(model::rawValue(format))) << format << false;
            QTest::addRow("%s, name taken", qPrintable(model::rawValue(format))) << format << true;
        }
    }
    void aFileTakesItsNameWhenCompleteAndNeverAnother()
    {
        QFETCH(ExportFormat, format);
        QFETCH(bool, taken);
        const QString folder = newFolder();
        const QString path = folder + '/' + name(format);
        const Signal signal = sineSignal(rate, 2, 30000);
        auto writer = createAudioFile(path, model::writerSettings(format, 2, rate));
        Unfinished unfinished(*writer);
        writeSignal(unfinished, signal);
        QCOMPARE(partFiles(folder).size(), 1); // hidden while it is written
        QCOMPARE(entries(folder), partFiles(folder));
        if (taken) {
            writeBytes(path, "theirs");
            QVERIFY_THROWS_EXCEPTION(NameTaken, writer->finish());
            QCOMPARE(partFiles(folder).size(), 1); // complete, waiting for a name
            writer->placeAt(folder + "/x 2." + model::fileExtension(format));
        } else {
            writer->finish();
        }
        writer.reset();
        const QString placed = folder + (taken ? "/x 2." : "/x.") + model::fileExtension(format);
        QCOMPARE(framesIn(placed), signal.frames());
        QCOMPARE(partFiles(folder), QStringList());
        if (taken)
            QCOMPARE(readBytes(path), QByteArray("theirs"));
    }

    // Handing stretches of the file to the disk while it is written (as
    // the writers do after their writes) leaves it whole: the file under
    // its name holds every byte written, in order, whatever the pieces.
    void aFileFlushedAheadHoldsWhatWasWritten_data()
    {
        QTest::addColumn<int>("pieceBytes");
        QTest::addColumn<int>("pieces");
        QTest::newRow("short of a stretch") << 4096 << 3;
        QTest::newRow("several stretches in large pieces") << (3 << 20) << 7;
        QTest::newRow("several stretches in odd pieces") << 999'983 << 23;
    }
    void aFileFlushedAheadHoldsWhatWasWritten()
    {
        QFETCH(int, pieceBytes);
        QFETCH(int, pieces);
        const QString path = newFolder() + "/flushed.bin";
        QByteArray written;
        {
            OutputFile file(path);
            file.flushAhead(); // nothing written yet
            for (int i = 0; i < pieces; ++i) {
                QByteArray piece(pieceBytes, char('a' + i % 26));
                piece[0] = char(i);
                QCOMPARE(::write(file.descriptor(), piece.constData(), size_t(piece.size())),
                         ssize_t(piece.size()));
                file.flushAhead();
                written += piece;
            }
            file.place(path);
        }
        QVERIFY(readBytes(path) == written);
    }

    // Writers in several threads, as in several processes, put their files
    // under one name at one moment, round after round: one takes the name,
    // each other is told it is taken, and the name holds the taker's bytes.
    void oneNameGoesToOneOfManyWriters()
    {
        constexpr int writers = 4;
        for (int round = 0; round < 100; ++round) {
            const QString path = newFolder() + "/x.wav";
            std::vector<std::unique_ptr<OutputFile>> files;
            for (int i = 0; i < writers; ++i) {
                files.push_back(std::make_unique<OutputFile>(path));
                const QByteArray bytes(4096, char('a' + i));
                QCOMPARE(::write(files.back()->descriptor(), bytes.constData(), 4096), 4096);
                QCOMPARE(::fsync(files.back()->descriptor()), 0); // flushed before the start
            }
            std::atomic<int> ready = 0;
            std::atomic<bool> go = false;
            std::array<std::atomic<int>, writers> outcome{}; // 1 placed, 2 told taken
            std::vector<std::thread> threads;
            for (int i = 0; i < writers; ++i)
                threads.emplace_back([&, i] {
                    ++ready;
                    while (!go)
                        std::this_thread::yield();
                    try {
                        files[size_t(i)]->place(path);
                        outcome[size_t(i)] = 1;
                    } catch (const NameTaken&) {
                        outcome[size_t(i)] = 2;
                    } catch (const HostError&) {
                    }
                });
            while (ready < writers)
                std::this_thread::yield();
            go = true;
            for (std::thread& thread : threads)
                thread.join();
            int placed = 0;
            for (int i = 0; i < writers; ++i) {
                QVERIFY2(outcome[size_t(i)] != 0, "neither placed nor told the name was taken");
                if (outcome[size_t(i)] == 1) {
                    ++placed;
                    QCOMPARE(readBytes(path), QByteArray(4096, char('a' + i)));
                }
            }
            QCOMPARE(placed, 1);
        }
    }

    // A part file goes once nothing holds it and its process has ended; two
    // processes may write into one folder at once.
    void leftoversOfDeadWritersAreRemoved_data()
    {
        QTest::addColumn<QString>("leftover");
        QTest::addColumn<QString>("kind"); // file, locked or link
        QTest::addColumn<bool>("removed");
        const QString dead = QString::number(deadProcess());
        const QString alive = QString::number(::getpid());
        const QString random = "-0123456789abcdef.part";
        // Names as this version writes them: with the machine's name.
        const QString own = QString::fromLatin1(host::newPartName());
        const QString mine = own.left(own.lastIndexOf('-', own.lastIndexOf('-') - 1)) + '-';
        QTest::newRow("this machine's, writer gone") << mine + dead + random << "file" << true;
        QTest::newRow("this machine's, process alive") << mine + alive + random << "file" << false;
        QTest::newRow("another machine's, its number free here")
            << ".tolvex-knoten2.example-" + dead + random << "file" << false;
        QTest::newRow("writer gone") << ".tolvex-" + dead + random << "file" << true;
        QTest::newRow("process alive") << ".tolvex-" + alive + random << "file" << false;
        QTest::newRow("locked by a writer elsewhere")
            << ".tolvex-" + dead + random << "locked" << false;
        QTest::newRow("a link") << ".tolvex-" + dead + random << "link" << false;
        QTest::newRow("a name of the user's") << ".tolvex-" + dead + "-notes.part"
                                              << "file" << false;
    }
    void leftoversOfDeadWritersAreRemoved()
    {
        QFETCH(QString, leftover);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        const QString folder = newFolder();
        const QString path = folder + '/' + leftover;
        if (kind == u"link")
            QVERIFY(QFile::link(m_dir.filePath("anything"), path));
        else
            writeBytes(path, "half a file");
        int lock = -1;
        if (kind == u"locked") {
            lock = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            QCOMPARE(::flock(lock, LOCK_EX), 0);
        }
        writeSignal(*createAudioFile(folder + "/new.wav",
                                     model::writerSettings(ExportFormat::wav16, 2, rate)),
                    sineSignal(rate, 2, 100));
        if (lock >= 0)
            ::close(lock);
        const QStringList expected =
            removed ? QStringList{"new.wav"} : QStringList{leftover, "new.wav"};
        QCOMPARE(entries(folder), expected);
    }

    // The folder deleted, deleted and made anew, or moved while the file is
    // written: reported, and nothing stays anywhere.
    void aVanishedFolderFailsTheFile_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("change");
        for (ExportFormat format : {ExportFormat::wav24, ExportFormat::m4a})
            for (const char* change : {"deleted", "made anew", "moved"})
                QTest::addRow("%s %s", qPrintable(model::rawValue(format)), change)
                    << format << QString::fromLatin1(change);
    }
    void aVanishedFolderFailsTheFile()
    {
        QFETCH(ExportFormat, format);
        QFETCH(QString, change);
        const QString folder = newFolder();
        const QString moved = folder + "-moved";
        const QString path = folder + '/' + name(format);
        auto writer = createAudioFile(path, model::writerSettings(format, 2, rate));
        Unfinished unfinished(*writer);
        writeSignal(unfinished, sineSignal(rate, 2, 30000));
        if (change == u"moved") {
            QVERIFY(QDir().rename(folder, moved));
        } else {
            QVERIFY(QDir(folder).removeRecursively());
            if (change == u"made anew")
                QVERIFY(QDir().mkpath(folder));
        }
        QString error;
        try {
            writer->finish();
        } catch (const HostError& failure) {
            error = failure.message();
        }
        writer.reset();
        QVERIFY2(error.startsWith(u'„' + name(format) + "“") && error.contains("Zielordner"),
                 qPrintable(error));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(entries(folder), QStringList());
        QCOMPARE(entries(moved), QStringList());
    }

    // Not-a-number and infinite samples are written as silence by every
    // writer; the AAC encoder refuses them.
    void nonFiniteSamplesBecomeSilence_data()
    {
        QTest::addColumn<ExportFormat>("format");
        for (ExportFormat format : model::allExportFormats)
            QTest::addRow("%s", qPrintable(model::rawValue(format))) << format;
    }
    void nonFiniteSamplesBecomeSilence()
    {
        QFETCH(ExportFormat, format);
        Signal signal;
        signal.sampleRate = rate;
        signal.channels.assign(2, std::vector<float>(20000, 0.0f));
        const float odd[] = {std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
        for (int i = 0; i < 3; ++i)
            std::fill_n(signal.channels[size_t(i % 2)].begin() + 5000 * (i + 1), 64, odd[i]);
        const QString path = newFolder() + '/' + name(format);
        writeSignal(*createAudioFile(path, model::writerSettings(format, 2, rate)), signal);
        const Signal back = readToEnd(*openAudioFile(path));
        QCOMPARE(back.frames(), signal.frames());
        for (const auto& channel : back.channels)
            QCOMPARE(maxDifference(channel, std::vector<float>(channel.size(), 0.0f)), 0.0);
    }

    // libsndfile stamps the PEAK chunk of float files with the time of
    // writing: two exports of one file would differ.
    void aFloatWavHoldsNoTimeOfWriting()
    {
        const QString path = newFolder() + "/x.wav";
        writeSignal(*createAudioFile(path, model::writerSettings(ExportFormat::wav32f, 2, rate)),
                    sineSignal(rate, 2, 1000));
        const QStringList chunks = riffChunks(readBytes(path));
        QVERIFY2(chunks.contains("data") && !chunks.contains("PEAK"), qPrintable(chunks.join(',')));
    }
};

QTEST_GUILESS_MAIN(TestOutputFiles)
#include "test_output_files.moc"
