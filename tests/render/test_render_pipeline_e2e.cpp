// The chain run as a pipeline of stages writes the very bytes of the chain
// run in one line: real files through real plugins, every export format.
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "render/Renderer.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 44100;

/// A plugin URI with the controls it is set to.
struct Entry {
    const char* uri;
    QList<QPair<QString, float>> controls;
};
using Chain = QList<Entry>;

const Chain x42 = {
    {"http://gareus.org/oss/lv2/fil4#stereo",
     {{"sec1", 1}, {"freq1", 800}, {"gain1", 6}, {"HighPass", 1}, {"HPfreq", 60}}},
    {"http://gareus.org/oss/lv2/darc#stereo", {{"threshold", -20}, {"Ratio", 0.5f}}},
    {"http://gareus.org/oss/lv2/dpl#stereo", {{"threshold", -3}}},
};
/// The delay reports its latency, the tail is of the reverb class and rings
/// on after the source.
const Chain latencyAndTail = {
    {"urn:tolvex:test:delay", {{"frames", 5000}}},
    {"urn:tolvex:test:tail", {}},
    {"urn:tolvex:test:gain", {{"gain", 0.7f}}},
};
const Chain mixed = {
    {"http://gareus.org/oss/lv2/darc#stereo", {{"threshold", -30}}},
    {"urn:tolvex:test:delay", {{"frames", 777}}},
    {"http://gareus.org/oss/lv2/fil4#stereo", {{"HighPass", 1}, {"HPfreq", 120}}},
    {"urn:tolvex:test:tail", {}},
};
const Chain one = {x42.front()};

const QMap<QString, Chain> chains = {
    {"x42", x42}, {"latency and tail", latencyAndTail}, {"mixed", mixed}, {"one", one}};

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRenderPipelineEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<host::Lv2AudioHost> m_host;
    QString m_source;

    QList<model::PluginState> capture(const Chain& chain)
    {
        QList<model::PluginState> states;
        for (const Entry& entry : chain) {
            const model::PluginInfo info = lv2Info(*m_host, entry.uri);
            auto instance = instantiateNow(*m_host, info);
            if (!instance)
                return {};
            for (const auto& [symbol, value] : entry.controls)
                instance->setParameter(symbol, value);
            states.append(model::PluginState::from(
                info, false, host::writeBinaryPropertyList(*instance->fullState())));
        }
        return states;
    }

    /// Renders the source through `chain` with the plugins on up to `threads`
    /// threads; the written file's bytes.
    QByteArray rendered(const QList<model::PluginState>& chain, ExportFormat format, int threads)
    {
        const QString target =
            m_dir.filePath(QStringLiteral("%1-%2.").arg(QTest::currentDataTag()).arg(threads) +
                           model::fileExtension(format));
        RenderJob job{QUrl::fromLocalFile(m_source), QUrl::fromLocalFile(target), chain, format};
        job.threads = threads;
        renderFile(*m_host, job, [](double) {});
        return bytesOf(target);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_host = std::make_unique<host::Lv2AudioHost>();
        // Long enough for the stages to take over after the blocks that
        // measure the plugins, with an end that is no whole block.
        const Signal signal = sineSignal(rate, 2, qint64(rate * 4) + 1234);
        m_source = m_dir.filePath("source.wav");
        writeSignal(
            *host::createAudioFile(m_source, model::writerSettings(ExportFormat::wav24, 2, rate)),
            signal);
    }
    void cleanupTestCase() { m_host.reset(); }

    void stagesWriteTheBytesOfOneLine_data()
    {
        QTest::addColumn<QString>("chain");
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<int>("threads");
        for (ExportFormat format : model::allExportFormats) {
            const QByteArray name = model::rawValue(format).toUtf8();
            QTest::newRow(name + " x42 three in two") << "x42" << format << 2;
            QTest::newRow(name + " latency and tail in three") << "latency and tail" << format << 3;
        }
        QTest::newRow("wav24 x42 three in three") << "x42" << ExportFormat::wav24 << 3;
        QTest::newRow("wav24 mixed four in two") << "mixed" << ExportFormat::wav24 << 2;
        QTest::newRow("aiff24 mixed four in four") << "mixed" << ExportFormat::aiff24 << 4;
        QTest::newRow("m4a one plugin") << "one" << ExportFormat::m4a << 2;
    }
    void stagesWriteTheBytesOfOneLine()
    {
        QFETCH(QString, chain);
        QFETCH(ExportFormat, format);
        QFETCH(int, threads);
        const QList<model::PluginState> states = capture(chains[chain]);
        QCOMPARE(states.size(), chains[chain].size());
        const QByteArray line = rendered(states, format, 1);
        QVERIFY(line.size() > 20000); // a whole file, also as AAC
        QVERIFY(line == rendered(states, format, threads));
    }
};

QTEST_GUILESS_MAIN(TestRenderPipelineEndToEnd)
#include "test_render_pipeline_e2e.moc"
