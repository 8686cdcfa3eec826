// One Tolvex per session: a second start of the real program hands its paths
// to the running one over the local socket and ends.
#include "app/InstanceChannel.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using tolvex::app::InstanceChannel;

class TestInstanceChannel : public QObject {
    Q_OBJECT

    /// Starts the program as a second start would, in `workingFolder`, with
    /// its runtime folder in `runtime`; its exit code once it ended.
    static int secondStart(const QString& runtime, const QString& workingFolder,
                           const QStringList& arguments)
    {
        QProcess second;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // Under the address sanitizer the test looks for leaks of its own; the
        // second start's Qt start-up is not what it examines.
        environment.insert("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1");
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(workingFolder);
        QSignalSpy ended(&second, &QProcess::finished);
        second.start(TOLVEX_PROGRAM, arguments);
        // The running side answers from this event loop, so it must run.
        if (!ended.wait(60000))
            second.kill();
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

private Q_SLOTS:
    void aSecondStartHandsOverItsPathsAndEnds_data()
    {
        QTest::addColumn<bool>("leftover"); // a socket file left by a run that crashed
        QTest::newRow("first start") << false;
        QTest::newRow("over a leftover") << true;
    }

    void aSecondStartHandsOverItsPathsAndEnds()
    {
        QFETCH(bool, leftover);
        QTemporaryDir runtime;
        QTemporaryDir work;
        if (leftover) {
            QFile stale(runtime.filePath("tolvex-instance"));
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
        InstanceChannel running(runtime.path());
        QVERIFY(!running.handOverOrListen({}));
        QVERIFY(running.isListening());
        QSignalSpy arrived(&running, &InstanceChannel::pathsArrived);

        QCOMPARE(secondStart(runtime.path(), work.path(), {"Teil 1.wav", "/Musik/b.wav"}), 0);
        QCOMPARE(arrived.size(), 1);
        QCOMPARE(arrived.first().first().toStringList(),
                 (QStringList{QUrl::fromLocalFile(work.filePath("Teil 1.wav")).toString(),
                              QUrl::fromLocalFile("/Musik/b.wav").toString()}));

        QCOMPARE(secondStart(runtime.path(), work.path(), {}), 0); // to the front, no files
        QCOMPARE(arrived.size(), 2);
        QVERIFY(arrived.last().first().toStringList().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestInstanceChannel)
#include "test_instance_channel.moc"
