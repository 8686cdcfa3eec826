// The file list, its settings and the batch export against the fake host.
#include "chain/Chain.h"
#include "session/Session.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tolvex;
using namespace tolvex::session;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr int anHour = 3600 * 1000;
const model::PluginInfo gain{model::effectType, 1, 2, "Gain", "Fake"};

/// A gain of 2 that holds every block until `open` is set, so that a run
/// cannot end before the test has looked at it.
FakeProcessorFactory gatedGain(std::shared_ptr<std::atomic<bool>> open)
{
    return [open] {
        return [open, gain = gainProcessor(2)()](float* const* channels, int count, qint64 frames) {
            while (!open->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            gain(channels, count, frames);
        };
    };
}

/// A fake host, a settings file, an empty chain and the session, which
/// exports one file at a time.
struct Rig {
    explicit Rig(const QString& settingsPath) : settings(settingsPath, QSettings::IniFormat)
    {
        settings.setValue("jobs", 1);
    }
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

    /// A real file on disk (for listing and naming), held as audio by the
    /// fake host unless `audio` is false.
    static QUrl file(FakeHost& host, const QString& path, bool audio = true)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        if (audio)
            host.addFile(path, {48000, {std::vector(4800, 0.25f), std::vector(4800, -0.25f)}});
        return QUrl::fromLocalFile(path);
    }

    /// A list of files named 1.wav … n.wav in a fresh folder.
    QString addFiles(FakeHost& host, Session& session, int count)
    {
        const QString root = folder("files");
        QList<QUrl> files;
        for (int i = 1; i <= count; ++i)
            files << file(host, root + QStringLiteral("/%1.wav").arg(i));
        session.add(files);
        session.setToastDuration(anHour); // notices stay until the test has read them
        return root;
    }

private Q_SLOTS:
    void importOrderAndFilters()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
        const QString root = folder("drop");
        for (const char* name : {"b10.wav", "Zebra.wav", "b2.wav", "c/a.wav", "B3.WAV",
                                 ".hidden.wav", ".secret/d.wav"})
            file(host, root + '/' + name);
        file(host, root + QStringLiteral("/Äpfel.wav"));
        file(host, root + "/notes.txt", false);
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
            broken << file(host, root + QStringLiteral("/broken%1.wav").arg(i), false);
        session.add(broken);
        QCOMPARE(session.toast(), QStringLiteral("4 Dateien sind kein lesbares Audio."));
    }

    void selectionRule()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
        const QString root = addFiles(host, session, 2);
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[0].id});
        session.setSelection({session.items()[1].id});
        session.add({file(host, root + "/3.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[1].id});
        session.setSelection({});
        session.add({file(host, root + "/4.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[0].id}); // the top of the list
    }

    void noticesClearThemselvesOnlyWhileShown()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
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
        auto& [host, store, chain, session] = rig;
        const QString root = folder("names");
        const QUrl song = file(host, root + "/song.wav");
        for (const char* expected :
             {"song – Tolvex.m4a", "song – Tolvex 2.m4a", "song – Tolvex 3.m4a"}) {
            const QUrl target = session.targetURL(song, ExportFormat::m4a);
            QCOMPARE(target.fileName(), QString::fromUtf8(expected));
            file(host, target.toLocalFile(), false);
        }
        QCOMPARE(session.targetURL(song, ExportFormat::aiff24).fileName(),
                 QStringLiteral("song – Tolvex.aif"));
        session.setSuffix(QString());
        QCOMPARE(session.targetURL(song, ExportFormat::wav16).fileName(),
                 QStringLiteral("song 2.wav")); // never the source itself
        const QUrl dotted = file(host, root + "/my.song.flac");
        QCOMPARE(session.targetURL(dotted, ExportFormat::wav32f).fileName(),
                 QStringLiteral("my.song.wav"));
    }

    void exportRunsChosenRowsInListOrder()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
        const auto open = std::make_shared<std::atomic<bool>>(false);
        const auto release = qScopeGuard([&] { *open = true; }); // also when the test fails
        host.addPlugin({.info = gain, .processor = gatedGain(open)});
        QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        addFiles(host, session, 3);
        session.setFormat(ExportFormat::wav16);
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (id == session.items()[0].id && session.items()[0].status.isDone())
                session.setSuffix(" neu"); // read again for the next file
        });

        session.startExport(chain, QSet<QUuid>{session.items()[2].id, session.items()[0].id});
        QVERIFY(session.exporting());         // the first render waits at the gate
        session.setFormat(ExportFormat::m4a); // fixed at the start
        session.startExport(chain);           // ignored while running
        *open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        QCOMPARE(session.toast(), QStringLiteral("2 Dateien exportiert."));
        const auto& items = session.items();
        QVERIFY(items[1].status.isWaiting());
        QCOMPARE(items[0].status.file().fileName(), QStringLiteral("1 – Tolvex.wav"));
        QCOMPARE(items[2].status.file().fileName(), QStringLiteral("3 neu.wav"));
        const auto written = host.written(items[2].status.file().toLocalFile());
        QCOMPARE(written->settings, model::writerSettings(ExportFormat::wav16, 2, 48000));
        QCOMPARE(written->channels[0][10], 0.5f); // through the chain

        // A late progress report never overwrites done.
        session.setStatus(items[0].id, model::Status::running(0.5));
        QVERIFY(session.items()[0].status.isDone());
    }

    void removalsKeepTheFileBeingExported()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
        addFiles(host, session, 3);
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
        session.startExport(chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        QCOMPARE(session.items().size(), 1);
        QVERIFY(session.items()[0].status.isDone());
        QCOMPARE(session.toast(), QStringLiteral("1 Datei exportiert."));
    }

    void cancellingDuringTheThirdOfFive()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
        const QString root = addFiles(host, session, 5);
        session.setStatus(session.items()[4].id, model::Status::failed("früher")); // kept
        const QUuid third = session.items()[2].id;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (id == third && session.items()[2].status.isRunning())
                session.cancelExport();
        });
        session.startExport(chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        const auto& items = session.items();
        QVERIFY(items[0].status.isDone() && items[1].status.isDone());
        QVERIFY(items[2].status.isWaiting());
        QVERIFY(items[3].status.isWaiting());
        QCOMPARE(items[4].status.message(), QStringLiteral("früher"));
        QCOMPARE(session.toast(), QStringLiteral("2 Dateien exportiert."));
        QCOMPARE(QDir(root).entryList({"* – Tolvex.wav"}),
                 (QStringList{"1 – Tolvex.wav", "2 – Tolvex.wav"}));
        session.cancelExport(); // a finished run: no effect
    }

    void failuresAndNotices()
    {
        Rig rig(settingsPath());
        auto& [host, store, chain, session] = rig;
        session.startExport(chain);
        QCOMPARE(session.toast(), QStringLiteral("Zieh zuerst Audiodateien ins Fenster."));
        QVERIFY(!session.exporting());

        const QString root = addFiles(host, session, 2);
        session.setFolderPath(root + "/does/not/exist");
        session.startExport(chain);
        QCOMPARE(session.toast(),
                 QStringLiteral("Die Kette ist leer – die Dateien werden nur umgewandelt."));
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        for (const auto& item : session.items())
            QVERIFY2(item.status.message().contains(QStringLiteral("lässt sich nicht anlegen")),
                     qPrintable(item.status.message()));
        // Nothing exported: no count replaces the notice.
        QCOMPARE(session.toast(),
                 QStringLiteral("Die Kette ist leer – die Dateien werden nur umgewandelt."));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
