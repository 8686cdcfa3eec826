// The gating blocks the meter hands out, against libebur128's own integrated
// loudness: of one stream, and of several measured as one; and a meter that
// keeps no blocks, against one that does.
#include "host/loudness/EbuR128Meter.h"
#include "model/GatingBlocks.h"

#include <QRandomGenerator>
#include <QTest>

#include <ebur128.h>

#include <cmath>
#include <memory>
#include <numbers>

using namespace tolvex;

namespace {

struct StateFree {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using State = std::unique_ptr<ebur128_state, StateFree>;

/// Noise under a slow swell, `seconds` long at `level` dBFS: stretches below
/// the relative gate and above it.
host::AudioBuffer swellingNoise(double rate, int channels, double seconds, double level,
                                quint32 seed)
{
    const auto format = host::AudioFormat::standard(rate, channels);
    auto buffer = host::AudioBuffer::make(*format, qint64(seconds * rate));
    buffer->setFrameLength(buffer->frameCapacity());
    QRandomGenerator random(seed);
    const double amplitude = std::pow(10.0, level / 20.0);
    for (int c = 0; c < channels; ++c)
        for (qint64 i = 0; i < buffer->frameLength(); ++i) {
            const double swell = std::pow(std::sin(std::numbers::pi * double(i) / rate / 3), 4);
            buffer->channel(c)[i] = float(amplitude * swell * (random.generateDouble() * 2 - 1));
        }
    return std::move(*buffer);
}

/// Feeds `audio` to the meter in pieces of `piece` frames, and to the state whole.
void feed(host::LoudnessMeter& meter, ebur128_state* state, const host::AudioBuffer& audio,
          qint64 piece)
{
    auto part = host::AudioBuffer::make(audio.format(), piece);
    for (qint64 at = 0; at < audio.frameLength(); at += piece) {
        const qint64 n = std::min(piece, audio.frameLength() - at);
        part->setFrameLength(n);
        for (int c = 0; c < audio.channelCount(); ++c)
            std::copy_n(audio.channel(c) + at, n, part->channel(c));
        meter.add(*part);
    }
    std::vector<float> interleaved;
    for (qint64 i = 0; i < audio.frameLength(); ++i)
        for (int c = 0; c < audio.channelCount(); ++c)
            interleaved.push_back(audio.channel(c)[i]);
    ebur128_add_frames_float(state, interleaved.data(), size_t(audio.frameLength()));
}

State stateFor(const host::AudioBuffer& audio)
{
    return State(ebur128_init(unsigned(audio.channelCount()),
                              static_cast<unsigned long>(audio.format().sampleRate()),
                              EBUR128_MODE_I));
}

} // namespace

class TestLoudnessMeter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void blocksMakeTheIntegratedLoudness_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("piece"); // frames handed to the meter at once
        QTest::newRow("48 kHz stereo, blocks of 4096") << 48000.0 << 2 << qint64(4096);
        QTest::newRow("44.1 kHz mono, odd pieces") << 44100.0 << 1 << qint64(1001);
        QTest::newRow("96 kHz stereo, long pieces") << 96000.0 << 2 << qint64(65536);
        QTest::newRow("11.025 kHz, 100 ms rounded up") << 11025.0 << 1 << qint64(333);
        QTest::newRow("5.1") << 48000.0 << 6 << qint64(4096);
    }
    void blocksMakeTheIntegratedLoudness()
    {
        QFETCH(double, rate);
        QFETCH(int, channels);
        QFETCH(qint64, piece);
        const host::AudioBuffer audio = swellingNoise(rate, channels, 7.3, -20, 1);
        const auto meter = host::makeEbuR128Meter(audio.format(), host::MeasuredFor::withOthers);
        const State state = stateFor(audio);
        if (channels == 6) { // as the meter maps WAVE's 5.1
            ebur128_set_channel(state.get(), 3, EBUR128_UNUSED);
            ebur128_set_channel(state.get(), 4, EBUR128_LEFT_SURROUND);
            ebur128_set_channel(state.get(), 5, EBUR128_RIGHT_SURROUND);
        }
        feed(*meter, state.get(), audio, piece);
        double expected = 0;
        QCOMPARE(ebur128_loudness_global(state.get(), &expected), EBUR128_SUCCESS);
        const auto integrated = model::integratedLoudness({&meter->gatingBlocks()});
        QVERIFY(integrated);
        QVERIFY2(std::abs(*integrated - expected) < 1e-9,
                 qPrintable(QStringLiteral("%1 against %2").arg(*integrated).arg(expected)));
        QCOMPARE(qsizetype(meter->gatingBlocks().size()) > 0, true);

        // A meter for the stream alone keeps no blocks, and its figures are
        // the same to the bit.
        const auto alone = host::makeEbuR128Meter(audio.format(), host::MeasuredFor::itself);
        const State unused = stateFor(audio);
        feed(*alone, unused.get(), audio, piece);
        QVERIFY(alone->gatingBlocks().empty());
        const model::Loudness a = alone->result(), b = meter->result();
        QVERIFY(a.integrated && a.range && a.truePeak);
        QVERIFY(a.integrated == b.integrated);
        QVERIFY(a.range == b.range);
        QVERIFY(a.truePeak == b.truePeak);
    }

    // Three streams far apart in level, measured as one: the relative gate
    // over their union, as ebur128_loudness_global_multiple applies it.
    void blocksOfSeveralStreamsMakeTheirLoudnessTogether()
    {
        std::vector<State> states;
        std::vector<std::unique_ptr<host::LoudnessMeter>> meters;
        for (const double level : {-12.0, -25.0, -40.0}) {
            const host::AudioBuffer audio = swellingNoise(48000, 2, 5, level, quint32(-level));
            meters.push_back(host::makeEbuR128Meter(audio.format(), host::MeasuredFor::withOthers));
            states.push_back(stateFor(audio));
            feed(*meters.back(), states.back().get(), audio, 4096);
        }
        std::vector<ebur128_state*> raw;
        std::vector<const model::GatingBlocks*> blocks;
        for (size_t i = 0; i < states.size(); ++i) {
            raw.push_back(states[i].get());
            blocks.push_back(&meters[i]->gatingBlocks());
        }
        double expected = 0;
        QCOMPARE(ebur128_loudness_global_multiple(raw.data(), raw.size(), &expected),
                 EBUR128_SUCCESS);
        const auto together = model::integratedLoudness(blocks);
        QVERIFY(together);
        QVERIFY(std::abs(*together - expected) < 1e-9);
        QVERIFY(!model::integratedLoudness({}));
    }
};

QTEST_GUILESS_MAIN(TestLoudnessMeter)
#include "test_loudness_meter.moc"
