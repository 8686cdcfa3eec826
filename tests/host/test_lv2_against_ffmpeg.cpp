// Our host's offline render of a plugin against FFmpeg's lv2 filter running
// the same plugin with the same parameters on the same file.
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "tests/host/AudioTestFiles.h"
#include "tests/host/Lv2TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

constexpr double rate = 48000;

/// Two seconds of stereo programme: sines, a decaying burst and some noise,
/// loud enough to drive limiters and compressors.
Signal programme()
{
    Signal signal;
    signal.sampleRate = rate;
    signal.channels.resize(2);
    quint32 noise = 12345;
    for (qint64 i = 0; i < qint64(rate) * 2; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = double(i) / rate;
        const double burst = std::exp(-8 * std::fmod(t, 0.5)) * 0.8;
        const double n = double(int32_t(noise)) / 2147483648.0 * 0.05;
        signal.channels[0].push_back(float(0.5 * std::sin(2 * M_PI * 220 * t) * burst + n));
        signal.channels[1].push_back(float(0.4 * std::sin(2 * M_PI * 1375 * t) * burst - n));
    }
    return signal;
}

} // namespace

class TestLv2AgainstFfmpeg : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Lv2AudioHost> m_host;
    QString m_source;
    Signal m_input;

private Q_SLOTS:
    void initTestCase()
    {
        m_host = std::make_unique<Lv2AudioHost>();
        m_input = programme();
        m_source = m_dir.filePath("source.wav");
        writeSignal(
            *createAudioFile(m_source, model::writerSettings(model::ExportFormat::wav32f, 2, rate)),
            m_input);
    }
    void cleanupTestCase() { m_host.reset(); }

    void sameOutputAsFfmpeg_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QStringList>("controls"); // symbol=value
        QTest::addColumn<double>("limitDb");       // -400: identical
        QTest::newRow("own gain") << "urn:tolvex:test:gain" << QStringList{"gain=2"} << -400.0;
        QTest::newRow("x42 fil4") << "http://gareus.org/oss/lv2/fil4#stereo"
                                  << QStringList{"sec1=1", "freq1=1000", "gain1=9",
                                                 "q1=1.5", "HighPass=1", "HPfreq=80"}
                                  << -90.0;
        QTest::newRow("x42 darc") << "http://gareus.org/oss/lv2/darc#stereo"
                                  << QStringList{"threshold=-24", "Ratio=0.6", "attack=0.005"}
                                  << -90.0;
        QTest::newRow("x42 dpl") << "http://gareus.org/oss/lv2/dpl#stereo"
                                 << QStringList{"threshold=-9", "gain=6"} << -90.0;
    }
    void sameOutputAsFfmpeg()
    {
        QFETCH(QString, uri);
        QFETCH(QStringList, controls);
        QFETCH(double, limitDb);

        const QString theirs = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".wav"));
        runTool(QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-i", m_source, "-af",
                 "lv2='p=" + QString(uri).replace(u':', QStringLiteral("\\:")) +
                     ":c=" + controls.join(u'|') + "'",
                 "-c:a", "pcm_f32le", theirs});
        if (QTest::currentTestFailed())
            return;
        const Signal reference = readToEnd(*openAudioFile(theirs));

        auto instance = instantiateNow(*m_host, lv2Info(*m_host, uri.toUtf8().constData()));
        QVERIFY(instance);
        for (const QString& control : controls) {
            const auto parts = control.split(u'=');
            QVERIFY2(instance->setParameter(parts[0], parts[1].toFloat()), qPrintable(control));
        }
        const auto ours = renderOffline(*m_host, {instance.get()}, m_input.channels, rate);
        // Both hosts leave the plugin's own latency in place, so the streams
        // line up as they are.
        for (size_t c = 0; c < 2; ++c) {
            QCOMPARE(qint64(ours[c].size()), reference.frames());
            const double db = differenceDb(reference.channels[c], ours[c]);
            qInfo("%s channel %zu: difference %.1f dB", QTest::currentDataTag(), c, db);
            QVERIFY2(db <= limitDb, qPrintable(QStringLiteral("difference %1 dB").arg(db)));
            QVERIFY2(differenceDb(m_input.channels[c], ours[c]) > -40, "the plugin did nothing");
        }
    }
};

QTEST_GUILESS_MAIN(TestLv2AgainstFfmpeg)
#include "test_lv2_against_ffmpeg.moc"
