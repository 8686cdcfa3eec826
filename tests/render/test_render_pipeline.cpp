// The render with its chain in stages on threads, against the fake host: the
// same output and progress as in one line, every instance on one thread, and
// failures and cancels from within the stages that leave nothing behind.
#include "render/Renderer.h"
#include "tests/support/FakeHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <stop_token>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;

namespace {

constexpr double rate = 44100;

model::PluginInfo plugin(quint32 subtype)
{
    return {{model::effectType, subtype, 1},
            QStringLiteral("P%1").arg(subtype),
            QStringLiteral("Fake")};
}

/// A different saw tooth on every channel, with silent stretches: blocks 20
/// to 22 (inside the source) are silent.
FakeAudioFile source(qint64 frames)
{
    FakeAudioFile file{rate, {}};
    for (int c = 0; c < 2; ++c) {
        file.channels.emplace_back();
        for (qint64 i = 0; i < frames; ++i) {
            const bool silent = i >= 20 * 4096 && i < 23 * 4096;
            file.channels.back().push_back(silent ? 0.0f : float(c + 1) * float(i % 313) / 1000);
        }
    }
    return file;
}

/// The fake plugins: gains, a delay with its latency, a ring of a second.
void addPlugins(FakeHost& host)
{
    host.addPlugin({.info = plugin(1), .processor = gainProcessor(0.5f)});
    host.addPlugin({.info = plugin(2), .processor = gainProcessor(3.0f)});
    host.addPlugin({.info = plugin(3), .latency = 9000 / rate, .processor = delayProcessor(9000)});
    host.addPlugin({.info = plugin(4), .tailTime = 1.0, .processor = ringProcessor(20000, 0.25f)});
}

} // namespace

class TestRenderPipeline : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    RenderJob job(const QList<int>& plugins, int threads)
    {
        RenderJob job{QUrl::fromLocalFile("/source.wav"),
                      QUrl::fromLocalFile(m_dir.filePath(QString::number(++m_counter))),
                      {},
                      model::ExportFormat::wav32f};
        for (int subtype : plugins)
            job.plugins.append(model::PluginState::from(plugin(quint32(subtype)), false));
        job.threads = threads;
        return job;
    }

private Q_SLOTS:
    void stagesGiveWhatOneLineGives_data()
    {
        QTest::addColumn<QList<int>>("plugins");
        QTest::addColumn<int>("threads");
        QTest::addColumn<qint64>("frames");
        QTest::newRow("gain and delay in two") << QList<int>{1, 3} << 2 << qint64(300 * 4096 + 7);
        QTest::newRow("four in three, ring cut")
            << QList<int>{1, 3, 2, 4} << 3 << qint64(100 * 4096 + 99);
        QTest::newRow("more threads than plugins") << QList<int>{4, 1} << 8 << qint64(50000);
        QTest::newRow("shorter than the measuring blocks")
            << QList<int>{3, 4} << 2 << qint64(5 * 4096);
        QTest::newRow("shorter than a block") << QList<int>{1, 3, 4} << 3 << qint64(1000);
    }
    void stagesGiveWhatOneLineGives()
    {
        QFETCH(QList<int>, plugins);
        QFETCH(int, threads);
        QFETCH(qint64, frames);
        FakeHost host;
        host.addFile("/source.wav", source(frames));
        addPlugins(host);
        std::vector<double> lineProgress;
        std::vector<double> stagesProgress;
        const RenderJob line = job(plugins, 1);
        const RenderJob stages = job(plugins, threads);
        renderFile(host, line, [&](double p) { lineProgress.push_back(p); });
        renderFile(host, stages, [&](double p) { stagesProgress.push_back(p); });
        const auto lineOut = host.written(line.target.toLocalFile());
        const auto stagesOut = host.written(stages.target.toLocalFile());
        QVERIFY(lineOut && stagesOut && stagesOut->finished);
        QVERIFY(lineOut->channels.front().size() > size_t(frames) / 2);
        QCOMPARE(stagesOut->channels, lineOut->channels);
        QCOMPARE(stagesProgress, lineProgress);
        QCOMPARE(host.runningEngines(), 0);
    }

    // Each of the chain's own instances is prepared and run by one thread
    // from its first block to its last: a stage's, set up by the host for
    // plugins, never the rendering thread. The stages are measured before, on
    // instances of their own, made after the chain's, on the rendering thread.
    void everyInstanceStaysOnOneThread_data()
    {
        QTest::addColumn<QList<int>>("plugins");
        QTest::addColumn<int>("threads");
        QTest::newRow("four in two") << QList<int>{1, 3, 2, 4} << 2;
        QTest::newRow("four in three") << QList<int>{1, 3, 2, 4} << 3;
        QTest::newRow("three in three") << QList<int>{2, 4, 1} << 3;
    }
    void everyInstanceStaysOnOneThread()
    {
        QFETCH(QList<int>, plugins);
        QFETCH(int, threads);
        FakeHost host;
        host.addFile("/source.wav", source(100 * 4096 + 99));
        addPlugins(host);
        const RenderJob stages = job(plugins, threads);
        renderFile(host, stages, [](double) {});
        QVERIFY(host.written(stages.target.toLocalFile())->finished);
        const std::vector<std::set<std::thread::id>> ran = host.instanceThreads();
        const auto chain = size_t(plugins.size());
        const std::set<std::thread::id> rendering{std::this_thread::get_id()};
        std::set<std::thread::id> stageThreads;
        for (size_t i = 0; i < std::min(chain, ran.size()); ++i) {
            QCOMPARE(ran[i].size(), size_t(1));
            QVERIFY(ran[i] != rendering);
            stageThreads.insert(*ran[i].begin());
        }
        QVERIFY(stageThreads.size() >= 2 && stageThreads.size() <= size_t(threads));
        const std::set<std::thread::id> prepared = host.preparedThreads();
        QVERIFY(std::includes(prepared.begin(), prepared.end(), stageThreads.begin(),
                              stageThreads.end()));
        QCOMPARE(ran.size(), 2 * chain);
        for (size_t i = chain; i < ran.size(); ++i)
            QCOMPARE(ran[i], rendering);
    }

    void failuresInStagesLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // empty: not a render error of its own
        // Call 60 of an engine comes well after the settling second.
        QTest::newRow("a plugin fails in a stage")
            << "error" << QStringLiteral("Ein Plugin hat beim Rechnen abgebrochen.");
        QTest::newRow("the writer fails") << "write" << QString();
        QTest::newRow("the source breaks off") << "read" << QString();
        QTest::newRow("cancelled halfway") << "cancel" << QString();
    }
    void failuresInStagesLeaveNothingBehind()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        FakeHost host;
        FakeAudioFile file = source(400 * 4096);
        if (fault == u"read")
            file.failReadAt = 200 * 4096;
        host.addFile("/source.wav", file);
        addPlugins(host);
        if (fault == u"error")
            host.renderStatusAt = {{60, host::RenderStatus::error}};
        if (fault == u"write")
            host.failWriteAfterFrames = 100 * 4096;
        const RenderJob failing = job({1, 2, 3, 4}, 3);
        std::stop_source stop;
        auto progress = [&](double fraction) {
            if (fault == u"cancel" && fraction >= 0.5)
                stop.request_stop();
        };
        QString caught;
        bool ownError = false;
        bool cancelled = false;
        try {
            renderFile(host, failing, progress, stop.get_token());
        } catch (const RenderCancelled&) {
            cancelled = true;
        } catch (const model::UserError& error) {
            caught = error.message();
            ownError = dynamic_cast<const RenderError*>(&error);
        }
        QCOMPARE(cancelled, fault == u"cancel");
        QVERIFY(cancelled || !caught.isEmpty());
        QCOMPARE(ownError ? caught : QString(), message);
        QVERIFY(!QFile::exists(failing.target.toLocalFile()));
        QCOMPARE(host.runningEngines(), 0);
        QCOMPARE(host.liveInstances(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRenderPipeline)
#include "test_render_pipeline.moc"
