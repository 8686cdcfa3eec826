// Several files at once: order, limits, cancelling, failures and names,
// through the session against the fake host.
#include "chain/Chain.h"
#include "session/Session.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::session;
using namespace tolvex::testing;

namespace {

const model::PluginInfo gain{model::effectType, 1, 2, "Gain", "Fake"};

/// A fake chain of one gain plugin whose renders wait at a gate the test
/// opens, and a session over files the test adds. Records the order in
/// which files start, the most running at once by status and the most
/// plugin instances alive at once on the workers.
struct Rig {
    Rig(const QString& settingsPath, int jobs) : settings(settingsPath, QSettings::IniFormat)
    {
        settings.setValue("jobs", jobs);
        host.addPlugin({.info = gain, .processor = [this] {
                            return [this](float* const*, int, qint64) {
                                maxLive =
                                    std::max(maxLive.load(), host.liveInstances() - chainInstances);
                                while (!open)
                                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            };
                        }});
        QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        chainInstances = host.liveInstances();
        session.setToastDuration(3600 * 1000);
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
    ~Rig() { open = true; }

    int running() const
    {
        return int(std::count_if(session.items().begin(), session.items().end(),
                                 [](const auto& item) { return item.status.isRunning(); }));
    }
    QList<QUuid> ids() const
    {
        QList<QUuid> ids;
        for (const auto& item : session.items())
            ids << item.id;
        return ids;
    }

    std::atomic<bool> open{false};
    std::atomic<int> maxLive{0}; ///< instances of the renders
    int chainInstances = 0;
    int maxRunning = 0;
    QList<QUuid> started;
    FakeHost host;
    QSettings settings;
    chain::Chain chain{host, settings};
    Session session{host, settings};
};

} // namespace

class TestBatchRunner : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    /// Files n.wav in a fresh folder (or the given one), added to the list.
    QString addFiles(Rig& rig, int count, QString root = {})
    {
        if (root.isEmpty())
            root = m_dir.filePath(QStringLiteral("files%1").arg(++m_counter));
        QDir().mkpath(root);
        QList<QUrl> files;
        for (int i = 1; i <= count; ++i) {
            const QString path = root + QStringLiteral("/%1.wav").arg(i);
            QFile(path).open(QIODevice::WriteOnly);
            rig.host.addFile(path, {48000, {std::vector(9000, 0.25f)}});
            files << QUrl::fromLocalFile(path);
        }
        rig.session.add(files);
        return root;
    }

    QString settingsPath() { return m_dir.filePath(QStringLiteral("%1.ini").arg(++m_counter)); }

private Q_SLOTS:
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
        addFiles(rig, files);
        rig.session.startExport(rig.chain);
        const int first = std::min(jobs, files);
        QTRY_COMPARE(rig.running(), first);
        // Held at the gate, nothing else can start: the first ones are running.
        QCOMPARE(rig.started, rig.ids().mid(0, first));
        rig.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.exporting(), 20000);
        QCOMPARE(rig.started, rig.ids());
        QCOMPARE(rig.maxRunning, first);
        QVERIFY2(rig.maxLive <= first, qPrintable(QString::number(rig.maxLive)));
        for (const auto& item : rig.session.items())
            QVERIFY2(item.status.isDone(), qPrintable(item.status.message()));
    }

    void cancellingSendsEveryRunningFileBack()
    {
        Rig rig(settingsPath(), 2);
        const QString root = addFiles(rig, 4);
        const QUuid last = rig.session.items()[3].id;
        rig.session.setStatus(last, model::Status::failed("früher"));
        rig.session.startExport(rig.chain);
        QTRY_COMPARE(rig.running(), 2);
        rig.session.cancelExport();
        rig.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.exporting(), 20000);
        const auto& items = rig.session.items();
        for (int i : {0, 1, 2})
            QVERIFY(items[i].status.isWaiting());
        QCOMPARE(items[3].status.message(), QStringLiteral("früher")); // never started: kept
        QCOMPARE(rig.started.size(), 2);
        QCOMPARE(QDir(root).entryList({"*Tolvex*"}), QStringList()); // no partial output
        QVERIFY(rig.session.toast().isNull());
    }

    void failuresDoNotStopTheOthers_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<QList<int>>("failing");
        QTest::addColumn<QString>("notice");
        QTest::newRow("one") << 1 << QList<int>{} << "1 Datei exportiert.";
        QTest::newRow("one of three fails") << 3 << QList<int>{0} << "2 Dateien exportiert.";
        QTest::newRow("all fail") << 2 << QList<int>{0, 1} << QString();
    }
    void failuresDoNotStopTheOthers()
    {
        QFETCH(int, files);
        QFETCH(QList<int>, failing);
        QFETCH(QString, notice);
        Rig rig(settingsPath(), 2);
        rig.open = true;
        const QString root = addFiles(rig, files);
        for (int i : failing) // the reader breaks in the middle of the file
            rig.host.addFile(root + QStringLiteral("/%1.wav").arg(i + 1),
                             {48000, {std::vector(9000, 0.25f)}, 5000});
        rig.session.startExport(rig.chain);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.exporting(), 20000);
        for (int i = 0; i < files; ++i) {
            const model::Status& status = rig.session.items()[i].status;
            QCOMPARE(status.isFailed(), failing.contains(i));
            QCOMPARE(status.isDone(), !failing.contains(i));
        }
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
        const QString out = m_dir.filePath(QStringLiteral("out%1").arg(++m_counter));
        QDir().mkpath(out);
        rig.session.setFolderPath(out);
        addFiles(rig, 1, m_dir.filePath(QStringLiteral("a%1").arg(m_counter)));
        if (!squatter)
            addFiles(rig, 1, m_dir.filePath(QStringLiteral("b%1").arg(m_counter)));
        const QString taken = out + QStringLiteral("/1 – Tolvex.wav");
        if (squatter) // picked, and then created by someone else before the render does
            QObject::connect(&rig.session, &Session::itemChanged, [&] {
                QFile file(taken);
                if (!file.exists() && file.open(QIODevice::WriteOnly))
                    file.write("theirs");
            });
        rig.session.startExport(rig.chain);
        if (!squatter)
            QTRY_COMPARE(rig.running(), 2); // both named before either writes
        rig.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.exporting(), 20000);
        QStringList names;
        for (const auto& item : rig.session.items()) {
            QVERIFY2(item.status.isDone(), qPrintable(item.status.message()));
            names << item.status.file().fileName();
        }
        if (!squatter)
            QCOMPARE(names, (QStringList{"1 – Tolvex.wav", "1 – Tolvex 2.wav"}));
        else
            QCOMPARE(names, QStringList{"1 – Tolvex 2.wav"});
        QFile theirs(taken);
        QVERIFY(theirs.open(QIODevice::ReadOnly));
        if (squatter)
            QCOMPARE(theirs.readAll(), QByteArray("theirs"));
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
        QCOMPARE(BatchRunner::jobsSetting(settings), jobs);
    }
};

QTEST_GUILESS_MAIN(TestBatchRunner)
#include "test_batch_runner.moc"
