#include "host/AudioBuffer.h"

#include <QTest>

#include <limits>

using namespace tolvex::host;

class TestAudioBuffer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void standardFormat_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("valid");
        QTest::newRow("cd stereo") << 44100.0 << 2 << true;
        QTest::newRow("mono") << 8000.0 << 1 << true;
        QTest::newRow("64 channels") << 96000.0 << 64 << true;
        QTest::newRow("odd rate") << 22050.5 << 6 << true;
        QTest::newRow("no channels") << 48000.0 << 0 << false;
        QTest::newRow("too many channels") << 48000.0 << 65 << false;
        QTest::newRow("zero rate") << 0.0 << 2 << false;
        QTest::newRow("negative rate") << -48000.0 << 2 << false;
        QTest::newRow("nan rate") << std::numeric_limits<double>::quiet_NaN() << 2 << false;
        QTest::newRow("infinite rate") << std::numeric_limits<double>::infinity() << 2 << false;
    }
    void standardFormat()
    {
        QFETCH(double, rate);
        QFETCH(int, channels);
        QFETCH(bool, valid);
        const auto format = AudioFormat::standard(rate, channels);
        QCOMPARE(format.has_value(), valid);
        if (format) {
            QCOMPARE(format->sampleRate(), rate);
            QCOMPARE(format->channelCount(), channels);
        }
    }

    void bufferHoldsSeparateSilentChannels()
    {
        auto buffer = AudioBuffer::make(*AudioFormat::standard(48000, 3), 4096);
        QVERIFY(buffer);
        QCOMPARE(buffer->frameCapacity(), 4096);
        QCOMPARE(buffer->frameLength(), 0);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 4096; ++i)
                QCOMPARE(buffer->channel(c)[i], 0.0f);
        buffer->channel(1)[4095] = 1.0f;
        QCOMPARE(buffer->channel(2)[0], 0.0f);
        QCOMPARE(buffer->channels()[1], buffer->channel(1));

        buffer->setFrameLength(100);
        QCOMPARE(buffer->frameLength(), 100);
        buffer->setFrameLength(5000);
        QCOMPARE(buffer->frameLength(), 4096);
        buffer->setFrameLength(-1);
        QCOMPARE(buffer->frameLength(), 0);

        // Moving keeps the channel memory and its pointers.
        float* const second = buffer->channel(1);
        AudioBuffer moved = std::move(*buffer);
        QCOMPARE(moved.channel(1), second);
        QCOMPARE(moved.channel(1)[4095], 1.0f);
    }

    void capacityOutsideTheRangeGivesNothing()
    {
        const auto format = *AudioFormat::standard(48000, 2);
        QVERIFY(!AudioBuffer::make(format, 0));
        QVERIFY(!AudioBuffer::make(format, -5));
        QVERIFY(!AudioBuffer::make(format, AudioBuffer::maxFrameCapacity + 1));
        QVERIFY(AudioBuffer::make(format, 1));
    }
};

QTEST_GUILESS_MAIN(TestAudioBuffer)
#include "test_audio_buffer.moc"
