// How the batch shares its job slots among the files' plugin threads.
#include "session/BatchRunner.h"
#include "tests/support/FakeHost.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::session;

namespace {

/// Keeps what it is asked to launch; the test finishes the renders.
class RecordingLauncher : public RenderLauncher {
public:
    struct Launched {
        int threads;
        Finished finished;
    };

    void begin(int) override {}
    void launch(render::RenderJob job, Progress, Finished finished) override
    {
        launched.push_back({job.threads, std::move(finished)});
    }
    void cancel() override {}

    std::vector<Launched> launched;
};

} // namespace

class TestBatchThreads : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // `finishing`: the launches, by index, whose renders end one after the
    // other; `threads`: what every file was given, in the order started.
    void freeSlotsGoToFilesThatStartWithNoneWaiting_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("files");
        QTest::addColumn<QList<int>>("finishing");
        QTest::addColumn<QList<int>>("threads");
        QTest::newRow("one file, two slots") << 2 << 1 << QList<int>{0} << QList<int>{2};
        QTest::newRow("one file, one slot") << 1 << 1 << QList<int>{0} << QList<int>{1};
        QTest::newRow("many files: one each, the last too")
            << 2 << 4 << QList<int>{0, 1, 2, 3} << QList<int>{1, 1, 1, 1};
        QTest::newRow("two files, four slots") << 4 << 2 << QList<int>{0, 1} << QList<int>{2, 2};
        QTest::newRow("three files, four slots, the last gets the rest")
            << 4 << 3 << QList<int>{0, 1, 2} << QList<int>{1, 1, 2};
        QTest::newRow("two files, three slots") << 3 << 2 << QList<int>{1, 0} << QList<int>{1, 2};
    }
    void freeSlotsGoToFilesThatStartWithNoneWaiting()
    {
        QFETCH(int, jobs);
        QFETCH(int, files);
        QFETCH(QList<int>, finishing);
        QFETCH(QList<int>, threads);
        QTemporaryDir dir;
        testing::FakeHost host;
        QList<QUuid> ids;
        for (int i = 0; i < files; ++i)
            ids.append(QUuid::createUuid());
        BatchRunner runner(
            host, [&](const QUuid& id) { return QUrl::fromLocalFile(dir.filePath(id.toString())); },
            [&] {
                return OutputPlace{dir.path(), QStringLiteral("-out")};
            });
        auto launcher = std::make_unique<RecordingLauncher>();
        RecordingLauncher& recorded = *launcher;
        runner.setLauncher(std::move(launcher));
        runner.start(ids, {}, model::ExportFormat::wav24, jobs);
        for (int index : finishing) {
            QVERIFY(index < int(recorded.launched.size()));
            recorded.launched[size_t(index)].finished({model::Status::done(QUrl())});
        }
        QList<int> given;
        for (const auto& launched : recorded.launched)
            given.append(launched.threads);
        QCOMPARE(given, threads);
        QVERIFY(!runner.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestBatchThreads)
#include "test_batch_threads.moc"
