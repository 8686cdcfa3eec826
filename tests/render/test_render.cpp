// The render's logic against the in-memory fake host.
#include "host/HostError.h"
#include "host/PropertyList.h"
#include "model/NumberedName.h"
#include "render/ChainBuffers.h"
#include "render/ProgressSteps.h"
#include "render/Renderer.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

model::PluginInfo plugin(const char* name, quint32 subtype)
{
    return {{model::effectType, subtype, 1}, QString::fromUtf8(name), QStringLiteral("Fake")};
}

/// A different saw tooth on every channel.
FakeAudioFile ramp(int channels, qint64 frames, double sampleRate = rate)
{
    FakeAudioFile file{sampleRate, {}};
    for (int c = 0; c < channels; ++c) {
        file.channels.emplace_back();
        for (qint64 i = 0; i < frames; ++i)
            file.channels.back().push_back(float(c + 1) * (0.001f + float(i % 997) / 2000.0f));
    }
    return file;
}

} // namespace

class TestRender : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    RenderJob job(const QList<model::PluginInfo>& plugins = {})
    {
        RenderJob job{QUrl::fromLocalFile("/source.wav"),
                      QUrl::fromLocalFile(m_dir.filePath(QString::number(++m_counter))),
                      {},
                      ExportFormat::wav32f}; // kept as rendered: neither clipped nor dithered
        for (const auto& info : plugins)
            job.plugins.append(model::PluginState::from(info, false));
        return job;
    }

    /// Renders and returns what was written; `progress` receives every call.
    FakeWrittenFile run(FakeHost& host, const RenderJob& job, std::vector<double>* progress = {})
    {
        renderFile(host, job, [&](double fraction) {
            if (progress)
                progress->push_back(fraction);
        });
        [&] {
            QVERIFY(QFile::exists(job.target.toLocalFile()));
            QCOMPARE(host.runningEngines(), 0);
        }();
        return host.written(job.target.toLocalFile()).value_or(FakeWrittenFile{});
    }

private Q_SLOTS:
    void emptyChainConvertsTheSource_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<std::vector<double>>("progress"); // empty: only the rules are checked
        QTest::newRow("no frames") << qint64(0) << std::vector<double>{1.0};
        QTest::newRow("one frame") << qint64(1) << std::vector<double>{1.0, 1.0};
        QTest::newRow("several blocks") << qint64(10000) << std::vector<double>{};
        QTest::newRow("300 blocks") << qint64(4096 * 300 + 5) << std::vector<double>{};
    }
    void emptyChainConvertsTheSource()
    {
        QFETCH(qint64, frames);
        QFETCH(std::vector<double>, progress);
        FakeHost host;
        host.addFile("/source.wav", ramp(2, frames));
        std::vector<double> reported;
        const FakeWrittenFile out = run(host, job(), &reported);
        QVERIFY(out.finished);
        QCOMPARE(out.channels, ramp(2, frames).channels);
        QCOMPARE(out.settings, model::writerSettings(ExportFormat::wav32f, 2, rate));
        QVERIFY(progress.empty() || reported == progress);
        // About a hundred calls at most, never closer than 0.01, then 1.0.
        QCOMPARE(reported.back(), 1.0);
        QVERIFY(reported.size() <= 102 && (frames < 4096 * 300 || reported.size() >= 50));
        for (size_t i = 1; i + 1 < reported.size(); ++i)
            QVERIFY(reported[i] - reported[i - 1] >= 0.01);
    }

    // A mono source fed to both chain channels comes back as the mean of the
    // two, which is the processed mono signal; the latency, rounded to whole
    // frames, is dropped from the start.
    void chainOutputIsTheSourceProcessed_data()
    {
        QTest::addColumn<int>("sourceChannels");
        QTest::addColumn<QList<int>>("accepted"); // by the gain; empty: any
        QTest::addColumn<int>("outputChannels");
        QTest::addColumn<double>("latencyFrames"); // as the delay reports it
        QTest::addColumn<qint64>("delay");         // what it really does
        QTest::newRow("any layout: as it is") << 6 << QList<int>{} << 6 << 0.0 << qint64(0);
        QTest::newRow("six through stereo, latency")
            << 6 << QList<int>{2} << 2 << 64.0 << qint64(64);
        QTest::newRow("half rounds away from zero") << 2 << QList<int>{} << 2 << 2.5 << qint64(3);
        QTest::newRow("mono through stereo, below half rounds down")
            << 1 << QList<int>{2} << 1 << 2.4 << qint64(2);
        QTest::newRow("mono, two blocks and more of latency")
            << 1 << QList<int>{2} << 1 << 9000.0 << qint64(9000);
    }
    void chainOutputIsTheSourceProcessed()
    {
        QFETCH(int, sourceChannels);
        QFETCH(QList<int>, accepted);
        QFETCH(int, outputChannels);
        QFETCH(double, latencyFrames);
        QFETCH(qint64, delay);
        FakeHost host;
        host.addFile("/source.wav", ramp(sourceChannels, 20000));
        host.addPlugin({.info = plugin("Gain", 1),
                        .acceptedChannels = {accepted.begin(), accepted.end()},
                        .processor = gainProcessor(2)});
        host.addPlugin({.info = plugin("Delay", 2),
                        .latency = latencyFrames / rate,
                        .processor = delayProcessor(delay)});
        const FakeWrittenFile out = run(host, job({plugin("Gain", 1), plugin("Delay", 2)}));
        QCOMPARE(out.settings.channels, outputChannels);
        QCOMPARE(int(out.channels.size()), outputChannels);
        auto expected = ramp(sourceChannels, 20000).channels;
        expected.resize(size_t(outputChannels));
        for (auto& channel : expected)
            std::transform(channel.begin(), channel.end(), channel.begin(),
                           [](float sample) { return 2 * sample; });
        QCOMPARE(out.channels, expected);
    }

    void tailRingsOutUntilTheFirstSilentBlock_data()
    {
        QTest::addColumn<qint64>("sourceFrames");
        QTest::addColumn<double>("tailSeconds");
        QTest::addColumn<qint64>("ringFrames"); // output after the source falls silent
        QTest::addColumn<bool>("silentInside"); // blocks 2 to 4 of the source are silent
        QTest::addColumn<qint64>("length");
        // The ring ends at 16000: the block from 16384 is silent and not written.
        QTest::newRow("ring is cut")
            << qint64(10000) << 5.0 << qint64(6000) << false << qint64(16384);
        QTest::newRow("12 s count as 10")
            << qint64(1000) << 12.0 << qint64(rate * 60) << false << qint64(1000 + rate * 10);
        // Silent blocks inside the source, and the block that starts before
        // its end, are written; the next one is silent and ends the file.
        QTest::newRow("silence inside the source")
            << qint64(30000) << 1.0 << qint64(0) << true << qint64(32768);
    }
    void tailRingsOutUntilTheFirstSilentBlock()
    {
        QFETCH(qint64, sourceFrames);
        QFETCH(double, tailSeconds);
        QFETCH(qint64, ringFrames);
        QFETCH(bool, silentInside);
        QFETCH(qint64, length);
        FakeHost host;
        FakeAudioFile file = ramp(1, sourceFrames);
        if (silentInside)
            std::fill(file.channels[0].begin() + 4096, file.channels[0].begin() + 4096 * 4, 0.0f);
        host.addFile("/source.wav", file);
        host.addPlugin({.info = plugin("Ring", 1),
                        .tailTime = tailSeconds,
                        .processor = ringProcessor(ringFrames, 0.5f)});
        std::vector<double> progress;
        const auto out = run(host, job({plugin("Ring", 1)}), &progress).channels[0];
        QCOMPARE(qint64(out.size()), length);
        QVERIFY(std::equal(file.channels[0].begin(), file.channels[0].end(), out.begin()));
        QCOMPARE(progress.back(), 1.0);
    }

    void unusableStatesAndShortInputAreNoFailure()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(1, 100));
        host.addPlugin({.info = plugin("Gain", 1)});
        RenderJob broken = job({plugin("Gain", 1), plugin("Gain", 1)});
        broken.plugins[0].state = QByteArray("not a property list");
        broken.plugins[1].state = *host::writeBinaryPropertyList({{"a", 1}});
        host.renderStatusAt = {{0, host::RenderStatus::insufficientInput}};
        QVERIFY(run(host, broken).finished);
    }

    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // empty: the host's own error
        QTest::newRow("source missing") << "missing" << QString();
        QTest::newRow("target taken") << "taken" << QString();
        QTest::newRow("read fails") << "damaged" << QString();
        QTest::newRow("plugin fails") << "X" << QStringLiteral("„X“ lässt sich nicht laden.");
        QTest::newRow("no layout at the file's rate")
            << "Quad" << QStringLiteral("Die Kette kann 44.1 kHz nicht verarbeiten.");
        QTest::newRow("input refused")
            << "refuse input" << QStringLiteral("Export lässt sich nicht vorbereiten.");
        QTest::newRow("render error")
            << "error" << QStringLiteral("Ein Plugin hat beim Rechnen abgebrochen.");
        QTest::newRow("write fails") << "write" << QString();
    }
    void failuresLeaveNothingBehind()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        FakeHost host;
        FakeAudioFile source = ramp(2, 50000, 44100);
        source.failReadAt = fault == u"damaged" ? std::optional<qint64>(30000) : std::nullopt;
        host.addFile(fault == u"missing" ? "/other.wav" : "/source.wav", source);
        host.addPlugin({.info = plugin("Good", 1)});
        host.addPlugin({.info = plugin("X", 2), .failsToInstantiate = true});
        host.addPlugin({.info = plugin("Quad", 3), .acceptedChannels = {4}});
        host.refuseManualRenderingInput = fault == u"refuse input";
        if (fault == u"error")
            host.renderStatusAt = {{14, host::RenderStatus::error}}; // after 11 settling calls
        if (fault == u"write")
            host.failWriteAfterFrames = 10000;
        RenderJob failing = job({plugin("Good", 1)});
        if (fault == u"X" || fault == u"Quad")
            failing.plugins.append(
                model::PluginState::from(plugin(qPrintable(fault), fault == u"X" ? 2 : 3), false));
        QFile target(failing.target.toLocalFile());
        if (fault == u"taken")
            QVERIFY(target.open(QIODevice::WriteOnly) && target.write("precious") == 8);
        target.close();
        QString caught;
        bool ownError = false;
        try {
            renderFile(host, failing, [](double) {});
        } catch (const model::UserError& error) {
            caught = error.message();
            ownError = dynamic_cast<const RenderError*>(&error);
        }
        QVERIFY2(!caught.isEmpty(), "no error with a message");
        QCOMPARE(ownError ? caught : QString(), message);
        if (fault == u"write") // from the encoder thread, unchanged
            QCOMPARE(caught,
                     u'„' + target.fileName().section('/', -1) + "“ lässt sich nicht schreiben.");
        // An existing file is never replaced, and no partial one is left.
        QCOMPARE(target.open(QIODevice::ReadOnly) ? target.readAll() : QByteArray("gone"),
                 QByteArray(fault == u"taken" ? "precious" : "gone"));
        QCOMPARE(host.runningEngines(), 0);
        QCOMPARE(host.liveInstances(), 0);
    }

    // Another process takes the name while the file is written: the finished
    // file moves on to the next free name of its series, or, for a job that
    // names one target only, fails. Nothing is rendered twice.
    void aNameTakenMeanwhileMovesOnAtTheEnd_data()
    {
        QTest::addColumn<int>("number");     // of the target in its series
        QTest::addColumn<int>("squatted");   // names of the series taken meanwhile
        QTest::addColumn<QString>("placed"); // where the file goes; empty: fails
        QTest::newRow("first name") << 1 << 1 << "x 2.wav";
        QTest::newRow("two more taken") << 1 << 3 << "x 4.wav";
        QTest::newRow("third name") << 3 << 1 << "x 4.wav";
        QTest::newRow("one target only") << 0 << 1 << QString();
    }
    void aNameTakenMeanwhileMovesOnAtTheEnd()
    {
        QFETCH(int, number);
        QFETCH(int, squatted);
        QFETCH(QString, placed);
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 10000));
        const QString folder = m_dir.filePath(QStringLiteral("taken%1").arg(++m_counter));
        QVERIFY(QDir().mkpath(folder));
        const QString first = folder + "/x.wav";
        const int own = std::max(number, 1);
        RenderJob render = job();
        render.target = QUrl::fromLocalFile(model::numberedName(first, own));
        render.targetNumber = number;
        // Taken after the last block, before the file is complete.
        const auto squat = [&](double fraction) {
            for (int n = own; fraction == 1.0 && n < own + squatted; ++n)
                QFile(model::numberedName(first, n)).open(QIODevice::WriteOnly);
        };
        QUrl result;
        try {
            result = renderFile(host, render, squat).file;
        } catch (const host::NameTaken&) {
        }
        QCOMPARE(result.fileName(), placed);
        QCOMPARE(host.writersMade(), 1);
        QStringList expected;
        for (int n = own; n < own + squatted; ++n)
            expected << QFileInfo(model::numberedName(first, n)).fileName();
        if (!placed.isEmpty())
            expected << placed;
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), expected);
        if (!placed.isEmpty())
            QVERIFY(host.written(result.toLocalFile())->finished);
    }

    void cancellationRemovesThePartialOutput()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 4096 * 20));
        std::stop_source stop;
        int blocks = 0;
        const RenderJob cancelled = job();
        const auto cancelAtFive = [&](double) {
            if (++blocks == 5)
                stop.request_stop();
        };
        QVERIFY_THROWS_EXCEPTION(RenderCancelled,
                                 renderFile(host, cancelled, cancelAtFive, stop.get_token()));
        // Rendering stopped after the fifth block; the encoder may not have
        // written all of them before it was told to drop the rest.
        QVERIFY(host.written(cancelled.target.toLocalFile())->channels[0].size() <= 4096u * 5);
        QVERIFY(!QFile::exists(cancelled.target.toLocalFile()));
        QCOMPARE(host.runningEngines(), 0);
    }

    // A pass reports in steps of a hundredth, and besides at least every
    // heartbeat, however long the file: an hour without a report would look
    // like a hang to a worker's parent.
    void progressStepsBeatThroughLongPasses_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("block");
        QTest::newRow("ten seconds") << qint64(48000 * 10) << qint64(4096);
        QTest::newRow("twenty hours") << qint64(48000) * 3600 * 20 << qint64(4096 * 64);
    }
    void progressStepsBeatThroughLongPasses()
    {
        QFETCH(qint64, total);
        QFETCH(qint64, block);
        QList<double> reports;
        qint64 done = 0;
        qint64 reportedAt = 0;
        qint64 longestGap = 0;
        ProgressSteps steps(
            [&](double fraction) {
                reports << fraction;
                longestGap = std::max(longestGap, done - reportedAt);
                reportedAt = done;
            },
            0.8, 1, total);
        while (done < total) {
            done = std::min(total, done + block);
            steps.reach(done);
        }
        QVERIFY(reports.size() >= 50);
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
        QVERIFY(reports.first() >= 0.8 && reports.last() >= 0.998 && reports.last() <= 1.0);
        QVERIFY(longestGap <= ProgressSteps::heartbeatFrames);
    }

    // A render to a loudness target keeps the chain's output in a hidden
    // scratch file beside the target: it is gone however the render ends.
    void scratchAudioGoesWithTheRender_data()
    {
        QTest::addColumn<int>("cancelAt"); // progress report; 0: never
        QTest::newRow("finished") << 0;
        QTest::newRow("cancelled in the chain's pass") << 3;
        QTest::newRow("cancelled while writing the output") << 110; // of about 200
    }
    void scratchAudioGoesWithTheRender()
    {
        QFETCH(int, cancelAt);
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 4096 * 100));
        RenderJob render = job();
        render.loudnessTarget = model::LoudnessTarget{-16, -1};
        std::stop_source stop;
        int reports = 0;
        const auto cancel = [&](double) {
            if (++reports == cancelAt)
                stop.request_stop();
        };
        bool cancelled = false;
        try {
            renderFile(host, render, cancel, stop.get_token());
        } catch (const RenderCancelled&) {
            cancelled = true;
        }
        QCOMPARE(cancelled, cancelAt > 0);
        const QStringList left = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left.filter(".part").isEmpty(), qPrintable(left.join(", ")));
        QCOMPARE(QFile::exists(render.target.toLocalFile()), !cancelled);
    }
};

QTEST_GUILESS_MAIN(TestRender)
#include "test_render.moc"
