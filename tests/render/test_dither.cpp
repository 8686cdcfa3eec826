// Dither to 16 bits: where the chain changed the signal, rounding leaves
// noise instead of distortion; where it did not, the source's own samples.
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "render/Renderer.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;
constexpr double tone = 1000;
constexpr qint64 segment = 4800; // 10 Hz apart: every tone here falls on a bin

Signal sine(double level, qint64 frames)
{
    Signal signal{rate, {std::vector<float>(size_t(frames))}};
    const double amplitude = std::pow(10.0, level / 20.0);
    for (qint64 n = 0; n < frames; ++n)
        signal.channels[0][size_t(n)] =
            float(amplitude * std::sin(2 * std::numbers::pi * tone * double(n) / rate));
    return signal;
}

/// The mean power at `frequency` over the whole segments of `x`, each Hann
/// windowed (Goertzel).
double power(const std::vector<float>& x, double frequency)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
    double sum = 0;
    const qint64 segments = qint64(x.size()) / segment;
    for (qint64 s = 0; s < segments; ++s) {
        double s1 = 0, s2 = 0;
        for (qint64 n = 0; n < segment; ++n) {
            const double window =
                0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(n) / double(segment));
            const double s0 = window * x[size_t(s * segment + n)] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        sum += s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    }
    return sum / double(segments);
}

/// How far the strongest of the 3rd and 5th harmonics stands above the
/// noise floor (the mean power between the harmonics up to 20 kHz), in dB.
double harmonicsAboveFloor(const std::vector<float>& x)
{
    double floor = 0;
    int count = 0;
    for (double f = 1250; f < 20000; f += 500, ++count)
        floor += power(x, f);
    floor /= count;
    return 10 * std::log10(std::max(power(x, 3 * tone), power(x, 5 * tone)) / floor);
}

/// The valid frames of a WAV file as its decoder reads them.
std::vector<float> samplesOf(const QString& path)
{
    return readToEnd(*host::openAudioFile(path)).channels[0];
}

} // namespace

class TestDither : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<host::Lv2AudioHost> m_host;
    model::PluginState m_unity;

    QString render(const QString& source, const QString& name, QList<model::PluginState> chain)
    {
        const QString target = m_dir.filePath(name + ".wav");
        renderFile(*m_host,
                   {QUrl::fromLocalFile(source), QUrl::fromLocalFile(target), std::move(chain),
                    ExportFormat::wav16},
                   [](double) {});
        return target;
    }

    QString writeSource(const QString& name, ExportFormat format, const Signal& signal)
    {
        const QString path = m_dir.filePath(name);
        writeSignal(*host::createAudioFile(path, model::writerSettings(format, 1, rate)), signal);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_host = std::make_unique<host::Lv2AudioHost>();
        const model::PluginInfo info = lv2Info(*m_host, "urn:tolvex:test:gain");
        auto instance = instantiateNow(*m_host, info);
        instance->setParameter("gain", 1.0f);
        m_unity = model::PluginState::from(info, false,
                                           host::writeBinaryPropertyList(*instance->fullState()));
    }
    void cleanupTestCase() { m_host.reset(); }

    // A sine of three LSB at 16 bits: plain rounding turns its error into
    // harmonics far above the floor; dithered, they sink into the noise.
    void ditherTurnsDistortionIntoNoise_data()
    {
        QTest::addColumn<bool>("throughPlugin");
        QTest::newRow("through a gain at unity: dithered") << true;
        QTest::newRow("empty chain: plain rounding") << false;
    }
    void ditherTurnsDistortionIntoNoise()
    {
        QFETCH(bool, throughPlugin);
        const QString source = writeSource(QTest::currentDataTag() + QStringLiteral(" source.wav"),
                                           ExportFormat::wav24, sine(-80, 4 * 48000));
        const QString output = render(source, QTest::currentDataTag(),
                                      throughPlugin ? QList{m_unity} : QList<model::PluginState>{});
        const double excess = harmonicsAboveFloor(samplesOf(output));
        if (throughPlugin)
            QVERIFY2(excess < 3, qPrintable(QString::number(excess)));
        else
            QVERIFY2(excess > 20, qPrintable(QString::number(excess)));
    }

    // The dither's noise follows the file, not the hour: the same render
    // gives the same bytes.
    void ditheredOutputsAreReproducible()
    {
        const QString source = writeSource("again.wav", ExportFormat::wav24, sine(-60, 48000));
        QFile first(render(source, "first", {m_unity}));
        QFile second(render(source, "second", {m_unity}));
        QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
        QVERIFY(first.readAll() == second.readAll());
    }

    void aSixteenBitSourceThroughNoPluginKeepsItsSamples()
    {
        const QString source = writeSource("sixteen.wav", ExportFormat::wav16, sine(-3, 48000));
        const std::vector<float> original = samplesOf(source);
        QVERIFY(original == samplesOf(render(source, "untouched", {})));
        QVERIFY(original != samplesOf(render(source, "dithered", {m_unity})));
    }
};

QTEST_GUILESS_MAIN(TestDither)
#include "test_dither.moc"
