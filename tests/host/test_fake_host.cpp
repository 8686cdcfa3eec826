// The fake host stands in for the real one in the logic tests of the render,
// chain and session layers; these cases pin down the behaviour they rely on.
#include "model/ExportFormat.h"
#include "tests/support/FakeHost.h"

#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

model::PluginInfo info(const char* name, quint32 subtype)
{
    return {model::effectType, subtype, model::fourCC("Test"), QString::fromUtf8(name),
            QStringLiteral("Test")};
}

std::unique_ptr<PluginInstance> instantiateNow(FakeHost& host, const model::PluginInfo& plugin,
                                               QString* error = nullptr)
{
    std::promise<Instantiation> promise;
    host.instantiate(plugin.codes,
                     [&promise](Instantiation result) { promise.set_value(std::move(result)); });
    Instantiation result = promise.get_future().get();
    if (auto* failure = std::get_if<HostError>(&result)) {
        if (error)
            *error = failure->description();
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PluginInstance>>(result));
}

} // namespace

class TestFakeHost : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void instantiationCompletesOnceElsewhere()
    {
        FakeHost host;
        host.addPlugin({.info = info("Gain", 1)});
        host.addPlugin({.info = info("Broken", 2), .failsToInstantiate = true});

        std::atomic<int> calls = 0;
        std::promise<std::thread::id> where;
        host.instantiate(info("Gain", 1).codes, [&](Instantiation result) {
            ++calls;
            QVERIFY(std::holds_alternative<std::unique_ptr<PluginInstance>>(result));
            where.set_value(std::this_thread::get_id());
        });
        QVERIFY(where.get_future().get() != std::this_thread::get_id());

        QString error;
        QVERIFY(!instantiateNow(host, info("Broken", 2), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!instantiateNow(host, info("Missing", 3), &error));
        QCOMPARE(calls.load(), 1);
        QCOMPARE(host.components(model::effectType).size(), 2);
        QVERIFY(host.components(model::musicEffectType).isEmpty());
    }

    void stateAndFormats()
    {
        FakeHost host;
        host.addPlugin(
            {.info = info("Stereo", 1), .latency = 0.01, .tailTime = 2, .acceptedChannels = {2}});
        auto instance = instantiateNow(host, info("Stereo", 1));
        QVERIFY(instance);
        QCOMPARE(host.liveInstances(), 1);
        QVERIFY(!instance->setInputFormat(0, *AudioFormat::standard(48000, 1)));
        QVERIFY(instance->setInputFormat(0, *AudioFormat::standard(48000, 2)));
        QVERIFY(!instance->setOutputFormat(1, *AudioFormat::standard(48000, 2)));
        QCOMPARE(instance->latency(), 0.01);
        QCOMPARE(instance->tailTime(), 2.0);

        instance->setFullState({{QStringLiteral("gain"), 0.5}});
        const auto state = instance->fullState();
        QVERIFY(state);
        QCOMPARE(state->value("gain").toDouble(), 0.5);
        QVERIFY(state->contains("uri"));
        instance.reset();
        QCOMPARE(host.liveInstances(), 0);
    }

    void offlineGraphRunsTheInstancesInOrder()
    {
        FakeHost host;
        host.addPlugin({.info = info("Delay", 1), .processor = delayProcessor(3)});
        host.addPlugin({.info = info("Gain", 2), .processor = gainProcessor(2)});
        auto delay = instantiateNow(host, info("Delay", 1));
        auto gain = instantiateNow(host, info("Gain", 2));
        const AudioFormat format = *AudioFormat::standard(44100, 2);

        auto engine = host.makeOfflineEngine();
        engine->enableManualRendering(format, 8);
        auto input = *AudioBuffer::make(format, 8);
        QVERIFY(engine->setManualRenderingInput(format, [&](qint64) { return &input; }));
        engine->attach(*delay);
        engine->attach(*gain);
        engine->connect(engine->inputNode(), *delay, format);
        engine->connect(*delay, *gain, format);
        engine->connect(*gain, engine->mainMixer(), format);
        engine->start();
        QCOMPARE(host.runningEngines(), 1);

        input.setFrameLength(8);
        for (int i = 0; i < 8; ++i) {
            input.channel(0)[i] = float(i + 1);
            input.channel(1)[i] = -float(i + 1);
        }
        auto output = *AudioBuffer::make(engine->manualRenderingFormat(), 8);
        QCOMPARE(engine->render(8, output), RenderStatus::success);
        QCOMPARE(output.frameLength(), 8);
        const float expected[] = {0, 0, 0, 2, 4, 6, 8, 10};
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(output.channel(0)[i], expected[i]);
            QCOMPARE(output.channel(1)[i], -expected[i]);
        }
        delay->setBypass(true);
        QCOMPARE(engine->render(8, output), RenderStatus::success);
        QCOMPARE(output.channel(0)[0], 2.0f);

        host.renderStatusAt = {{2, RenderStatus::cannotDoNow}};
        QCOMPARE(engine->render(8, output), RenderStatus::cannotDoNow);
        engine.reset();
        QCOMPARE(host.runningEngines(), 0);
    }

    void filesReadInBlocksAndWriteExclusively()
    {
        QTemporaryDir dir;
        FakeHost host;
        host.addFile(QStringLiteral("/in.wav"),
                     {.sampleRate = 48000, .channels = {{1, 2, 3, 4, 5}}});
        auto reader = host.openForReading(QStringLiteral("/in.wav"));
        QCOMPARE(reader->length(), 5);
        auto buffer = *AudioBuffer::make(reader->processingFormat(), 3);
        reader->read(buffer, 10);
        QCOMPARE(buffer.frameLength(), 3);
        reader->read(buffer, 10);
        QCOMPARE(buffer.frameLength(), 2);
        QCOMPARE(buffer.channel(0)[1], 5.0f);
        reader->read(buffer, 10);
        QCOMPARE(buffer.frameLength(), 0);
        QVERIFY_THROWS_EXCEPTION(HostError, host.openForReading(QStringLiteral("/missing.wav")));

        const QString target = dir.filePath(QStringLiteral("out.wav"));
        const auto settings = model::writerSettings(model::ExportFormat::wav24, 1, 48000);
        auto writer = host.openForWriting(target, settings);
        QVERIFY(QFile::exists(target));
        QVERIFY_THROWS_EXCEPTION(HostError, host.openForWriting(target, settings));
        reader->setFramePosition(1);
        reader->read(buffer, 2);
        writer->write(buffer);
        writer->finish();
        const auto written = host.written(target);
        QVERIFY(written && written->finished);
        QCOMPARE(written->channels.at(0), (std::vector<float>{2, 3}));
    }

    void realtimeGraphRoute()
    {
        FakeHost host;
        host.addPlugin({.info = info("A", 1)});
        auto a = instantiateNow(host, info("A", 1));
        auto engine = host.makeRealtimeEngine();
        auto player = host.makePlayerNode();
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        engine->attach(*player);
        engine->attach(*a);
        engine->connect(*player, *a, format);
        engine->connect(*a, engine->mainMixer(), format);
        QCOMPARE(host.realtimeEngine()->graph().route(*player),
                 (QStringList{"player", "A", "mixer"}));
        engine->detach(*a);
        QCOMPARE(host.realtimeEngine()->graph().route(*player), QStringList{"player"});

        std::atomic<int> done = 0;
        player->schedule(*AudioBuffer::make(format, 16), [&] { ++done; });
        player->schedule(*AudioBuffer::make(format, 16), [&] { ++done; });
        QVERIFY(host.player()->finishNext());
        player->stop();
        QTRY_COMPARE(done.load(), 2);
        QCOMPARE(host.player()->queued(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFakeHost)
#include "test_fake_host.moc"
