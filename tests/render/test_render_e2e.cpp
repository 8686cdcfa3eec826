// Real files through real plugins into every export format.
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "render/Renderer.h"
#include "tests/host/AudioTestFiles.h"
#include "tests/host/Lv2TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

/// A chain entry as the live chain would capture it: the plugin with some
/// parameters changed, its full state as a binary property list.
model::PluginState capture(host::Lv2AudioHost& host, const char* uri,
                           const QList<QPair<QString, float>>& parameters)
{
    const model::PluginInfo info = lv2Info(host, uri);
    auto instance = instantiateNow(host, info);
    for (const auto& [symbol, value] : parameters)
        instance->setParameter(symbol, value);
    return model::PluginState::from(info, false,
                                    host::writeBinaryPropertyList(*instance->fullState()));
}

} // namespace

class TestRenderEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<host::Lv2AudioHost> m_host;
    QString m_source;
    Signal m_signal;

    RenderJob job(const QString& name, QList<model::PluginState> plugins, ExportFormat format)
    {
        return {QUrl::fromLocalFile(m_source),
                QUrl::fromLocalFile(m_dir.filePath(name + '.' + model::fileExtension(format))),
                std::move(plugins), format};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_host = std::make_unique<host::Lv2AudioHost>();
        m_signal = sineSignal(rate, 2, qint64(rate * 1.5) + 123);
        m_source = m_dir.filePath("source.wav");
        writeSignal(
            *host::createAudioFile(m_source, model::writerSettings(ExportFormat::wav32f, 2, rate)),
            m_signal);
    }
    void cleanupTestCase() { m_host.reset(); }

    void latencyIsCompensatedInEveryFormat_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<double>("tolerance"); // -1: AAC, compared by SNR
        QTest::newRow("wav24") << ExportFormat::wav24 << 1.0 / 8388608;
        QTest::newRow("wav16") << ExportFormat::wav16 << 1.0 / 32768;
        QTest::newRow("wav32f") << ExportFormat::wav32f << 0.0;
        QTest::newRow("aiff24") << ExportFormat::aiff24 << 1.0 / 8388608;
        QTest::newRow("m4a") << ExportFormat::m4a << -1.0;
    }
    void latencyIsCompensatedInEveryFormat()
    {
        QFETCH(ExportFormat, format);
        QFETCH(double, tolerance);
        const QList<model::PluginState> chain{
            capture(*m_host, "urn:tolvex:test:gain", {{"gain", 1.5f}}),
            capture(*m_host, "urn:tolvex:test:delay", {{"frames", 333}}),
        };
        const RenderJob render = job(QTest::currentDataTag(), chain, format);
        std::vector<double> progress;
        renderFile(*m_host, render, [&](double p) { progress.push_back(p); });
        QCOMPARE(progress.back(), 1.0);

        const auto reader = host::openAudioFile(render.target.toLocalFile());
        // The delay's 333 frames are gone; its class gives a tail, which is
        // cut at the first block that starts after source and latency.
        const qint64 latency = 333;
        const qint64 blocks = (m_signal.frames() + latency + 4095) / 4096;
        QCOMPARE(reader->length(), blocks * 4096 - latency);
        const Signal out = readToEnd(*reader);
        for (size_t c = 0; c < 2; ++c) {
            std::vector<float> expected(m_signal.channels[c]);
            for (float& sample : expected)
                sample *= 1.5f;
            if (tolerance >= 0) {
                QVERIFY(maxDifference(out.channels[c], expected, 0, m_signal.frames()) <=
                        tolerance * 1.01);
            } else {
                const double snr = snrDb(expected, out.channels[c], 2048, m_signal.frames() - 2048);
                QVERIFY2(snr > 30, qPrintable(QString::number(snr)));
            }
            QCOMPARE(out.channels[c].back(), 0.0f);
        }
    }

    void limiterMatchesFfmpegOnceItsLatencyIsRemoved()
    {
        const model::PluginState dpl = capture(*m_host, "http://gareus.org/oss/lv2/dpl#stereo",
                                               {{"threshold", -9}, {"gain", 6}});
        const RenderJob render = job("dpl", {dpl}, ExportFormat::wav32f);
        renderFile(*m_host, render, [](double) {});
        const Signal ours = readToEnd(*host::openAudioFile(render.target.toLocalFile()));

        const QString theirsPath = m_dir.filePath("dpl-ffmpeg.wav");
        runTool("ffmpeg", {"-v", "error", "-y", "-i", m_source, "-af",
                           "lv2='p=http\\://gareus.org/oss/lv2/dpl#stereo:c=threshold=-9|gain=6'",
                           "-c:a", "pcm_f32le", theirsPath});
        if (QTest::currentTestFailed())
            return;
        const Signal theirs = readToEnd(*host::openAudioFile(theirsPath));

        auto instance =
            instantiateNow(*m_host, lv2Info(*m_host, "http://gareus.org/oss/lv2/dpl#stereo"));
        instance->setInputFormat(0, *host::AudioFormat::standard(rate, 2));
        const qint64 latency = std::llround(instance->latency() * rate);
        QVERIFY(latency > 0);
        const qint64 count = theirs.frames() - latency;
        for (size_t c = 0; c < 2; ++c) {
            const double db = differenceDb(theirs.channels[c], ours.channels[c], latency, count);
            QVERIFY2(db < -90, qPrintable(QString::number(db)));
        }
    }
};

QTEST_GUILESS_MAIN(TestRenderEndToEnd)
#include "test_render_e2e.moc"
