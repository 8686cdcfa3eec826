// The file list, its settings and the batch export against the fake host.
#include "chain/Chain.h"
#include "session/Session.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::session;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

FakeAudioFile tone(qint64 frames)
{
    FakeAudioFile file;
    file.sampleRate = 48000;
    file.channels = {std::vector<float>(size_t(frames), 0.25f),
                     std::vector<float>(size_t(frames), -0.25f)};
    return file;
}

class ScriptedPicker : public FilePicker {
public:
    QList<QUrl> files;
    std::optional<QUrl> folder;
    QList<QUrl> pickFiles() override { return files; }
    std::optional<QUrl> pickFolder() override { return folder; }
};

/// Sleeps a little per block, so a test can act while a file renders.
FakeProcessorFactory slow()
{
    return [] {
        return [](float* const*, int, qint64) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
    };
}

/// A chain of one plugin that takes a little time per block, so a test can
/// act while a file renders.
std::unique_ptr<chain::Chain> slowChain(FakeHost& host, QSettings& settings)
{
    const model::PluginInfo info{model::effectType, 1, 2, "Slow", "Fake"};
    host.addPlugin({.info = info, .processor = slow()});
    auto chain = std::make_unique<chain::Chain>(host, settings);
    QCoro::waitFor(chain->addPlugin(info, std::nullopt, false, false));
    return chain;
}

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

    /// A real file on disk (for listing and naming), held as audio by the
    /// fake host unless `audio` is false.
    static QUrl file(FakeHost& host, const QString& path, bool audio = true, qint64 frames = 4800)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        if (audio)
            host.addFile(path, tone(frames));
        return QUrl::fromLocalFile(path);
    }

    static QStringList fileNames(const Session& session)
    {
        QStringList names;
        for (const auto& item : session.items())
            names << QDir(QFileInfo(item.url.toLocalFile()).absolutePath()).dirName() + '/' +
                         item.url.fileName();
        return names;
    }

private Q_SLOTS:
    void importOrderAndFilters()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("import.ini"), QSettings::IniFormat);
        Session session(host, settings);
        const QString root = folder("drop");
        file(host, root + "/b10.wav");
        file(host, root + "/b2.wav");
        file(host, root + "/c/a.wav");
        file(host, root + "/B3.WAV");
        file(host, root + "/.hidden.wav");
        file(host, root + "/.secret/d.wav");
        file(host, root + "/notes.txt", false);
        session.add({QUrl::fromLocalFile(root)});
        const QString last = QFileInfo(root).fileName();
        QCOMPARE(fileNames(session),
                 (QStringList{last + "/b2.wav", last + "/B3.WAV", last + "/b10.wav", "c/a.wav"}));
        QVERIFY(session.toast().isEmpty()); // notes.txt in a folder is ignored silently

        // Given directly, it counts; duplicates within and across calls are skipped.
        session.add({QUrl::fromLocalFile(root + "/notes.txt"),
                     QUrl::fromLocalFile(root + "/b2.wav"), QUrl::fromLocalFile(root + "/b2.wav")});
        QCOMPARE(session.items().size(), 4);
        QCOMPARE(session.toast(), QStringLiteral("Eine Datei ist kein lesbares Audio."));
        QList<QUrl> broken;
        for (int i = 0; i < 4; ++i)
            broken << file(host, root + QStringLiteral("/broken%1.wav").arg(i), false);
        session.add(broken);
        QCOMPARE(session.toast(), QStringLiteral("4 Dateien sind kein lesbares Audio."));
    }

    void selectionRule()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("selection.ini"), QSettings::IniFormat);
        Session session(host, settings);
        const QString root = folder("sel");
        session.add({file(host, root + "/1.wav"), file(host, root + "/2.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[0].id});
        session.setSelection({session.items()[1].id});
        session.add({file(host, root + "/3.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[1].id});
        session.setSelection({});
        session.add({file(host, root + "/4.wav")});
        QCOMPARE(session.selection(), QSet<QUuid>{session.items()[0].id}); // the top of the list

        QCOMPARE(session.items().size(), 4);
    }

    void removalsKeepTheFileBeingExported()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("removal.ini"), QSettings::IniFormat);
        const auto chain = slowChain(host, settings);
        Session session(host, settings);
        const QString root = folder("removal");
        session.add({file(host, root + "/1.wav", true, 4096 * 30), file(host, root + "/2.wav"),
                     file(host, root + "/3.wav")});
        const QUuid first = session.items()[0].id;
        bool done = false;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (done || id != first || !session.items()[0].status.isRunning())
                return;
            done = true;
            session.setSelection({first, session.items()[1].id});
            session.removeSelected();
            QCOMPARE(session.items().size(), 2);
            QVERIFY(session.selection().isEmpty());
            session.clearList();
            QCOMPARE(session.items().size(), 1);
        });
        session.startExport(*chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 10000);
        QVERIFY(done);
        QCOMPARE(session.items().size(), 1);
        QVERIFY(session.items()[0].status.isDone());
        QCOMPARE(session.toast(), QStringLiteral("1 Datei exportiert."));
    }

    void toastTimers()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("toast.ini"), QSettings::IniFormat);
        Session session(host, settings);
        session.setToastDuration(200);
        session.showToast("eins");
        QTest::qWait(100);
        session.showToast("zwei");
        QTest::qWait(150); // the first timer fires and leaves the different notice
        QCOMPARE(session.toast(), QStringLiteral("zwei"));
        QTRY_VERIFY(session.toast().isEmpty());
        session.showToast("drei");
        QTest::qWait(100);
        session.showToast("drei"); // the same text: the first timer clears it early
        QTest::qWait(150);
        QVERIFY(session.toast().isEmpty());
    }

    void settingsDefaultsAndPersistence()
    {
        FakeHost host;
        const QString path = m_dir.filePath("settings.ini");
        {
            QSettings settings(path, QSettings::IniFormat);
            Session session(host, settings);
            QCOMPARE(session.format(), ExportFormat::wav24);
            QCOMPARE(session.suffix(), QStringLiteral(" – Tolvex"));
            QVERIFY(!session.folder());
            session.setFormat(ExportFormat::aiff24);
            session.setSuffix(QString());
            session.setFolderPath("/tmp/out");
        }
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value("format").toString(), QStringLiteral("aiff24"));
        Session session(host, settings);
        QCOMPARE(session.format(), ExportFormat::aiff24);
        QCOMPARE(session.suffix(), QString());
        QCOMPARE(session.folder()->toLocalFile(), QStringLiteral("/tmp/out"));
        settings.setValue("format", "WAV24");
        QCOMPARE(session.format(), ExportFormat::wav24);

        ScriptedPicker picker;
        Session picking(host, settings, &picker);
        picking.pickFolder(); // cancelled
        QCOMPARE(picking.folderPath(), QStringLiteral("/tmp/out"));
        picker.folder = QUrl::fromLocalFile("/tmp/elsewhere");
        picking.pickFolder();
        QCOMPARE(picking.folderPath(), QStringLiteral("/tmp/elsewhere"));
    }

    void freeNames()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("names.ini"), QSettings::IniFormat);
        Session session(host, settings);
        const QString root = folder("names");
        const QUrl song = file(host, root + "/song.wav");
        QCOMPARE(session.targetURL(song, ExportFormat::m4a).fileName(),
                 QStringLiteral("song – Tolvex.m4a"));
        file(host, root + "/song – Tolvex.m4a", false);
        QCOMPARE(session.targetURL(song, ExportFormat::m4a).fileName(),
                 QStringLiteral("song – Tolvex 2.m4a"));
        file(host, root + "/song – Tolvex 2.m4a", false);
        QCOMPARE(session.targetURL(song, ExportFormat::m4a).fileName(),
                 QStringLiteral("song – Tolvex 3.m4a"));
        QCOMPARE(session.targetURL(song, ExportFormat::aiff24).fileName(),
                 QStringLiteral("song – Tolvex.aif"));
        session.setSuffix(QString());
        const QUrl take = file(host, root + "/take.wav");
        QCOMPARE(session.targetURL(take, ExportFormat::wav16).fileName(),
                 QStringLiteral("take 2.wav"));
        const QUrl dotted = file(host, root + "/my.song.flac");
        QCOMPARE(session.targetURL(dotted, ExportFormat::wav32f).fileName(),
                 QStringLiteral("my.song.wav"));
    }

    void exportRunsChosenRowsInListOrder()
    {
        FakeHost host;
        host.addPlugin(
            {.info = {model::effectType, 1, 2, "Gain", "Fake"}, .processor = gainProcessor(2)});
        QSettings settings(m_dir.filePath("export.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        QCoro::waitFor(
            chain.addPlugin({model::effectType, 1, 2, "Gain", "Fake"}, std::nullopt, false, false));
        Session session(host, settings);
        const QString root = folder("export");
        session.add({file(host, root + "/a.wav"), file(host, root + "/b.wav"),
                     file(host, root + "/c.wav")});
        session.setFormat(ExportFormat::wav16);

        session.startExport(chain, QSet<QUuid>{session.items()[2].id, session.items()[0].id});
        QVERIFY(session.exporting());
        session.setFormat(ExportFormat::m4a); // fixed at the start
        session.startExport(chain);           // ignored while running
        QTRY_VERIFY(!session.exporting());
        QCOMPARE(session.toast(), QStringLiteral("2 Dateien exportiert."));
        const auto& items = session.items();
        QVERIFY(items[0].status.isDone() && items[2].status.isDone());
        QVERIFY(items[1].status.isWaiting());
        const QString done = items[0].status.file().toLocalFile();
        QCOMPARE(QFileInfo(done).fileName(), QStringLiteral("a – Tolvex.wav"));
        QCOMPARE(host.written(done)->settings,
                 model::writerSettings(ExportFormat::wav16, 2, 48000));
        QCOMPARE(host.written(done)->channels[0][10], 0.5f); // through the chain

        // A late progress report never overwrites done.
        session.setStatus(items[0].id, model::Status::running(0.5));
        QVERIFY(session.items()[0].status.isDone());
    }

    void cancellingDuringTheThirdOfFive()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("cancel.ini"), QSettings::IniFormat);
        const auto chain = slowChain(host, settings);
        Session session(host, settings);
        const QString root = folder("cancel");
        QList<QUrl> files;
        for (int i = 1; i <= 5; ++i)
            files << file(host, root + QStringLiteral("/%1.wav").arg(i), true, 4096 * 50);
        session.add(files);
        session.setStatus(session.items()[4].id,
                          model::Status::failed("früher")); // not running: kept
        const QUuid third = session.items()[2].id;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            const auto& item = session.items()[session.items().indexOf(
                *std::find_if(session.items().begin(), session.items().end(),
                              [&](auto& i) { return i.id == id; }))];
            if (id == third && item.status.isRunning() && item.status.progress() > 0.05)
                session.cancelExport();
        });
        session.startExport(*chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        const auto& items = session.items();
        QVERIFY(items[0].status.isDone() && items[1].status.isDone());
        QVERIFY(items[2].status.isWaiting());
        QVERIFY(items[3].status.isWaiting());
        QCOMPARE(items[4].status.message(), QStringLiteral("früher"));
        QCOMPARE(session.toast(), QStringLiteral("2 Dateien exportiert."));
        QVERIFY(!QFile::exists(root + "/3 – Tolvex.wav"));
        QCOMPARE(QDir(root).entryList({"* – Tolvex.wav"}).size(), 2);
    }

    void failuresAndNotices()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("fail.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        Session session(host, settings);
        session.startExport(chain);
        QCOMPARE(session.toast(), QStringLiteral("Zieh zuerst Audiodateien ins Fenster."));
        QVERIFY(!session.exporting());

        const QString root = folder("fail");
        session.add({file(host, root + "/x.wav"), file(host, root + "/y.wav")});
        session.setFolderPath(root + "/does/not/exist");
        session.startExport(chain);
        QCOMPARE(session.toast(),
                 QStringLiteral("Die Kette ist leer – die Dateien werden nur umgewandelt."));
        QTRY_VERIFY(!session.exporting());
        for (const auto& item : session.items()) {
            QVERIFY(item.status.isFailed());
            QVERIFY2(item.status.message().contains(QStringLiteral("lässt sich nicht anlegen")),
                     qPrintable(item.status.message()));
        }
        QCOMPARE(session.toast(),
                 QStringLiteral("Die Kette ist leer – die Dateien werden nur umgewandelt."));
    }

    void suffixIsReadPerFile()
    {
        FakeHost host;
        QSettings settings(m_dir.filePath("suffix.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        Session session(host, settings);
        const QString root = folder("suffix");
        session.add({file(host, root + "/1.wav"), file(host, root + "/2.wav")});
        const QUuid first = session.items()[0].id;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            if (id == first && session.items()[0].status.isDone())
                session.setSuffix(" neu");
        });
        session.startExport(chain);
        QTRY_VERIFY(!session.exporting());
        QCOMPARE(session.items()[0].status.file().fileName(), QStringLiteral("1 – Tolvex.wav"));
        QCOMPARE(session.items()[1].status.file().fileName(), QStringLiteral("2 neu.wav"));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
