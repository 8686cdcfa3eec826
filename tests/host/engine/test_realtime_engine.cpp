// The preview's engine of the real host, and what its audio thread does,
// watched from inside the process: the probe counts every allocation and
// lock call made in the output's renderer.
#include "chain/Chain.h"
#include "host/engine/Outputs.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/AudioThreadProbe.h"
#include "tests/support/Lv2TestSupport.h"
#include "tests/support/ManualOutput.h"

#include <QCoroTask>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <thread>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

/// `frames` frames of `sample(i)`, negated on the right channel.
AudioBuffer filled(const AudioFormat& format, qint64 frames,
                   const std::function<float(qint64)>& sample)
{
    auto buffer = *AudioBuffer::make(format, frames);
    for (int c = 0; c < format.channelCount(); ++c)
        for (qint64 i = 0; i < frames; ++i)
            buffer.channel(c)[i] = sample(i) * (c == 0 ? 1.0f : -1.0f);
    buffer.setFrameLength(frames);
    return buffer;
}

/// `frames` frames counting up from `start`, in steps of 1/65536.
AudioBuffer ramp(const AudioFormat& format, qint64 frames, float start)
{
    return filled(format, frames, [start](qint64 i) { return (start + float(i)) / 65536.0f; });
}

/// A real-time engine of the real host, a player attached and connected
/// through `plugins` to the mixer. It plays into `realOutput`, or else into
/// a ManualOutput the test pumps, opened at `forcedRate` when that is given.
struct Rig {
    explicit Rig(std::vector<const char*> plugins = {}, double forcedRate = 0,
                 const AudioFormat& format = *AudioFormat::standard(48000, 2),
                 Lv2AudioHost::OutputFactory realOutput = {})
        : host(realOutput ? std::move(realOutput) : [this, forcedRate] {
              auto made = std::make_unique<ManualOutput>(forcedRate);
              output = made.get();
              return made;
          })
    {
        for (const char* uri : plugins)
            instances.push_back(instantiateNow(host, lv2Info(host, uri)));
        engine->attach(*player);
        AudioNode* previous = player.get();
        for (auto& instance : instances) {
            engine->attach(*instance);
            engine->connect(*previous, *instance, format);
            previous = instance.get();
        }
        engine->connect(*previous, engine->mainMixer(), format);
    }
    ~Rig()
    {
        engine->stop();
        for (auto& instance : instances)
            engine->detach(*instance);
        engine->detach(*player);
    }
    const std::vector<float>& out(int channel) const { return output->captured[size_t(channel)]; }

    ManualOutput* output = nullptr;
    Lv2AudioHost host;
    std::vector<std::unique_ptr<PluginInstance>> instances;
    std::unique_ptr<RealtimeEngine> engine = host.makeRealtimeEngine();
    std::unique_ptr<PlayerNode> player = host.makePlayerNode();
};

} // namespace

class TestRealtimeEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void soundPassesThroughThePlugins()
    {
        // A gain, a delay of 64 frames, and a plugin of eight channels that
        // passes each on: stereo goes through its first two.
        Rig rig({"urn:tolvex:test:gain", "urn:tolvex:test:delay", "urn:tolvex:test:mixer8"});
        rig.instances[0]->setParameter(QStringLiteral("gain"), 2.0f);
        rig.player->schedule(ramp(*AudioFormat::standard(48000, 2), 4096, 1), {});
        rig.engine->start();
        QVERIFY(!rig.player->playerTime());
        rig.player->play();
        rig.output->pump(2048);
        QCOMPARE(rig.player->playerTime().value_or(-1), 2048);
        for (qint64 i = 0; i < 2048; ++i) {
            const float source = i < 64 ? 0.0f : float(i - 64 + 1) / 65536.0f;
            QCOMPARE(rig.out(0)[size_t(i)], 2 * source);
            QCOMPARE(rig.out(1)[size_t(i)], -2 * source);
        }
        // A parameter change arrives with the next block.
        rig.instances[0]->setParameter(QStringLiteral("gain"), 3.0f);
        rig.output->pump(256);
        QCOMPARE(rig.out(0)[2048 + 10], 2 * float(2048 + 10 - 64 + 1) / 65536.0f);
        QCOMPARE(rig.out(0)[2048 + 64 + 10], 3 * float(2048 + 10 + 1) / 65536.0f);
    }

    void aNewStartHoldsNothingOfTheLastOne()
    {
        // A delay of 64 frames stopped while full of sound: started again,
        // its first 64 frames are silence, not the end of the last preview.
        Rig rig({"urn:tolvex:test:delay"});
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        rig.player->schedule(ramp(format, 4096, 1), {});
        rig.engine->start();
        rig.player->play();
        rig.output->pump(1024);
        QVERIFY(rig.out(0)[1023] != 0.0f);
        rig.player->stop();
        rig.engine->stop();
        rig.player->schedule(ramp(format, 4096, 1), {});
        rig.engine->start();
        rig.player->play();
        rig.output->pump(128);
        for (qint64 i = 1024; i < 1024 + 64; ++i)
            QCOMPARE(rig.out(0)[size_t(i)], 0.0f);
        QCOMPARE(rig.out(0)[1024 + 64], 1 / 65536.0f);
    }

    void everyScheduledBufferPlaysAndCompletesOnce_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("scheduled while stopped") << false;
        QTest::newRow("scheduled while running") << true;
    }
    void everyScheduledBufferPlaysAndCompletesOnce()
    {
        QFETCH(bool, running);
        Rig rig;
        const AudioFormat format = *AudioFormat::standard(48000, 1);
        constexpr int count = 600; // more than any fixed queue would be sized for
        std::vector<std::atomic<int>> completions(count);
        std::atomic<bool> onGuiThread = false;
        const auto gui = std::this_thread::get_id();
        if (running)
            rig.engine->start();
        for (int i = 0; i < count; ++i)
            rig.player->schedule(ramp(format, 1, float(i)), [&, i] {
                ++completions[size_t(i)];
                onGuiThread = onGuiThread || std::this_thread::get_id() == gui;
            });
        rig.engine->start();
        rig.player->play();
        rig.output->pump(count + 10);
        for (int i = 0; i < count; ++i)
            QCOMPARE(rig.out(0)[size_t(i)], float(i) / 65536.0f);
        QCOMPARE(rig.out(0)[count], 0.0f);
        for (int i = 0; i < count; ++i)
            QTRY_COMPARE(completions[size_t(i)].load(), 1);
        QVERIFY(!onGuiThread);
    }

    void theOutputRateIsMetByResampling_data()
    {
        QTest::addColumn<double>("graphRate");
        QTest::addColumn<double>("deviceRate");
        QTest::addColumn<qint64>("block");
        QTest::newRow("48 to 44.1 kHz") << 48000.0 << 44100.0 << qint64(256);
        QTest::newRow("device block longer than any chunk") << 48000.0 << 44100.0 << qint64(32768);
        QTest::newRow("22.05 to 96 kHz") << 22050.0 << 96000.0 << qint64(4096);
    }
    void theOutputRateIsMetByResampling()
    {
        QFETCH(double, graphRate);
        QFETCH(double, deviceRate);
        QFETCH(qint64, block);
        const AudioFormat format = *AudioFormat::standard(graphRate, 2);
        Rig rig({}, deviceRate, format);
        const auto sine = [&](qint64 i) {
            return float(0.5 * std::sin(2 * M_PI * 1000 * double(i) / graphRate));
        };
        rig.player->schedule(filled(format, qint64(graphRate) * 3, sine), {});
        rig.engine->start();
        rig.player->play();
        const qint64 second = qint64(deviceRate);
        rig.output->pump(2 * second, block);
        // The second second at the device's rate holds a thousand periods of 1 kHz.
        int crossings = 0;
        for (qint64 i = second + 1; i < 2 * second; ++i)
            crossings += rig.out(0)[size_t(i - 1)] < 0 && rig.out(0)[size_t(i)] >= 0;
        QVERIFY2(std::abs(crossings - 1000) <= 1, qPrintable(QString::number(crossings)));
    }

    void startAndStopAThousandTimesLeavesNothingBehind()
    {
        const auto threads = [] {
            return QDir(QStringLiteral("/proc/self/task"))
                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                .size();
        };
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        Rig rig({"urn:tolvex:test:monogain"}, 0, format, [] { return makeNullOutput(64); });
        const auto before = threads();
        std::atomic<int> completions = 0;
        for (int i = 0; i < 1000; ++i) {
            rig.player->schedule(ramp(format, 128, 1), [&] { ++completions; });
            rig.engine->start();
            rig.player->play();
            rig.player->stop();
            rig.engine->stop();
        }
        QTRY_COMPARE(completions.load(), 1000);
        QCOMPARE(threads(), before);
    }

    void theDeviceOutputFallsBackToNull()
    {
        // Without a sound device the app still previews, silently.
        const AudioFormat format = *AudioFormat::standard(44100, 2);
        Rig rig({}, 0, format, &makeDeviceOutput);
        rig.engine->start();
        rig.player->schedule(ramp(format, 4410, 1), {});
        rig.player->play();
        QTRY_VERIFY(rig.player->playerTime().value_or(0) > 0);
    }

    void aResampledPreviewNeitherAllocatesNorLocks()
    {
        if (!probe::available())
            QSKIP("the sanitizers own malloc in this build");
        // A file at 48 kHz on an output that runs at 44.1 kHz, through test
        // plugins and a packaged one.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tone.wav"));
        writeSignal(
            *createAudioFile(path, model::writerSettings(model::ExportFormat::wav24, 2, 48000)),
            sineSignal(48000, 2, 48000));
        Lv2AudioHost host([] { return probe::probedOutput(makeNullOutput(512, 44100)); });
        QSettings settings(dir.filePath(QStringLiteral("chain.ini")), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        for (const char* uri : {"urn:tolvex:test:gain", "urn:tolvex:test:delay",
                                "http://gareus.org/oss/lv2/dpl#stereo"})
            QCoro::waitFor(chain.addPlugin(lv2Info(host, uri), std::nullopt, false, false));
        QCOMPARE(chain.slots().size(), 3);

        const auto before = probe::counts();
        chain.play(*readAudioItem(host, QUrl::fromLocalFile(path)), 0);
        QVERIFY(chain.playingID());
        QTRY_VERIFY(probe::counts().callbacks > before.callbacks + 10);
        chain.slots()[0]->unit().setParameter(QStringLiteral("gain"), 0.5f);
        chain.slots()[1]->unit().setBypass(true);
        QTRY_VERIFY_WITH_TIMEOUT(!chain.playingID(), 10000); // played to its end
        const auto after = probe::counts();
        QCOMPARE(after.allocations - before.allocations, 0);
        QCOMPARE(after.locks - before.locks, 0);
    }

    void aBufferThatCannotBeHadStopsTheStart()
    {
        if (!probe::available())
            QSKIP("the sanitizers own malloc in this build");
        // The mixer's stereo buffer of 4096 frames is refused: starting fails
        // with a message rather than leaving the audio thread a missing buffer.
        Rig rig;
        {
            const probe::FailingAllocations refused(4096 * 2 * sizeof(float));
            QVERIFY_THROWS_EXCEPTION(HostError, rig.engine->start());
        }
        QVERIFY(!rig.output->started);
        rig.engine->start();
        rig.output->pump(256);
        QCOMPARE(rig.out(0).size(), size_t(256));
    }
};

QTEST_GUILESS_MAIN(TestRealtimeEngine)
#include "test_realtime_engine.moc"
