// The file list, its settings and the batch export against the fake host.
#include "chain/Chain.h"
#include "model/ExportSettings.h"
#include "session/FileNames.h"
#include "session/Session.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace tolvex;
using namespace tolvex::session;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr int anHour = 3600 * 1000;
const model::PluginInfo gain{model::effectType, 1, 2, "Gain", "Fake"};

/// A fake host, a settings file, the chain (a gain of 2 unless told
/// otherwise) and the session. While `open` is false every render waits at
/// its first block, so that a run cannot end before the test has looked at
/// it. Records the order in which files start, the most running at once by
/// status and the most render instances alive at once.
struct Rig {
    Rig(const QString& settingsPath, int jobs = 1, bool withGain = true)
        : settings(settingsPath, QSettings::IniFormat)
    {
        settings.setValue("jobs", jobs);
        host.addPlugin({.info = gain, .processor = [this] {
                            return [this, twice = gainProcessor(2)()](float* const* channels,
                                                                      int count, qint64 frames) {
                                maxLive =
                                    std::max(maxLive.load(), host.liveInstances() - chainInstances);
                                while (!open)
                                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                twice(channels, count, frames);
                            };
                        }});
        if (withGain)
            QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        chainInstances = host.liveInstances();
        session.setToastDuration(anHour); // notices stay until the test has read them
        QObject::connect(&session, &Session::itemChanged, [this](const QUuid& id) {
            int count = 0;
            for (const auto& item : session.items()) {
                count += item.status.isRunning();
                if (item.id == id && item.status.isRunning() && item.status.progress() == 0)
                    started << id;
            }
            maxRunning = std::max(maxRunning, count);
        });
    }
    ~Rig() { open = true; } // also when the test fails, before the session waits

    /// A real file on disk (for listing and naming), held by the fake host
    /// as stereo audio unless `audio` is false; reading `failAt` fails.
    QUrl file(const QString& path, bool audio = true, std::optional<qint64> failAt = {})
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        if (audio)
            host.addFile(path,
                         {48000, {std::vector(9000, 0.25f), std::vector(9000, -0.25f)}, failAt});
        return QUrl::fromLocalFile(path);
    }
    /// 1.wav … count.wav in `root`, added to the list; those in `failing`
    /// (0-based) break in the middle.
    void addFiles(const QString& root, int count, const QList<int>& failing = {})
    {
        QList<QUrl> files;
        for (int i = 0; i < count; ++i)
            files << file(root + QStringLiteral("/%1.wav").arg(i + 1), true,
                          failing.contains(i) ? std::optional<qint64>(5000) : std::nullopt);
        session.add(files);
    }
    /// One letter per item: Running, Done, Failed or Waiting.
    QString statuses() const
    {
        QString letters;
        for (const auto& item : session.items())
            letters += item.status.isRunning()  ? 'R'
                       : item.status.isDone()   ? 'D'
                       : item.status.isFailed() ? 'F'
                                                : 'W';
        return letters;
    }
    int running() const { return int(statuses().count('R')); }
    QList<QUuid> ids() const
    {
        QList<QUuid> ids;
        for (const auto& item : session.items())
            ids << item.id;
        return ids;
    }
    void waitForTheEnd() { QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000); }

    std::atomic<bool> open{true};
    std::atomic<int> maxLive{0}; ///< instances of the renders
    int chainInstances = 0;
    int maxRunning = 0;
    QList<QUuid> started;
    FakeHost host;
    QSettings settings;
    chain::Chain chain{host, settings};
    Session session{host, settings};
};

class ScriptedPicker : public FilePicker {
public:
    QList<QUrl> files;
    std::optional<QUrl> folder;
    QList<QUrl> pickFiles() override { return files; }
    std::optional<QUrl> pickFolder() override { return folder; }
};

} // namespace

class TestSession : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    QString folder(const QString& name)
    {
        const QString path = m_dir.filePath(name + QString::number(++m_counter));
        QDir().mkpath(path);
        return path;
    }

    QString settingsPath() { return m_dir.filePath(QString::number(++m_counter) + ".ini"); }

    /// Files whose names are bytes that need not be UTF-8; removed again
    /// when it goes, since Qt's own removal does not see them.
    struct RawFiles {
        QList<QByteArray> paths;
        ~RawFiles()
        {
            for (const QByteArray& path : paths)
                ::unlink(path.constData());
        }
        void write(const QString& folder, const QByteArray& name)
        {
            paths.append(QFile::encodeName(folder) + '/' + name);
            const int fd = ::open(paths.last().constData(), O_CREAT | O_EXCL | O_WRONLY, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "x", 1), ssize_t(1));
            ::close(fd);
        }
    };

private Q_SLOTS:
    void fileNamesKeepEveryByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("undecodable");
        QTest::newRow("UTF-8") << QByteArray("/a/Äpfel 😀.wav") << false;
        QTest::newRow("a stray byte") << QByteArray("/a/b\xff"
                                                    "ad.wav")
                                      << true;
        QTest::newRow("Latin-1") << QByteArray("/a/\xc4pfel.wav") << true;
        QTest::newRow("overlong slash") << QByteArray("/a/\xc0\xaf.wav") << true;
        QTest::newRow("encoded surrogate") << QByteArray("/a/\xed\xb3\xbf.wav") << true;
        QTest::newRow("cut short") << QByteArray("/a/\xe2\x82") << true;
        QTest::newRow("after a pair") << QByteArray("/a/😀\xff") << true;
    }
    void fileNamesKeepEveryByte()
    {
        QFETCH(QByteArray, bytes);
        const QString name = decodeFileName(bytes);
        QTEST(hasUndecodableBytes(name), "undecodable");
        QCOMPARE(encodeFileName(name), bytes);
        QCOMPARE(name.startsWith(u"/a/"), true);
    }

    // Qt's folder listing drops names that are not UTF-8 without a word; the
    // import reports them, as files it cannot open.
    void namesThatAreNotUtf8AreReported_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("toast");
        QTest::newRow("one") << QList<QByteArray>{"ok.wav",
                                                  "b\xff"
                                                  "ad.wav",
                                                  "notes\xff.txt"}
                             << 1
                             << "Der Name einer Datei ist kein gültiges UTF-8; sie lässt sich "
                                "nicht öffnen.";
        QTest::newRow("two, one below") << QList<QByteArray>{"\xc4pfel.wav", "sub/b\xff.flac"} << 0
                                        << "Die Namen von 2 Dateien sind kein gültiges UTF-8; sie "
                                           "lassen sich nicht öffnen.";
        QTest::newRow("with an unreadable one") << QList<QByteArray>{"\xc4pfel.wav", "kaputt.wav"}
                                                << 0 << "2 Dateien lassen sich nicht lesen.";
    }
    void namesThatAreNotUtf8AreReported()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(int, added);
        Rig rig(settingsPath());
        const QString root = folder("raw");
        QDir().mkpath(root + "/sub");
        RawFiles raw;
        for (const QByteArray& name : names)
            if (name == "ok.wav")
                rig.file(root + "/ok.wav");
            else
                raw.write(root, name); // not audio to the fake host
        rig.session.add({QUrl::fromLocalFile(root)});
        QCOMPARE(rig.session.items().size(), qsizetype(added));
        QTEST(rig.session.toast(), "toast");

        // Dropped by itself, percent-encoded in its URL: the same notice.
        if (added == 1) {
            rig.session.showToast(QString());
            rig.session.add(
                {QUrl::fromEncoded(QUrl::fromLocalFile(root).toEncoded() + "/b%FFad.wav")});
            QTEST(rig.session.toast(), "toast");
        }
    }

    void importOrderAndFilters()
    {
        Rig rig(settingsPath());
        Session& session = rig.session;
        const QString root = folder("drop");
        for (const char* name : {"b10.wav", "Zebra.wav", "b2.wav", "c/a.wav", "B3.WAV",
                                 ".hidden.wav", ".secret/d.wav"})
            rig.file(root + '/' + name);
        rig.file(root + QStringLiteral("/Äpfel.wav"));
        rig.file(root + "/notes.txt", false);
        session.add({QUrl::fromLocalFile(root)});
        QStringList paths;
        for (const auto& item : session.items())
            paths << QDir(root).relativeFilePath(item.url.toLocalFile());
        QCOMPARE(paths, (QStringList{QStringLiteral("Äpfel.wav"), "b2.wav", "B3.WAV", "b10.wav",
                                     "c/a.wav", "Zebra.wav"}));
        QVERIFY(session.toast().isEmpty()); // notes.txt in a folder is ignored silently

        // Given directly, it counts; duplicates within and across calls are skipped.
        session.add({QUrl::fromLocalFile(root + "/notes.txt"),
                     QUrl::fromLocalFile(root + "/b2.wav"), QUrl::fromLocalFile(root + "/b2.wav")});
        QCOMPARE(session.items().size(), 6);
        QCOMPARE(session.toast(), QStringLiteral("Eine Datei ist kein lesbares Audio."));
        QList<QUrl> broken;
        for (int i = 0; i < 4; ++i)
            broken << rig.file(root + QStringLiteral("/broken%1.wav").arg(i), false);
        session.add(broken);
        QCOMPARE(session.toast(), QStringLiteral("4 Dateien sind kein lesbares Audio."));
    }

    void selectionRule()
    {
        Rig rig(settingsPath());
        Session& session = rig.session;
        const QString root = folder("files");
        rig.addFiles(root, 2);
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[0].id});
        session.setSelection({session.items()[1].id});
        session.add({rig.file(root + "/3.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[1].id});
        session.setSelection({});
        session.add({rig.file(root + "/4.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[0].id}); // the top of the list

        // Adjacent rows are one range of the shared selection model.
        QSignalSpy changed(&session, &Session::selectionChanged);
        const auto& items = session.items();
        session.setSelection({items[3].id, items[1].id, items[2].id});
        QCOMPARE(changed.size(), 1);
        QCOMPARE(session.selectionModel().selection().size(), 1);
        QVERIFY(!session.isSelected(items[0].id) && session.isSelected(items[2].id));
        QCOMPARE(session.selectionModel().currentIndex().row(), 1); // the first of them
        session.setSelection({items[1].id, items[3].id});
        QCOMPARE(session.selectionModel().selection().size(), 2);
        QCOMPARE(session.selectionModel().currentIndex().row(), 1); // already among them
    }

    void noticesClearThemselvesOnlyWhileShown()
    {
        Rig rig(settingsPath());
        Session& session = rig.session;
        bool fired = false;
        session.setToastDuration(0);
        session.showToast("eins");
        QTimer::singleShot(0, this, [&] { fired = true; }); // after the first notice's timer
        session.setToastDuration(anHour);
        session.showToast("zwei");
        QTRY_VERIFY(fired);
        QCOMPARE(session.toast(), QStringLiteral("zwei"));

        // The same text again: the first timer clears it early.
        session.setToastDuration(0);
        session.showToast("drei");
        session.setToastDuration(anHour);
        session.showToast("drei");
        QTRY_VERIFY(session.toast().isNull());
    }

    void settingsPersistAndFallBack()
    {
        FakeHost host;
        const QString path = m_dir.filePath("settings.ini");
        {
            QSettings settings(path, QSettings::IniFormat);
            Session session(host, settings);
            QVERIFY(!session.folder()); // next to each source
            session.setFormat(ExportFormat::aiff24);
            session.setSuffix(QString());
            session.setFolderPath("/tmp/out");
        }
        QSettings settings(path, QSettings::IniFormat);
        ScriptedPicker picker;
        Session session(host, settings, &picker);
        QCOMPARE(session.format(), ExportFormat::aiff24);
        QCOMPARE(session.suffix(), QString());
        QCOMPARE(session.folder()->toLocalFile(), QStringLiteral("/tmp/out"));
        settings.setValue("format", "WAV24"); // unknown: the default
        QCOMPARE(session.format(), ExportFormat::wav24);

        session.pickFolder(); // cancelled
        QCOMPARE(session.folderPath(), QStringLiteral("/tmp/out"));
        picker.folder = QUrl::fromLocalFile("/tmp/elsewhere");
        session.pickFolder();
        QCOMPARE(session.folderPath(), QStringLiteral("/tmp/elsewhere"));
    }

    void freeNamesNeverHitAnExistingFile()
    {
        Rig rig(settingsPath());
        Session& session = rig.session;
        const QString root = folder("names");
        const QUrl song = rig.file(root + "/song.wav");
        for (const char* expected :
             {"song – Tolvex.m4a", "song – Tolvex 2.m4a", "song – Tolvex 3.m4a"}) {
            const QUrl target = session.targetURL(song, ExportFormat::m4a);
            QCOMPARE(target.fileName(), QString::fromUtf8(expected));
            rig.file(target.toLocalFile(), false);
        }
        QCOMPARE(session.targetURL(song, ExportFormat::aiff24).fileName(),
                 QStringLiteral("song – Tolvex.aif"));
        session.setSuffix(QString());
        QCOMPARE(session.targetURL(song, ExportFormat::wav16).fileName(),
                 QStringLiteral("song 2.wav")); // never the source itself
        const QUrl dotted = rig.file(root + "/my.song.flac");
        QCOMPARE(session.targetURL(dotted, ExportFormat::wav32f).fileName(),
                 QStringLiteral("my.song.wav"));
    }

    void exportRunsChosenRowsInListOrder()
    {
        Rig rig(settingsPath());
        Session& session = rig.session;
        session.startExport(rig.chain);
        QCOMPARE(session.toast(), QStringLiteral("Zieh zuerst Audiodateien ins Fenster."));
        QVERIFY(!session.exporting());

        rig.addFiles(folder("files"), 3);
        session.setFormat(ExportFormat::wav16);
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (id == session.items()[0].id && session.items()[0].status.isDone())
                session.setSuffix(" neu"); // read again for the next file
        });
        rig.open = false;
        session.startExport(rig.chain, QSet<QUuid>{session.items()[2].id, session.items()[0].id});
        QVERIFY(session.exporting());         // the first render waits at the gate
        session.setFormat(ExportFormat::m4a); // fixed at the start
        session.startExport(rig.chain);       // ignored while running
        rig.open = true;
        rig.waitForTheEnd();
        QCOMPARE(session.toast(), QStringLiteral("2 Dateien exportiert."));
        QCOMPARE(rig.statuses(), QStringLiteral("DWD"));
        const auto& items = session.items();
        QCOMPARE(items[0].status.file().fileName(), QStringLiteral("1 – Tolvex.wav"));
        QCOMPARE(items[2].status.file().fileName(), QStringLiteral("3 neu.wav"));
        const auto written = rig.host.written(items[2].status.file().toLocalFile());
        QCOMPARE(written->settings, model::writerSettings(ExportFormat::wav16, 2, 48000));
        QCOMPARE(written->channels[0][10], 0.5f); // through the chain

        // A late progress report never overwrites done.
        session.setStatus(items[0].id, model::Status::running(0.5));
        QVERIFY(session.items()[0].status.isDone());
    }

    void removalsKeepTheFileBeingExported()
    {
        Rig rig(settingsPath());
        Session& session = rig.session;
        rig.addFiles(folder("files"), 3);
        const QUuid first = session.items()[0].id;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (id != first || !session.items()[0].status.isRunning() || session.items().size() < 3)
                return;
            session.setSelection({first, session.items()[1].id});
            session.removeSelected();
            QCOMPARE(session.items().size(), 2);
            QVERIFY(session.selection().isEmpty());
            session.clearList();
        });
        session.startExport(rig.chain);
        rig.waitForTheEnd();
        QCOMPARE(rig.statuses(), QStringLiteral("D"));
        QCOMPARE(session.toast(), QStringLiteral("1 Datei exportiert."));
    }

    void atMostJobsAtOnceInListOrder_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("files");
        QTest::newRow("jobs 1: one after another") << 1 << 3;
        QTest::newRow("jobs 3 over 5") << 3 << 5;
        QTest::newRow("more jobs than files") << 4 << 2;
    }
    void atMostJobsAtOnceInListOrder()
    {
        QFETCH(int, jobs);
        QFETCH(int, files);
        Rig rig(settingsPath(), jobs);
        rig.addFiles(folder("files"), files);
        rig.open = false;
        rig.session.startExport(rig.chain);
        const int first = std::min(jobs, files);
        QTRY_COMPARE(rig.running(), first);
        // Held at the gate, nothing else can start: the first ones are running.
        QCOMPARE(rig.started, rig.ids().mid(0, first));
        rig.open = true;
        rig.waitForTheEnd();
        QCOMPARE(rig.started, rig.ids());
        QCOMPARE(rig.maxRunning, first);
        QVERIFY2(rig.maxLive <= first, qPrintable(QString::number(rig.maxLive)));
        QCOMPARE(rig.statuses(), QString(files, 'D'));
    }

    // The files being rendered go back to waiting, no later one starts,
    // earlier results stay and no partial output is left.
    void cancellingSendsTheRunningFilesBack_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("cancelAt");     // cancelled as this file starts
        QTest::addColumn<QString>("statuses"); // the last failed before the run
        QTest::newRow("one at a time, during the third") << 1 << 2 << "DDWWF";
        QTest::newRow("two at a time, both running") << 2 << 1 << "WWWWF";
    }
    void cancellingSendsTheRunningFilesBack()
    {
        QFETCH(int, jobs);
        QFETCH(int, cancelAt);
        QFETCH(QString, statuses);
        Rig rig(settingsPath(), jobs);
        Session& session = rig.session;
        const QString root = folder("files");
        rig.addFiles(root, 5);
        session.setStatus(session.items()[4].id, model::Status::failed("früher"));
        const QUuid cancelling = session.items()[cancelAt].id;
        // One at a time, the files before must finish; side by side, the
        // first must still be running when the second starts.
        rig.open = cancelAt >= jobs;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (id == cancelling && session.items()[cancelAt].status.isRunning()) {
                session.cancelExport();
                rig.open = true;
            }
        });
        session.startExport(rig.chain);
        rig.waitForTheEnd();
        QCOMPARE(rig.statuses(), statuses);
        QCOMPARE(session.items()[4].status.message(), QStringLiteral("früher"));
        QCOMPARE(rig.started, rig.ids().mid(0, cancelAt + 1));
        const int done = int(statuses.count('D'));
        QCOMPARE(QDir(root).entryList({"*Tolvex*"}).size(), done);
        QCOMPARE(session.toast(),
                 done ? QString::number(done) + " Dateien exportiert." : QString());
        session.cancelExport(); // a finished run: no effect
    }

    void failuresDoNotStopTheOthers_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<QList<int>>("failing");
        QTest::addColumn<bool>("withGain");
        QTest::addColumn<QString>("notice");
        QTest::newRow("one") << 1 << QList<int>{} << true << "1 Datei exportiert.";
        QTest::newRow("one of three fails")
            << 3 << QList<int>{0} << true << "2 Dateien exportiert.";
        // Nothing exported: no count replaces the notice.
        QTest::newRow("all fail, empty chain")
            << 2 << QList<int>{0, 1} << false
            << "Die Kette ist leer – die Dateien werden nur umgewandelt.";
    }
    void failuresDoNotStopTheOthers()
    {
        QFETCH(int, files);
        QFETCH(QList<int>, failing);
        QFETCH(bool, withGain);
        QFETCH(QString, notice);
        Rig rig(settingsPath(), 2, withGain);
        const QString root = folder("files");
        rig.addFiles(root, files, failing);
        rig.session.startExport(rig.chain);
        rig.waitForTheEnd();
        QString expected(files, 'D');
        for (int i : failing)
            expected[i] = 'F';
        QCOMPARE(rig.statuses(), expected);
        QCOMPARE(QDir(root).entryList({"*Tolvex*"}).size(), files - failing.size());
        QCOMPARE(rig.session.toast(), notice);
    }

    void sameNamesNeverMeet_data()
    {
        QTest::addColumn<bool>("squatter");
        QTest::newRow("two sources of one name") << false;
        QTest::newRow("a name taken by another process meanwhile") << true;
    }
    void sameNamesNeverMeet()
    {
        QFETCH(bool, squatter);
        Rig rig(settingsPath(), 2);
        const QString out = folder("out");
        rig.session.setFolderPath(out);
        rig.addFiles(folder("a"), 1);
        if (!squatter)
            rig.addFiles(folder("b"), 1);
        const QString taken = out + QStringLiteral("/1 – Tolvex.wav");
        if (squatter) // picked, and then created by someone else before the render does
            QObject::connect(&rig.session, &Session::itemChanged, [&] {
                QFile file(taken);
                if (!file.exists() && file.open(QIODevice::WriteOnly))
                    file.write("theirs");
            });
        rig.open = false;
        rig.session.startExport(rig.chain);
        if (!squatter)
            QTRY_COMPARE(rig.running(), 2); // both named before either writes
        rig.open = true;
        rig.waitForTheEnd();
        QStringList names;
        for (const auto& item : rig.session.items())
            names << item.status.file().fileName();
        if (!squatter)
            QCOMPARE(names, (QStringList{"1 – Tolvex.wav", "1 – Tolvex 2.wav"}));
        else
            QCOMPARE(names, QStringList{"1 – Tolvex 2.wav"});
        QFile theirs(taken);
        QVERIFY(theirs.open(QIODevice::ReadOnly));
        if (squatter)
            QCOMPARE(theirs.readAll(), QByteArray("theirs"));
        QCOMPARE(rig.host.writersMade(), squatter ? 1 : 2); // nothing rendered twice
    }

    void jobsSettingIsClamped_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("jobs");
        const int cores = std::clamp(QThread::idealThreadCount(), 1, BatchRunner::maxJobs);
        QTest::newRow("missing") << QVariant() << cores;
        QTest::newRow("zero") << QVariant(0) << cores;
        QTest::newRow("text") << QVariant("viele") << cores;
        QTest::newRow("negative") << QVariant(-3) << 1;
        QTest::newRow("huge") << QVariant(100000) << BatchRunner::maxJobs;
        QTest::newRow("three") << QVariant("3") << 3;
    }
    void jobsSettingIsClamped()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, jobs);
        QSettings settings(settingsPath(), QSettings::IniFormat);
        if (stored.isValid())
            settings.setValue("jobs", stored);
        QCOMPARE(model::ExportSettings(settings).jobs(), jobs);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
