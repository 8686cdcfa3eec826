// The loudness of written files, measured as tolvex writes them, against
// the signals of the EBU loudness meter tests that can be made on the spot.
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "render/Renderer.h"
#include "tests/support/AudioTestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

/// Stretches of a stereo sine: seconds, and the level in dBFS (peak
/// relative to full scale). The whole fades in and out over 10 ms: a sine
/// that starts or stops at full level steps, and the band-limited signal a
/// step stands for rings above the sine's peak between the samples.
using Segments = QList<QPair<double, double>>;

Signal sine(const Segments& segments, double frequency, double phaseDegrees)
{
    Signal signal{rate, {{}, {}}};
    const double phase = phaseDegrees * std::numbers::pi / 180.0;
    qint64 n = 0;
    for (const auto& [seconds, level] : segments) {
        const double amplitude = std::pow(10.0, level / 20.0);
        const qint64 end = n + std::llround(seconds * rate);
        for (; n < end; ++n) {
            const float x = float(
                amplitude * std::sin(2 * std::numbers::pi * frequency * double(n) / rate + phase));
            signal.channels[0].push_back(x);
            signal.channels[1].push_back(x);
        }
    }
    const qint64 fade = qint64(rate / 100);
    for (qint64 i = 0; i < fade && 2 * i < n; ++i) {
        const float gain = float(0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / double(fade)));
        for (auto& channel : signal.channels) {
            channel[size_t(i)] *= gain;
            channel[size_t(n - 1 - i)] *= gain;
        }
    }
    return signal;
}

} // namespace

Q_DECLARE_METATYPE(Segments)

class TestLoudness : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<host::Lv2AudioHost> m_host;

private Q_SLOTS:
    void initTestCase() { m_host = std::make_unique<host::Lv2AudioHost>(); }
    void cleanupTestCase() { m_host.reset(); }

    // Integrated loudness within ±0.1 LU, true peak within +0.2/−0.4 dB, of
    // what the file written through an empty chain holds.
    void writtenFilesMeasureAsTheEbuExpects_data()
    {
        QTest::addColumn<Segments>("segments");
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("phase");
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<double>("loudness"); // NaN: none expected
        QTest::addColumn<double>("truePeak"); // NaN: not checked
        const double none = std::nan("");
        const auto wav = ExportFormat::wav24;
        QTest::newRow("1: 1 kHz at -23 dBFS")
            << Segments{{20, -23}} << 1000.0 << 0.0 << wav << -23.0 << -23.0;
        QTest::newRow("2: 1 kHz at -33 dBFS")
            << Segments{{20, -33}} << 1000.0 << 0.0 << wav << -33.0 << -33.0;
        QTest::newRow("3: -36, -23, -36 dBFS")
            << Segments{{10, -36}, {60, -23}, {10, -36}} << 1000.0 << 0.0 << wav << -23.0 << none;
        QTest::newRow("4: -72, -36, -23, -36, -72 dBFS")
            << Segments{{10, -72}, {10, -36}, {60, -23}, {10, -36}, {10, -72}} << 1000.0 << 0.0
            << wav << -23.0 << none;
        QTest::newRow("5: -26, -20, -26 dBFS")
            << Segments{{20, -26}, {20.1, -20}, {20, -26}} << 1000.0 << 0.0 << wav << -23.0 << none;
        const double half = 20 * std::log10(0.5);
        QTest::newRow("15: fs/4, 0°")
            << Segments{{3, half}} << rate / 4 << 0.0 << wav << none << -6.0;
        QTest::newRow("16: fs/4, 45°")
            << Segments{{3, half}} << rate / 4 << 45.0 << wav << none << -6.0;
        QTest::newRow("17: fs/6, 60°")
            << Segments{{3, half}} << rate / 6 << 60.0 << wav << none << -6.0;
        QTest::newRow("18: fs/8, 67.5°")
            << Segments{{3, half}} << rate / 8 << 67.5 << wav << none << -6.0;
        QTest::newRow("19: fs/4, 1.41, 45°")
            << Segments{{3, 20 * std::log10(1.41)}} << rate / 4 << 45.0 << wav << none << 3.0;
        QTest::newRow("float file")
            << Segments{{20, -23}} << 1000.0 << 0.0 << ExportFormat::wav32f << -23.0 << -23.0;
        QTest::newRow("aiff") << Segments{{20, -23}} << 1000.0 << 0.0 << ExportFormat::aiff24
                              << -23.0 << -23.0;
        QTest::newRow("m4a, decoded")
            << Segments{{20, -23}} << 1000.0 << 0.0 << ExportFormat::m4a << -23.0 << -23.0;
    }
    void writtenFilesMeasureAsTheEbuExpects()
    {
        QFETCH(Segments, segments);
        QFETCH(double, frequency);
        QFETCH(double, phase);
        QFETCH(ExportFormat, format);
        QFETCH(double, loudness);
        QFETCH(double, truePeak);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).section(u':', 0, 0);
        const QString source = m_dir.filePath(name + " source.wav");
        writeSignal(
            *host::createAudioFile(source, model::writerSettings(ExportFormat::wav32f, 2, rate)),
            sine(segments, frequency, phase));
        const RenderJob job{
            QUrl::fromLocalFile(source),
            QUrl::fromLocalFile(m_dir.filePath(name + " out." + model::fileExtension(format))),
            {},
            format};
        const RenderResult result = renderFile(*m_host, job, [](double) {});
        QVERIFY(result.loudness);
        QVERIFY(!result.loudness->tooShort);
        if (std::isnan(loudness)) {
            QVERIFY(result.loudness->integrated);
        } else {
            QVERIFY2(std::abs(*result.loudness->integrated - loudness) <= 0.1,
                     qPrintable(QString::number(*result.loudness->integrated)));
        }
        if (!std::isnan(truePeak)) {
            const double peak = *result.loudness->truePeak;
            QVERIFY2(peak <= truePeak + 0.2 && peak >= truePeak - 0.4,
                     qPrintable(QString::number(peak)));
        }
    }

    // Normalised to -16 LUFS under a ceiling of -1 dBTP, each file measures
    // so with FFmpeg too, or stays below the ceiling with the report saying
    // by how much it missed the target.
    void normalisedFilesMeetTheTargetOrTheCeiling_data()
    {
        QTest::addColumn<QString>("source"); // FFmpeg's lavfi, 2 channels at 48 kHz
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<bool>("held"); // by the ceiling
        // M4A is measured for its gain before encoding, which takes away what
        // lies above the encoder's band: the file comes out a little quieter.
        QTest::addColumn<double>("tolerance");
        QTest::newRow("quiet noise")
            << "anoisesrc=d=8:c=pink:a=0.02:seed=5" << ExportFormat::wav24 << false << 0.1;
        QTest::newRow("loud sine, 16 bit")
            << "sine=f=997:d=6,volume=0.9" << ExportFormat::wav16 << false << 0.1;
        QTest::newRow("quiet sine under clicks")
            << "sine=f=440:d=6,volume=0.01[s];"
               "aevalsrc='0.9*lt(mod(n,24000),1)':d=6[c];[s][c]amix=normalize=0"
            << ExportFormat::wav24 << true << 0.1;
        QTest::newRow("m4a") << "anoisesrc=d=8:c=pink:a=0.05:seed=7" << ExportFormat::m4a << false
                             << 0.3;
    }
    void normalisedFilesMeetTheTargetOrTheCeiling()
    {
        QFETCH(QString, source);
        QFETCH(ExportFormat, format);
        QFETCH(bool, held);
        QFETCH(double, tolerance);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        const QString input = m_dir.filePath(name + " normalised source.wav");
        runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", source + ",aresample=48000", "-ac",
                           "2", "-c:a", "pcm_f32le", input});
        RenderJob job{QUrl::fromLocalFile(input),
                      QUrl::fromLocalFile(
                          m_dir.filePath(name + " normalised." + model::fileExtension(format))),
                      {},
                      format};
        job.loudnessTarget = model::LoudnessTarget{-16, -1};
        const RenderResult result = renderFile(*m_host, job, [](double) {});
        const auto [integrated, peak] = ffmpegLoudness({result.file.toLocalFile()});
        QVERIFY2(peak <= -1.0, qPrintable(QString::number(peak)));
        QCOMPARE(result.loudness->belowTarget.has_value(), held);
        if (held) {
            QVERIFY(integrated < -16.1);
            QVERIFY(std::abs(-16 - *result.loudness->belowTarget - integrated) <= 0.1);
        } else {
            QVERIFY2(std::abs(integrated + 16) <= tolerance,
                     qPrintable(QString::number(integrated)));
        }
    }

    // Content up to the Nyquist frequency: the true peak between the
    // samples reads as FFmpeg's 4× resampler reads it, within 0.2 dB.
    void fullBandSignalsReadTheirTruePeakAsFfmpegDoes_data()
    {
        QTest::addColumn<QString>("source"); // FFmpeg's lavfi
        QTest::newRow("white noise, 48 kHz") << "anoisesrc=c=white:a=0.2:d=10:seed=3";
        QTest::newRow("white noise, 44.1 kHz") << "anoisesrc=r=44100:c=white:a=0.3:d=10:seed=4";
    }
    void fullBandSignalsReadTheirTruePeakAsFfmpegDoes()
    {
        QFETCH(QString, source);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        const QString input = m_dir.filePath(name + " full band.wav");
        runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", source, "-c:a", "pcm_f32le", input});
        const RenderJob job{QUrl::fromLocalFile(input),
                            QUrl::fromLocalFile(m_dir.filePath(name + " full band out.wav")),
                            {},
                            ExportFormat::wav32f};
        const RenderResult result = renderFile(*m_host, job, [](double) {});
        const double ffmpeg = ffmpegLoudness({input}).second;
        QVERIFY2(std::abs(*result.loudness->truePeak - ffmpeg) <= 0.2 + 0.05,
                 qPrintable(
                     QStringLiteral("%1 against %2").arg(*result.loudness->truePeak).arg(ffmpeg)));
    }

    // An M4A is measured on its decoded file once it is in place: that pass
    // reports its progress too, so that a worker's parent never takes a
    // long one for a hang.
    void anM4aReportsProgressWhileItIsMeasured()
    {
        const QString source = m_dir.filePath("m4a progress source.wav");
        writeSignal(
            *host::createAudioFile(source, model::writerSettings(ExportFormat::wav32f, 2, rate)),
            sine({{20, -20}}, 1000, 0));
        const RenderJob job{QUrl::fromLocalFile(source),
                            QUrl::fromLocalFile(m_dir.filePath("m4a progress.m4a")),
                            {},
                            ExportFormat::m4a};
        QList<double> afterPlacing; // reported while the finished file stands under its name
        const RenderResult result = renderFile(*m_host, job, [&](double fraction) {
            if (QFile::exists(job.target.toLocalFile()))
                afterPlacing << fraction;
        });
        QVERIFY(result.loudness);
        QVERIFY2(afterPlacing.size() >= 20, qPrintable(QString::number(afterPlacing.size())));
        QVERIFY(std::is_sorted(afterPlacing.begin(), afterPlacing.end()));
        QVERIFY(afterPlacing.first() < 0.95);
        QCOMPARE(afterPlacing.last(), 1.0);
    }

    // Under one gating block there is no integrated loudness, but a peak.
    void aShortFileHasNoIntegratedLoudness()
    {
        const QString source = m_dir.filePath("short source.wav");
        writeSignal(
            *host::createAudioFile(source, model::writerSettings(ExportFormat::wav32f, 2, rate)),
            sine({{0.3, -20}}, 1000, 90));
        const RenderJob job{QUrl::fromLocalFile(source),
                            QUrl::fromLocalFile(m_dir.filePath("short out.wav")),
                            {},
                            ExportFormat::wav16};
        const RenderResult result = renderFile(*m_host, job, [](double) {});
        QVERIFY(result.loudness);
        QVERIFY(result.loudness->tooShort);
        QVERIFY(!result.loudness->integrated);
        QVERIFY(!result.loudness->range);
        QVERIFY(std::abs(*result.loudness->truePeak + 20) < 0.2);
        QCOMPARE(model::loudnessText(*result.loudness),
                 QStringLiteral("zu kurz für eine Lautheit · −20,0 dBTP"));
    }
};

QTEST_GUILESS_MAIN(TestLoudness)
#include "test_loudness.moc"
