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
        QTest::newRow("mono") << 8000.0 << 1 << true;
        QTest::newRow("64 channels, highest rate") << AudioFormat::maxSampleRate << 64 << true;
        QTest::newRow("odd rate") << 22050.5 << 6 << true;
        QTest::newRow("no channels") << 48000.0 << 0 << false;
        QTest::newRow("65 channels") << 48000.0 << 65 << false;
        QTest::newRow("zero rate") << 0.0 << 2 << false;
        QTest::newRow("negative rate") << -48000.0 << 2 << false;
        QTest::newRow("rate too high") << AudioFormat::maxSampleRate * 2 << 2 << false;
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
        QVERIFY(!format || (format->sampleRate() == rate && format->channelCount() == channels));
    }

    void bufferHoldsSeparateSilentChannels()
    {
        const auto format = *AudioFormat::standard(48000, 3);
        for (qint64 capacity : {qint64(0), qint64(-5), AudioBuffer::maxFrameCapacity + 1})
            QVERIFY(!AudioBuffer::make(format, capacity));
        auto buffer = AudioBuffer::make(format, 4096);
        QVERIFY(buffer && buffer->frameCapacity() == 4096 && buffer->frameLength() == 0);
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::all_of(buffer->channel(c), buffer->channel(c) + 4096,
                                [](float s) { return s == 0.0f; }));
        buffer->channel(1)[4095] = 1.0f;
        QCOMPARE(buffer->channel(2)[0], 0.0f);
        QCOMPARE(buffer->channels()[1], buffer->channel(1));
        const std::pair<qint64, qint64> lengths[] = {{100, 100}, {5000, 4096}, {-1, 0}};
        for (const auto& [set, kept] : lengths) {
            buffer->setFrameLength(set);
            QCOMPARE(buffer->frameLength(), kept);
        }
        // Moving keeps the channel memory and its pointers.
        float* const second = buffer->channel(1);
        AudioBuffer moved = std::move(*buffer);
        QVERIFY(moved.channel(1) == second && second[4095] == 1.0f);
    }
};

QTEST_GUILESS_MAIN(TestAudioBuffer)
#include "test_audio_buffer.moc"
