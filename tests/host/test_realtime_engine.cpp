#include "host/engine/RealtimeGraphEngine.h"
#include "host/lv2/Lv2AudioHost.h"
#include "tests/host/Lv2TestSupport.h"
#include "tests/support/ManualOutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <thread>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

AudioBuffer block(const AudioFormat& format, qint64 frames, float start)
{
    auto buffer = *AudioBuffer::make(format, frames);
    for (int c = 0; c < format.channelCount(); ++c)
        for (qint64 i = 0; i < frames; ++i)
            buffer.channel(c)[i] = (start + float(i)) * (c == 0 ? 1.0f : -1.0f) / 65536.0f;
    buffer.setFrameLength(frames);
    return buffer;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

/// A host whose engines play into ManualOutputs the test can reach.
struct ManualHost {
    ManualOutput* output = nullptr;
    double forcedRate = 0;
    Lv2AudioHost host{[this] {
        auto made = std::make_unique<ManualOutput>(forcedRate);
        output = made.get();
        return made;
    }};
};

} // namespace

class TestRealtimeEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void buffersPlayInOrderThroughThePlugins()
    {
        ManualHost manual;
        auto& host = manual.host;
        auto gain = instantiateNow(host, lv2Info(host, "urn:tolvex:test:gain"));
        auto delay = instantiateNow(host, lv2Info(host, "urn:tolvex:test:delay"));
        gain->setParameter(QStringLiteral("gain"), 2.0f);
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        QVERIFY(gain->setInputFormat(0, format) && gain->setOutputFormat(0, format));
        QVERIFY(delay->setInputFormat(0, format) && delay->setOutputFormat(0, format));

        auto engine = host.makeRealtimeEngine();
        auto player = host.makePlayerNode();
        engine->attach(*player);
        engine->attach(*gain);
        engine->attach(*delay);
        engine->connect(*player, *gain, format);
        engine->connect(*gain, *delay, format);
        engine->connect(*delay, engine->mainMixer(), format);

        std::atomic<int> completions[3] = {0, 0, 0};
        std::atomic<bool> offGuiThread = true;
        const auto gui = std::this_thread::get_id();
        const qint64 sizes[3] = {1000, 500, 2000};
        float start = 1;
        for (int i = 0; i < 3; ++i) {
            player->schedule(block(format, sizes[i], start), [&, i] {
                ++completions[i];
                offGuiThread = offGuiThread && std::this_thread::get_id() != gui;
            });
            start += float(sizes[i]);
        }
        engine->prepare();
        engine->start();
        QVERIFY(!player->playerTime());
        player->play();
        manual.output->pump(4096);

        const auto& out = manual.output->captured;
        for (qint64 i = 0; i < 4096; ++i) {
            const float source = i < 64 || i - 64 >= 3500 ? 0.0f : float(i - 64 + 1) / 65536.0f;
            QCOMPARE(out[0][size_t(i)], 2 * source);
            QCOMPARE(out[1][size_t(i)], -2 * source);
        }
        QTRY_COMPARE(completions[0].load() + completions[1].load() + completions[2].load(), 3);
        QTest::qWait(20);
        for (auto& count : completions)
            QCOMPARE(count.load(), 1);
        QVERIFY(offGuiThread);
        QCOMPARE(player->playerTime().value_or(-1), 4096);

        // Parameter and bypass changes arrive at the next block.
        gain->setParameter(QStringLiteral("gain"), 3.0f);
        player->schedule(block(format, 1024, 1), {});
        manual.output->pump(2048);
        QCOMPARE(out[0][4096 + 64 + 10], 3 * 11.0f / 65536.0f);
        delay->setBypass(true);
        player->schedule(block(format, 1024, 1), {});
        manual.output->pump(256);
        QCOMPARE(out[0][6144 + 10], 3 * 11.0f / 65536.0f);

        engine->stop();
        engine->detach(*gain);
        engine->detach(*delay);
        engine->detach(*player);
    }

    void stopDropsQueuedBuffersAndTimeRestarts()
    {
        ManualHost manual;
        auto engine = manual.host.makeRealtimeEngine();
        auto player = manual.host.makePlayerNode();
        const AudioFormat format = *AudioFormat::standard(44100, 1); // mono plays on both
        engine->attach(*player);
        engine->connect(*player, engine->mainMixer(), format);
        engine->start();
        std::atomic<int> completions = 0;
        for (int i = 0; i < 4; ++i)
            player->schedule(block(format, 44100, 1), [&] { ++completions; });
        player->play();
        manual.output->pump(1000);
        QCOMPARE(manual.output->captured[1][10], manual.output->captured[0][10]);
        QCOMPARE(player->playerTime().value_or(-1), 1000);
        player->stop();
        QVERIFY(!player->playerTime());
        manual.output->pump(256);
        QTRY_COMPARE(completions.load(), 4);
        QCOMPARE(manual.output->captured[0].back(), 0.0f);

        player->schedule(block(format, 300, 1), [&] { ++completions; });
        player->play();
        QVERIFY(!player->playerTime());
        manual.output->pump(512);
        QCOMPARE(player->playerTime().value_or(-1), 512);
        QTRY_COMPARE(completions.load(), 5);
        engine->stop();
        engine->detach(*player);
    }

    void theOutputRateIsMetByResampling()
    {
        ManualHost manual;
        manual.forcedRate = 44100;
        auto engine = manual.host.makeRealtimeEngine();
        auto player = manual.host.makePlayerNode();
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        engine->attach(*player);
        engine->connect(*player, engine->mainMixer(), format);
        auto sine = *AudioBuffer::make(format, 96000);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 96000; ++i)
                sine.channel(c)[i] = float(0.5 * std::sin(2 * M_PI * 1000 * i / 48000.0));
        sine.setFrameLength(96000);
        player->schedule(std::move(sine), {});
        engine->start();
        player->play();
        manual.output->pump(44100 + 2048);
        // One second at the device's rate holds a thousand periods of 1 kHz.
        const auto& out = manual.output->captured[0];
        int crossings = 0;
        for (size_t i = 2049; i < 2048 + 44100; ++i)
            crossings += out[i - 1] < 0 && out[i] >= 0;
        QVERIFY2(std::abs(crossings - 1000) <= 1, qPrintable(QString::number(crossings)));
        engine->stop();
        engine->detach(*player);
    }

    void positionAdvancesAtRealTimePace()
    {
        // Null output, real time: after about half a second the player has
        // played about half a second. Tolerance: 100 ms, for loaded machines.
        Lv2AudioHost host([] { return makeNullOutput(256); });
        auto engine = host.makeRealtimeEngine();
        auto player = host.makePlayerNode();
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        engine->attach(*player);
        engine->connect(*player, engine->mainMixer(), format);
        player->schedule(*AudioBuffer::make(format, 48000 * 3), {});
        engine->start();
        player->play();
        QElapsedTimer timer;
        timer.start();
        QTRY_VERIFY(player->playerTime());
        QTest::qWait(500);
        const double expected = double(timer.nsecsElapsed()) / 1e9 * 48000;
        const double played = double(player->playerTime().value_or(0));
        QVERIFY2(std::abs(played - expected) < 4800,
                 qPrintable(QStringLiteral("%1 frames after %2").arg(played).arg(expected)));
        player->stop();
        player->play();
        QTest::qWait(50);
        QVERIFY(player->playerTime().value_or(1e9) < 48000 * 0.3);
        engine->stop();
        engine->detach(*player);
    }

    void startAndStopAThousandTimesLeavesNothingBehind()
    {
        Lv2AudioHost host([] { return makeNullOutput(64); });
        auto gain = instantiateNow(host, lv2Info(host, "urn:tolvex:test:monogain"));
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        auto engine = host.makeRealtimeEngine();
        auto player = host.makePlayerNode();
        engine->attach(*player);
        engine->attach(*gain);
        QVERIFY(gain->setInputFormat(0, format) && gain->setOutputFormat(0, format));
        engine->connect(*player, *gain, format);
        engine->connect(*gain, engine->mainMixer(), format);
        const int before = threadCount();
        std::atomic<int> completions = 0;
        for (int i = 0; i < 1000; ++i) {
            player->schedule(block(format, 128, 1), [&] { ++completions; });
            engine->start();
            player->play();
            player->stop();
            engine->stop();
        }
        QTRY_COMPARE(completions.load(), 1000);
        QCOMPARE(threadCount(), before);
        engine->detach(*gain);
        engine->detach(*player);
    }

    void theDeviceOutputFallsBackToNull()
    {
        // Without a sound device the app still previews, silently.
        Lv2AudioHost host(&makeDeviceOutput);
        auto engine = host.makeRealtimeEngine();
        auto player = host.makePlayerNode();
        const AudioFormat format = *AudioFormat::standard(44100, 2);
        engine->attach(*player);
        engine->connect(*player, engine->mainMixer(), format);
        engine->start();
        player->schedule(block(format, 4410, 1), {});
        player->play();
        QTRY_VERIFY(player->playerTime().value_or(0) > 0);
        engine->stop();
        engine->detach(*player);
    }
};

QTEST_GUILESS_MAIN(TestRealtimeEngine)
#include "test_realtime_engine.moc"
