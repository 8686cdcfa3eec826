#include "host/AudioBuffer.h"

#include <QTest>

#include <cmath>

using namespace tolvex::host;

class TestAudioBuffer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formatsOutsideTheRangeAreRefused()
    {
        for (double rate : {0.0, -48000.0, double(NAN), double(INFINITY), 3.1e6})
            QVERIFY2(!AudioFormat::standard(rate, 2), qPrintable(QString::number(rate)));
        QVERIFY(!AudioFormat::standard(48000, 0) && !AudioFormat::standard(48000, 65));
        QVERIFY(AudioFormat::standard(AudioFormat::maxSampleRate, 64));
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
