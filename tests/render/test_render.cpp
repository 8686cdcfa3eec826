// The render's logic against the in-memory fake host.
#include "host/HostError.h"
#include "host/PropertyList.h"
#include "render/ChainBuffers.h"
#include "render/Renderer.h"
#include "tests/support/FakeHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using host::HostError;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

model::PluginInfo plugin(const char* name, quint32 subtype)
{
    return {model::effectType, subtype, model::fourCC("Fake"), QString::fromUtf8(name),
            QStringLiteral("Fake")};
}

FakeAudioFile ramp(int channels, qint64 frames, double sampleRate = rate)
{
    FakeAudioFile file;
    file.sampleRate = sampleRate;
    for (int c = 0; c < channels; ++c) {
        std::vector<float> samples;
        for (qint64 i = 0; i < frames; ++i)
            samples.push_back(float(c + 1) * (0.001f + float(i % 997) / 2000.0f));
        file.channels.push_back(samples);
    }
    return file;
}

struct Rendered {
    std::vector<double> progress;
    std::optional<FakeWrittenFile> file;
    bool exists = false;
};

} // namespace

class TestRender : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    RenderJob job(QList<model::PluginInfo> plugins, ExportFormat format = ExportFormat::wav24)
    {
        RenderJob job;
        job.source = QUrl::fromLocalFile(QStringLiteral("/source.wav"));
        job.target =
            QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("out%1.wav").arg(++m_counter)));
        job.format = format;
        for (const auto& info : plugins)
            job.plugins.append(model::PluginState::from(info, false));
        return job;
    }

    Rendered run(FakeHost& host, const RenderJob& job, std::stop_token stop = {})
    {
        Rendered result;
        renderFile(
            host, job, [&](double fraction) { result.progress.push_back(fraction); }, stop);
        result.file = host.written(job.target.toLocalFile());
        result.exists = QFile::exists(job.target.toLocalFile());
        return result;
    }

    /// Runs a render that must fail; returns the error's description and
    /// checks that no output remains and no engine runs.
    template <typename Error>
    QString failure(FakeHost& host, const RenderJob& job, std::stop_token stop = {})
    {
        QString description;
        try {
            renderFile(
                host, job, [](double) {}, stop);
        } catch (const Error& error) {
            description = QString::fromUtf8(error.what());
        }
        [&] {
            QVERIFY2(!description.isNull(), "no error of the expected type");
            QVERIFY(!QFile::exists(job.target.toLocalFile()));
            QCOMPARE(host.runningEngines(), 0);
            QCOMPARE(host.liveInstances(), 0);
        }();
        return description;
    }

private Q_SLOTS:
    void emptyChainConvertsTheSource()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 10000));
        const Rendered out = run(host, job({}));
        QVERIFY(out.exists && out.file && out.file->finished);
        QCOMPARE(out.file->channels, ramp(2, 10000).channels);
        QCOMPARE(out.file->settings, model::writerSettings(ExportFormat::wav24, 2, rate));
        QCOMPARE(out.progress.back(), 1.0);
        QCOMPARE(host.runningEngines(), 0);
    }

    void channelTable_data()
    {
        QTest::addColumn<int>("sourceChannels");
        QTest::addColumn<QList<int>>("accepted");
        QTest::addColumn<int>("outputChannels");
        QTest::newRow("any: as it is") << 1 << QList<int>{} << 1;
        QTest::newRow("six, any") << 6 << QList<int>{} << 6;
        QTest::newRow("mono through stereo only") << 1 << QList<int>{2} << 1;
        QTest::newRow("six through stereo only") << 6 << QList<int>{2} << 2;
        QTest::newRow("stereo through stereo") << 2 << QList<int>{2} << 2;
    }
    void channelTable()
    {
        QFETCH(int, sourceChannels);
        QFETCH(QList<int>, accepted);
        QFETCH(int, outputChannels);
        FakeHost host;
        host.addFile("/source.wav", ramp(sourceChannels, 5000));
        FakePlugin gain{.info = plugin("Gain", 1), .processor = gainProcessor(2)};
        gain.acceptedChannels = {accepted.begin(), accepted.end()};
        host.addPlugin(gain);
        const Rendered out = run(host, job({gain.info}));
        QCOMPARE(int(out.file->channels.size()), outputChannels);
        QCOMPARE(out.file->settings.channels, outputChannels);
        const auto source = ramp(sourceChannels, 5000).channels;
        for (int c = 0; c < outputChannels; ++c) {
            for (size_t i = 0; i < 5000; i += 77) {
                // A mono source fed to both chain channels comes back as the
                // mean of the two, which is the processed mono signal.
                const float expected = 2 * source[size_t(std::min(c, sourceChannels - 1))][i];
                QCOMPARE(out.file->channels[size_t(c)][i], expected);
            }
        }
    }

    void meanOfDifferentChannels()
    {
        // Render channels that differ are averaged into every output channel.
        auto render = *host::AudioBuffer::make(*host::AudioFormat::standard(rate, 2), 8);
        auto write = *host::AudioBuffer::make(*host::AudioFormat::standard(rate, 1), 8);
        for (int i = 0; i < 8; ++i) {
            render.channel(0)[i] = float(i);
            render.channel(1)[i] = 1.0f;
        }
        render.setFrameLength(8);
        copyForOutput(render, 3, write);
        QCOMPARE(write.frameLength(), 5);
        QCOMPARE(write.channel(0)[0], 2.0f); // (3 + 1) / 2
        QCOMPARE(peakLevel(render), 7.0f);
        render.setFrameLength(0);
        QCOMPARE(peakLevel(render), 0.0f);
    }

    void noLayoutFits_data()
    {
        QTest::addColumn<double>("sampleRate");
        QTest::addColumn<QString>("message");
        QTest::newRow("44.1") << 44100.0 << "Die Kette kann 44.1 kHz nicht verarbeiten.";
        QTest::newRow("48") << 48000.0 << "Die Kette kann 48 kHz nicht verarbeiten.";
    }
    void noLayoutFits()
    {
        QFETCH(double, sampleRate);
        QFETCH(QString, message);
        FakeHost host;
        host.addFile("/source.wav", ramp(1, 100, sampleRate));
        host.addPlugin({.info = plugin("Quad", 1), .acceptedChannels = {4}});
        QCOMPARE(failure<RenderError>(host, job({plugin("Quad", 1)})), message);
    }

    void latencyIsDroppedFromTheStart_data()
    {
        QTest::addColumn<double>("latencyFrames"); // as the plugins report it
        QTest::addColumn<qint64>("delay");         // what they really do
        QTest::newRow("whole") << 64.0 << qint64(64);
        QTest::newRow("half rounds away from zero") << 2.5 << qint64(3);
        QTest::newRow("below half rounds down") << 2.4 << qint64(2);
        QTest::newRow("across a block") << 5000.0 << qint64(5000);
        QTest::newRow("two blocks and more") << 9000.0 << qint64(9000);
    }
    void latencyIsDroppedFromTheStart()
    {
        QFETCH(double, latencyFrames);
        QFETCH(qint64, delay);
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 20000));
        host.addPlugin({.info = plugin("Delay", 1),
                        .latency = latencyFrames / rate,
                        .processor = delayProcessor(delay)});
        const Rendered out = run(host, job({plugin("Delay", 1)}));
        const auto source = ramp(2, 20000).channels;
        QCOMPARE(out.file->channels[0].size(), size_t(20000)); // source + latency - latency
        for (size_t i = 0; i < 20000; i += 13)
            QCOMPARE(out.file->channels[1][i], source[1][i]);
    }

    void tailRingsOutAndIsCut()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(1, 10000));
        host.addPlugin(
            {.info = plugin("Ring", 1), .tailTime = 5, .processor = ringProcessor(6000, 0.5f)});
        const Rendered out = run(host, job({plugin("Ring", 1)}));
        // The ring ends at frame 16000; the first block starting at or after
        // the source's end that is silent starts at 16384 and is not written.
        QCOMPARE(out.file->channels[0].size(), size_t(16384));
        QCOMPARE(out.file->channels[0][15999], 0.5f);
        QCOMPARE(out.file->channels[0][16100], 0.0f);
        QCOMPARE(out.progress.back(), 1.0);
    }

    void tailIsCappedAtTenSeconds()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(1, 1000));
        host.addPlugin({.info = plugin("Forever", 1),
                        .tailTime = 12,
                        .processor = ringProcessor(qint64(rate) * 60, 0.5f)});
        const Rendered out = run(host, job({plugin("Forever", 1)}));
        QCOMPARE(qint64(out.file->channels[0].size()), 1000 + qint64(rate) * 10);
    }

    void silenceInsideTheSourceIsKept()
    {
        FakeHost host;
        FakeAudioFile file = ramp(1, 30000);
        std::fill(file.channels[0].begin() + 4096, file.channels[0].begin() + 4096 * 4, 0.0f);
        host.addFile("/source.wav", file);
        host.addPlugin({.info = plugin("Tail", 1), .tailTime = 1});
        const Rendered out = run(host, job({plugin("Tail", 1)}));
        // The silent blocks inside the source are written, and so is the
        // block that starts before the source's end (28672), in full; the next
        // one starts after it, is silent and ends the file.
        QCOMPARE(out.file->channels[0].size(), size_t(32768));
        QCOMPARE(out.file->channels[0][4096 * 2], 0.0f);
        QCOMPARE(out.file->channels[0][29999], file.channels[0][29999]);
    }

    void progressIsThrottledAndEndsWithOne()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 4096 * 300 + 5));
        const Rendered out = run(host, job({}));
        // About a hundred calls, never closer than 0.01, then 1.0.
        QVERIFY(out.progress.size() >= 50 && out.progress.size() <= 102);
        for (size_t i = 1; i < out.progress.size() - 1; ++i)
            QVERIFY(out.progress[i] - out.progress[i - 1] >= 0.01);
        QCOMPARE(out.progress.back(), 1.0);
    }

    void tinyTotals_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<std::vector<double>>("progress");
        QTest::newRow("zero frames") << qint64(0) << std::vector<double>{1.0};
        QTest::newRow("one frame") << qint64(1) << std::vector<double>{1.0, 1.0};
    }
    void tinyTotals()
    {
        QFETCH(qint64, frames);
        QFETCH(std::vector<double>, progress);
        FakeHost host;
        host.addFile("/source.wav", ramp(1, frames));
        const Rendered out = run(host, job({}));
        QCOMPARE(out.progress, progress);
        QVERIFY(out.exists && out.file->finished);
        QCOMPARE(qint64(out.file->channels[0].size()), frames);
    }

    void undecodableStateIsIgnored()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(1, 100));
        host.addPlugin({.info = plugin("Gain", 1)});
        RenderJob broken = job({plugin("Gain", 1)});
        broken.plugins[0].state = QByteArray("not a property list");
        QVERIFY(run(host, broken).exists);
        RenderJob array = job({plugin("Gain", 1)});
        array.plugins[0].state = *host::writeBinaryPropertyList({{"a", 1}});
        QVERIFY(run(host, array).exists);
    }

    void failures()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 50000));
        host.addPlugin({.info = plugin("Good", 1)});
        host.addPlugin({.info = plugin("X", 2), .failsToInstantiate = true});

        QVERIFY(!failure<HostError>(host,
                                    [&] {
                                        auto missing = job({});
                                        missing.source = QUrl::fromLocalFile("/missing.wav");
                                        return missing;
                                    }())
                     .isEmpty());
        QCOMPARE(failure<RenderError>(host, job({plugin("Good", 1), plugin("X", 2)})),
                 QStringLiteral("„X“ lässt sich nicht laden."));
        QCOMPARE(failure<RenderError>(host, job({plugin("Not installed", 9)})),
                 QStringLiteral("„Not installed“ lässt sich nicht laden."));

        host.refuseManualRendering = true;
        failure<HostError>(host, job({plugin("Good", 1)}));
        host.refuseManualRendering = false;

        host.refuseManualRenderingInput = true;
        QCOMPARE(failure<RenderError>(host, job({})),
                 QStringLiteral("Export lässt sich nicht vorbereiten."));
        host.refuseManualRenderingInput = false;

        host.failEngineStart = true;
        failure<HostError>(host, job({}));
        host.failEngineStart = false;

        host.renderStatusAt = {{3, host::RenderStatus::cannotDoNow}};
        QCOMPARE(failure<RenderError>(host, job({plugin("Good", 1)})),
                 QStringLiteral("Ein Plugin hat beim Rechnen abgebrochen."));
        host.renderStatusAt = {{0, host::RenderStatus::error}};
        QCOMPARE(failure<RenderError>(host, job({})),
                 QStringLiteral("Ein Plugin hat beim Rechnen abgebrochen."));
        host.renderStatusAt = {{0, host::RenderStatus::insufficientInput}};
        QVERIFY(run(host, job({})).exists); // insufficient input goes on
        host.renderStatusAt.reset();

        host.failWriteAfterFrames = 10000;
        failure<HostError>(host, job({}));
        host.failWriteAfterFrames.reset();

        FakeAudioFile damaged = ramp(2, 50000);
        damaged.failReadAt = 30000;
        host.addFile("/damaged.wav", damaged);
        auto damagedJob = job({});
        damagedJob.source = QUrl::fromLocalFile("/damaged.wav");
        failure<HostError>(host, damagedJob);
    }

    void anExistingTargetIsNeverReplaced()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 500));
        const RenderJob taken = job({});
        QFile file(taken.target.toLocalFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("precious");
        file.close();
        QVERIFY_THROWS_EXCEPTION(HostError, renderFile(host, taken, [](double) {}));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("precious"));
        QCOMPARE(host.runningEngines(), 0);
    }

    void cancellationAtAChosenBlock()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(2, 4096 * 20));
        std::stop_source stop;
        int blocks = 0;
        const RenderJob cancelled = job({});
        QString caught;
        try {
            renderFile(
                host, cancelled,
                [&](double) {
                    if (++blocks == 5)
                        stop.request_stop();
                },
                stop.get_token());
        } catch (const RenderCancelled&) {
            caught = QStringLiteral("cancelled");
        } catch (const RenderError&) {
            caught = QStringLiteral("render error");
        }
        QCOMPARE(caught, QStringLiteral("cancelled"));
        QCOMPARE(host.written(cancelled.target.toLocalFile())->channels[0].size(),
                 size_t(4096 * 5));
        QVERIFY(!QFile::exists(cancelled.target.toLocalFile()));
        QCOMPARE(host.runningEngines(), 0);
    }

    void rendersInTheBackground()
    {
        FakeHost host;
        host.addFile("/source.wav", ramp(1, 1000));
        auto future = renderInBackground(host, job({}), [](double) {}, {});
        future.waitForFinished();
        QVERIFY(!future.result());
        RenderJob missing = job({});
        missing.source = QUrl::fromLocalFile("/missing.wav");
        auto failed = renderInBackground(host, missing, [](double) {}, {});
        failed.waitForFinished();
        QVERIFY_THROWS_EXCEPTION(HostError, std::rethrow_exception(failed.result()));
    }
};

QTEST_GUILESS_MAIN(TestRender)
#include "test_render.moc"
