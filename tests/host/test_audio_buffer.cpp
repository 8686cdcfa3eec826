#include "host/AudioBuffer.h"

#include <QTest>

#include <limits>

using namespace tolvex::host;

class TestAudioBuffer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formatsOutsideTheRangeAreRefused()
    {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        constexpr double infinity = std::numeric_limits<double>::infinity();
        for (const auto& [rate, channels] : {std::pair{48000.0, 0},
                                             {48000.0, 65},
                                             {0.0, 2},
                                             {-48000.0, 2},
                                             {nan, 2},
                                             {infinity, 2},
                                             {3.1e6, 2}})
            QVERIFY2(!AudioFormat::standard(rate, channels), qPrintable(QString::number(rate)));
        const auto format = AudioFormat::standard(AudioFormat::maxSampleRate, 64);
        QVERIFY(format && format->sampleRate() == AudioFormat::maxSampleRate);
    }

    void bufferHoldsSeparateSilentChannels()
    {
        const auto format = *AudioFormat::standard(48000, 3);
        for (qint64 capacity : {qint64(0), qint64(-5), AudioBuffer::maxFrameCapacity + 1})
            QVERIFY(!AudioBuffer::make(format, capacity));
        auto buffer = *AudioBuffer::make(format, 4096);
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::all_of(buffer.channel(c), buffer.channel(c) + 4096,
                                [](float s) { return s == 0.0f; }));
        buffer.channel(1)[4095] = 1.0f;
        QCOMPARE(buffer.channel(2)[0], 0.0f);
        buffer.setFrameLength(5000);
        QCOMPARE(buffer.frameLength(), 4096);
    }
};

QTEST_GUILESS_MAIN(TestAudioBuffer)
#include "test_audio_buffer.moc"
