// The true peak reading: the same to the bit however the frames come in
// (whole blocks go through the vector loops, single frames through the
// scalar ones), and right on a signal whose peak lies between its samples.
#include "host/loudness/TruePeak.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace tolvex;

namespace {

/// Noise with a few loud spikes, `frames` long; channel c is scaled by 1/(c+1).
host::AudioBuffer spikyNoise(double rate, int channels, qint64 frames)
{
    auto buffer = host::AudioBuffer::make(*host::AudioFormat::standard(rate, channels), frames);
    buffer->setFrameLength(frames);
    QRandomGenerator random(11);
    for (int c = 0; c < channels; ++c)
        for (qint64 i = 0; i < frames; ++i) {
            const double spike = random.bounded(500) == 0 ? 1.4 : 0.3;
            buffer->channel(c)[i] = float(spike * (random.generateDouble() * 2 - 1) / (c + 1));
        }
    return std::move(*buffer);
}

/// The reading of `audio` fed in pieces of `piece` frames.
double reading(const host::AudioBuffer& audio, qint64 piece)
{
    host::TruePeak peak(audio.channelCount(), audio.format().sampleRate());
    auto part = host::AudioBuffer::make(audio.format(), piece);
    for (qint64 done = 0; done < audio.frameLength(); done += piece) {
        const qint64 n = std::min(piece, audio.frameLength() - done);
        for (int c = 0; c < audio.channelCount(); ++c)
            std::copy_n(audio.channel(c) + done, n, part->channel(c));
        part->setFrameLength(n);
        peak.add(*part);
    }
    return peak.maximum();
}

} // namespace

class TestTruePeak : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readingDoesNotDependOnThePieces_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("piece");
        QTest::newRow("44.1 kHz stereo, blocks of 4096") << 44100.0 << 2 << qint64(4096);
        QTest::newRow("44.1 kHz mono, odd pieces") << 44100.0 << 1 << qint64(1001);
        QTest::newRow("48 kHz stereo, pieces shorter than a vector") << 48000.0 << 2 << qint64(7);
        QTest::newRow("48 kHz stereo, pieces just over a step of the vectors")
            << 48000.0 << 2 << qint64(65);
        QTest::newRow("96 kHz (2x), long pieces") << 96000.0 << 2 << qint64(65536);
        QTest::newRow("192 kHz (samples only)") << 192000.0 << 1 << qint64(4096);
    }

    void readingDoesNotDependOnThePieces()
    {
        QFETCH(double, rate);
        QFETCH(int, channels);
        QFETCH(qint64, piece);
        const host::AudioBuffer audio = spikyNoise(rate, channels, 50000);
        const double frameByFrame = reading(audio, 1);
        QVERIFY(frameByFrame > 0);
        const double inPieces = reading(audio, piece);
        QVERIFY2(inPieces == frameByFrame, qPrintable(QStringLiteral("%1 against %2")
                                                          .arg(inPieces, 0, 'g', 17)
                                                          .arg(frameByFrame, 0, 'g', 17)));
    }

    /// A full-scale sine at a quarter of the rate, sampled 45° off its
    /// crests: every sample is ±0.707 at most, the signal reaches 1 between
    /// them.
    void peakBetweenSamplesIsFound()
    {
        const double rate = 48000;
        auto audio = host::AudioBuffer::make(*host::AudioFormat::standard(rate, 1), 48000);
        audio->setFrameLength(48000);
        // Faded in and out, so that neither edge rings above the crests.
        const double fade = 4000;
        for (qint64 i = 0; i < audio->frameLength(); ++i) {
            const double edge = double(std::min(i, audio->frameLength() - 1 - i));
            const double gain =
                std::pow(std::sin(std::numbers::pi / 2 * std::min(edge / fade, 1.0)), 2);
            audio->channel(0)[i] =
                float(gain * std::sin(std::numbers::pi / 2 * double(i) + std::numbers::pi / 4));
        }
        const double decibels = 20 * std::log10(reading(*audio, 4096));
        QVERIFY2(std::abs(decibels) < 0.05, qPrintable(QString::number(decibels)));
    }
};

QTEST_GUILESS_MAIN(TestTruePeak)
#include "test_true_peak.moc"
