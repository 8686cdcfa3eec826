#include "host/lv2/Lv2AudioHost.h"
#include "tests/host/Lv2TestSupport.h"

#include <QTest>

#include <cmath>
#include <future>
#include <thread>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

constexpr const char* gainUri = "urn:tolvex:test:gain";
constexpr const char* monoUri = "urn:tolvex:test:monogain";
constexpr const char* delayUri = "urn:tolvex:test:delay";
constexpr const char* tailUri = "urn:tolvex:test:tail";
constexpr const char* stateUri = "urn:tolvex:test:state";
constexpr const char* dplUri = "http://gareus.org/oss/lv2/dpl#stereo";

std::vector<std::vector<float>> ramp(int channels, qint64 frames)
{
    std::vector<std::vector<float>> signal(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c)
        for (qint64 i = 0; i < frames; ++i)
            signal[size_t(c)].push_back(float((i % 1000) + 1) / 1000.0f * (c % 2 ? -1.0f : 1.0f));
    return signal;
}

float parameterValue(const PluginInstance& instance, const QString& symbol)
{
    for (const PluginParameter& parameter : instance.parameters())
        if (parameter.symbol == symbol)
            return parameter.value;
    return NAN;
}

} // namespace

class TestLv2Host : public QObject {
    Q_OBJECT

    std::unique_ptr<Lv2AudioHost> m_host;

private Q_SLOTS:
    void initTestCase() { m_host = std::make_unique<Lv2AudioHost>(); }
    void cleanupTestCase() { m_host.reset(); }

    void catalogue_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("vendor");
        QTest::newRow("gain") << gainUri << model::effectType << "Test Gain"
                              << "Tolvex Tests";
        QTest::newRow("tail, vendor from project") << tailUri << model::effectType << "Test Tail"
                                                   << "Tolvex Test Project";
        QTest::newRow("midi effect, vendor from URI host")
            << "http://tolvex.test/plugins/midifx" << model::musicEffectType << "Test MIDI Effect"
            << "tolvex.test";
        QTest::newRow("packaged limiter")
            << dplUri << model::effectType << "x42-dpl - Digital Peak Limiter Stereo"
            << "Robin Gareus";
    }
    void catalogue()
    {
        QFETCH(QString, uri);
        QFETCH(quint32, type);
        QFETCH(QString, name);
        QFETCH(QString, vendor);
        const QByteArray bytes = uri.toUtf8();
        quint64 hash = 14695981039346656037ull;
        for (char c : bytes)
            hash = (hash ^ quint8(c)) * 1099511628211ull;

        const auto listed = m_host->components(type);
        const auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& info) {
            return info.codes.subtype == quint32(hash >> 32) &&
                   info.codes.manufacturer == quint32(hash);
        });
        QVERIFY(found != listed.end());
        QCOMPARE(found->codes.type, type);
        QCOMPARE(found->name, name);
        QCOMPARE(found->vendor, vendor);
        const quint32 other =
            type == model::effectType ? model::musicEffectType : model::effectType;
        for (const auto& info : m_host->components(other))
            QVERIFY(info.name != name);
    }

    void instantiationCompletesOnceOffTheCallingThread()
    {
        std::promise<std::thread::id> where;
        std::atomic<int> calls = 0;
        m_host->instantiate(lv2Info(*m_host, gainUri).codes, [&](Instantiation result) {
            QVERIFY(std::holds_alternative<std::unique_ptr<PluginInstance>>(result));
            ++calls;
            where.set_value(std::this_thread::get_id());
        });
        QVERIFY(where.get_future().get() != std::this_thread::get_id());
        QTest::qWait(50);
        QCOMPARE(calls.load(), 1);
    }

    void instantiationFailures_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("text");
        QTest::newRow("fails to instantiate") << "urn:tolvex:test:broken"
                                              << "nicht starten";
        QTest::newRow("needs a missing feature") << "urn:tolvex:test:needy"
                                                 << "urn:tolvex:test:unobtainable";
    }
    void instantiationFailures()
    {
        QFETCH(QString, uri);
        QFETCH(QString, text);
        QString error;
        QVERIFY(!instantiateNow(*m_host, lv2Info(*m_host, uri.toUtf8().constData()), &error));
        QVERIFY2(error.contains(text), qPrintable(error));

        const model::PluginInfo missing{model::effectType, 1, 2, QStringLiteral("Fehlt"), {}};
        QVERIFY(!instantiateNow(*m_host, missing, &error));
        QVERIFY(!error.isEmpty());
    }

    void formatsAcceptAndRefuse()
    {
        auto stereo = instantiateNow(*m_host, lv2Info(*m_host, gainUri));
        QCOMPARE(stereo->inputBusCount(), 1);
        QCOMPARE(stereo->outputBusCount(), 1);
        for (int channels : {1, 3, 6})
            QVERIFY(!stereo->setInputFormat(0, *AudioFormat::standard(48000, channels)));
        QVERIFY(stereo->setInputFormat(0, *AudioFormat::standard(44100, 2)));
        QVERIFY(stereo->setOutputFormat(0, *AudioFormat::standard(44100, 2)));
        QVERIFY(!stereo->setInputFormat(1, *AudioFormat::standard(44100, 2)));

        // One in, one out: one copy per channel, every copy with the same gain.
        auto mono = instantiateNow(*m_host, lv2Info(*m_host, monoUri));
        QVERIFY(mono->setParameter(QStringLiteral("gain"), 3.0f));
        const auto input = ramp(6, 5000);
        const auto output = renderOffline(*m_host, {mono.get()}, input, 96000);
        QCOMPARE(output.size(), size_t(6));
        for (size_t c = 0; c < 6; ++c)
            for (size_t i = 0; i < input[c].size(); i += 97)
                QCOMPARE(output[c][i], input[c][i] * 3.0f);
    }

    void latencyAndTail()
    {
        auto delay = instantiateNow(*m_host, lv2Info(*m_host, delayUri));
        QVERIFY(delay->setInputFormat(0, *AudioFormat::standard(48000, 2)));
        QCOMPARE(delay->latency(), 64.0 / 48000);
        QVERIFY(delay->setParameter(QStringLiteral("frames"), 441));
        QVERIFY(delay->setInputFormat(0, *AudioFormat::standard(44100, 2)));
        QCOMPARE(delay->latency(), 0.01);
        QCOMPARE(delay->tailTime(), 10.0); // a delay

        auto tail = instantiateNow(*m_host, lv2Info(*m_host, tailUri));
        QCOMPARE(tail->tailTime(), 10.0); // a reverb
        QCOMPARE(tail->latency(), 0.0);
        auto gain = instantiateNow(*m_host, lv2Info(*m_host, gainUri));
        QCOMPARE(gain->tailTime(), 0.0);
        QCOMPARE(gain->latency(), 0.0);
    }

    void offlineRenderIsExact()
    {
        auto gain = instantiateNow(*m_host, lv2Info(*m_host, gainUri));
        auto delay = instantiateNow(*m_host, lv2Info(*m_host, delayUri));
        gain->setParameter(QStringLiteral("gain"), 2.0f);
        const auto input = ramp(2, 10000);
        const auto output = renderOffline(*m_host, {gain.get(), delay.get()}, input, 48000, 1000);
        for (size_t c = 0; c < 2; ++c) {
            for (size_t i = 0; i < 64; ++i)
                QCOMPARE(output[c][i], 0.0f);
            for (size_t i = 64; i < input[c].size(); ++i)
                QCOMPARE(output[c][i], input[c][i - 64] * 2.0f);
        }

        gain->setBypass(true); // no enable port: the host copies input to output
        const auto bypassed = renderOffline(*m_host, {gain.get()}, input, 48000);
        QCOMPARE(bypassed, input);
    }

    void parametersDescribeThemselves()
    {
        auto delay = instantiateNow(*m_host, lv2Info(*m_host, delayUri));
        const auto parameters = delay->parameters();
        QCOMPARE(parameters.size(), 1); // the latency output is no parameter
        QCOMPARE(parameters[0].symbol, QStringLiteral("frames"));
        QCOMPARE(parameters[0].name, QStringLiteral("Frames"));
        QCOMPARE(parameters[0].minimum, 0.0f);
        QCOMPARE(parameters[0].maximum, 48000.0f);
        QCOMPARE(parameters[0].defaultValue, 64.0f);
        QVERIFY(parameters[0].integer);
        QVERIFY(delay->setParameter(QStringLiteral("frames"), 1e9f));
        QCOMPARE(parameterValue(*delay, QStringLiteral("frames")), 48000.0f);
        QVERIFY(!delay->setParameter(QStringLiteral("nonsense"), 1));

        auto state = instantiateNow(*m_host, lv2Info(*m_host, stateUri));
        const auto level = state->parameters().at(0);
        QVERIFY(level.enumeration);
        QCOMPARE(level.labels.size(), 2);
        QCOMPARE(level.labels[1].second, QStringLiteral("Voll"));

        auto dpl = instantiateNow(*m_host, lv2Info(*m_host, dplUri));
        bool sawGain = false;
        for (const auto& parameter : dpl->parameters()) {
            QVERIFY(parameter.symbol != QStringLiteral("enable")); // the host's bypass
            if (parameter.symbol == QStringLiteral("gain")) {
                sawGain = true;
                QCOMPARE(parameter.unit, QStringLiteral("dB"));
            }
        }
        QVERIFY(sawGain);
    }

    void stateRoundTripWithWorkerAndExtensionData()
    {
        auto first = instantiateNow(*m_host, lv2Info(*m_host, stateUri));
        const auto input = ramp(2, 4096);
        renderOffline(*m_host, {first.get()}, input, 48000);
        QVERIFY(first->setParameter(QStringLiteral("level"), 7));
        // The change goes to the worker in one block; its response sets the
        // blob before the next.
        const auto longer = ramp(2, 8192);
        auto output = renderOffline(*m_host, {first.get()}, longer, 48000);
        QCOMPARE(output[0][100], longer[0][100]);
        QCOMPARE(output[0][8000], longer[0][8000] * 8.0f);

        const auto state = first->fullState();
        QVERIFY(state);
        QVERIFY(state->value("state").toString().contains(QStringLiteral("level")));
        const auto bytes = writeBinaryPropertyList(*state);
        QVERIFY(bytes);

        auto second = instantiateNow(*m_host, lv2Info(*m_host, stateUri));
        second->setFullState(*readPropertyList(*bytes));
        QCOMPARE(parameterValue(*second, QStringLiteral("level")), 7.0f);
        output = renderOffline(*m_host, {second.get()}, input, 48000);
        QCOMPARE(output[1][10], input[1][10] * 8.0f); // the blob came back, not recomputed

        // A new rate makes the plugin anew and keeps what it had.
        QVERIFY(second->setInputFormat(0, *AudioFormat::standard(96000, 2)));
        output = renderOffline(*m_host, {second.get()}, input, 96000);
        QCOMPARE(output[1][10], input[1][10] * 8.0f);

        // Another plugin's state is ignored.
        auto gain = instantiateNow(*m_host, lv2Info(*m_host, gainUri));
        gain->setFullState(*state);
        QCOMPARE(parameterValue(*gain, QStringLiteral("gain")), 1.0f);
    }

    void packagedPluginsKeepTheirState_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<float>("value");
        QTest::newRow("x42 dpl") << dplUri << "threshold" << -6.5f;
        QTest::newRow("x42 fil4") << "http://gareus.org/oss/lv2/fil4#stereo"
                                  << "gain1" << 4.0f;
        QTest::newRow("x42 darc") << "http://gareus.org/oss/lv2/darc#stereo"
                                  << "threshold" << -20.0f;
        QTest::newRow("mda Delay") << "http://drobilla.net/plugins/mda/Delay"
                                   << "feedback" << 0.25f;
        QTest::newRow("swh amp") << "http://plugin.org.uk/swh-plugins/amp"
                                 << "gain" << -3.0f;
    }
    void packagedPluginsKeepTheirState()
    {
        QFETCH(QString, uri);
        QFETCH(QString, symbol);
        QFETCH(float, value);
        const model::PluginInfo info = lv2Info(*m_host, uri.toUtf8().constData());
        if (info.name.isEmpty())
            QFAIL(qPrintable("not installed: " + uri));
        auto first = instantiateNow(*m_host, info);
        QVERIFY(first->setParameter(symbol, value));
        const auto state = first->fullState();
        QVERIFY(state);
        auto second = instantiateNow(*m_host, info);
        second->setFullState(*readPropertyList(*writeBinaryPropertyList(*state)));
        QCOMPARE(parameterValues(*second), parameterValues(*first));
        QCOMPARE(parameterValue(*second, symbol), value);

        // and they run
        const int channels = second->setInputFormat(0, *AudioFormat::standard(48000, 2)) ? 2 : 1;
        const auto output = renderOffline(*m_host, {second.get()}, ramp(channels, 9000), 48000);
        QCOMPARE(output.size(), size_t(channels));
        for (float sample : output[0])
            QVERIFY(std::isfinite(sample));
    }

    void limiterReportsLatencyAndBypassesSmoothly()
    {
        auto dpl = instantiateNow(*m_host, lv2Info(*m_host, dplUri));
        QVERIFY(dpl->setInputFormat(0, *AudioFormat::standard(48000, 2)));
        QVERIFY(dpl->latency() > 0);
        dpl->setBypass(true);
        QVERIFY(dpl->bypass());
        const auto output = renderOffline(*m_host, {dpl.get()}, ramp(2, 48000), 48000);
        QCOMPARE(output[0].size(), size_t(48000));
    }
};

QTEST_GUILESS_MAIN(TestLv2Host)
#include "test_lv2_host.moc"
