// Start and end of the application on a fake host.
#include "chain/Slot.h"
#include "session/QuitSignals.h"
#include "tests/app/AppRig.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace tolvex;
using namespace tolvex::testing;

class TestTolvexApp : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }

private Q_SLOTS:
    void commandLinePathsAreAddedAtStart()
    {
        const QString place = folder();
        AppRig rig(place);
        QSignalSpy added(&rig.app.session(), &session::Session::itemsChanged);
        rig.addAudio(place + "/in/b.wav");
        rig.addAudio(place + "/in/a.wav");
        QDir::setCurrent(place);
        rig.app.open({"in", place + "/in/b.wav"}); // the folder, and a file already in it
        QCOMPARE(added.size(), 1);
        QCOMPARE(rig.app.session().items().size(), 2);
        QCOMPARE(rig.app.session().items()[0].url.fileName(), QStringLiteral("a.wav"));
    }

    void quittingDuringAnExportKeepsTheChainAndNoPartialFile()
    {
        const QString place = folder();
        const QString out = place + "/out";
        QDir().mkpath(out);
        {
            AppRig rig(place);
            auto& session = rig.app.session();
            for (int i = 0; i < 2; ++i)
                QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
            rig.app.chain().slots().last()->setBypass(true); // changed, not saved yet
            session.add({rig.addAudio(place + "/long.wav", 30)});
            session.setFolderPath(out);
            session.startExport(rig.app.chain());
            QTRY_VERIFY_WITH_TIMEOUT(
                session.items()[0].status.isRunning() && !QDir(out).isEmpty(QDir::Files), 20000);
        } // quits here, the render still at work
        QVERIFY(QDir(out).isEmpty(QDir::Files));

        AppRig next(place);
        QTRY_COMPARE_WITH_TIMEOUT(next.app.chain().slots().size(), qsizetype(2), 20000);
        QCOMPARE(next.app.chain().slots().last()->info(), slowGain);
        QVERIFY(next.app.chain().slots().last()->bypass());
    }

    void terminationSignalsArriveOnTheGuiThread()
    {
        session::QuitSignals quit({SIGTERM});
        QSignalSpy received(&quit, &session::QuitSignals::received);
        std::raise(SIGTERM);
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toInt(), SIGTERM);
    }
};

QTEST_MAIN(TestTolvexApp)
#include "test_tolvex_app.moc"
