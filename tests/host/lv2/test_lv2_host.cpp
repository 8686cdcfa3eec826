// The real host with the tests' own plugins and packaged ones, and its
// renders against FFmpeg's lv2 filter running the same plugins.
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "host/lv2/Lv2UiLink.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <future>
#include <thread>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

constexpr const char* gainUri = "urn:tolvex:test:gain";
constexpr const char* delayUri = "urn:tolvex:test:delay";
constexpr const char* stateUri = "urn:tolvex:test:state";
constexpr const char* dplUri = "http://gareus.org/oss/lv2/dpl#stereo";
constexpr const char* fil4Uri = "http://gareus.org/oss/lv2/fil4#stereo";
constexpr const char* darcUri = "http://gareus.org/oss/lv2/darc#stereo";

Channels tone(int channels, qint64 frames)
{
    return sineSignal(48000, channels, frames).channels;
}

/// Whether every channel's output is its input times `factor`, from `from` on.
bool scaled(const Channels& in, const Channels& out, size_t from, float factor)
{
    for (size_t c = 0; c < in.size(); ++c)
        for (size_t i = from; i < in[c].size(); ++i)
            if (out[c][i] != in[c][i] * factor)
                return false;
    return true;
}

/// An atom of `size` body bytes, each `fill`.
std::vector<uint64_t> atom(uint32_t size, char fill)
{
    std::vector<uint64_t> buffer((sizeof(LV2_Atom) + size + 7) / 8);
    auto* header = reinterpret_cast<LV2_Atom*>(buffer.data());
    *header = {size, 99};
    std::memset(header + 1, fill, size);
    return buffer;
}

const LV2_Atom& as(const std::vector<uint64_t>& buffer)
{
    return *reinterpret_cast<const LV2_Atom*>(buffer.data());
}

/// "port:size" and the first body byte ('-' when none).
QString describe(uint32_t port, const LV2_Atom& atom)
{
    const char first = atom.size ? *reinterpret_cast<const char*>(&atom + 1) : '-';
    return QStringLiteral("%1:%2%3").arg(port).arg(atom.size).arg(QChar(first));
}

} // namespace

class TestLv2Host : public QObject {
    Q_OBJECT

    std::unique_ptr<Lv2AudioHost> m_host;
    std::unique_ptr<PluginInstance> make(const QString& uri)
    {
        return instantiateNow(*m_host, lv2Info(*m_host, uri.toUtf8().constData()));
    }

private Q_SLOTS:
    void initTestCase() { m_host = std::make_unique<Lv2AudioHost>(); }
    void cleanupTestCase() { m_host.reset(); }

    void catalogue_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("vendor");
        const quint32 effect = model::effectType;
        QTest::newRow("gain") << gainUri << effect << "Test Gain" << QString("Tolvex Tests");
        QTest::newRow("vendor from project")
            << "urn:tolvex:test:tail" << effect << "Test Tail" << QString("Tolvex Test Project");
        QTest::newRow("midi effect, vendor from URI host")
            << "http://tolvex.test/plugins/midifx" << model::musicEffectType << "Test MIDI Effect"
            << QString("tolvex.test");
        QTest::newRow("packaged") << dplUri << effect << "x42-dpl - Digital Peak Limiter Stereo"
                                  << QString("Robin Gareus");
    }
    void catalogue()
    {
        QFETCH(QString, uri);
        QFETCH(quint32, type);
        const model::PluginInfo info = lv2Info(*m_host, uri.toUtf8().constData());
        QTEST(info.name, "name");
        QTEST(info.vendor, "vendor");
        QVERIFY(m_host->components(type).contains(info));
        const quint32 other =
            type == model::effectType ? model::musicEffectType : model::effectType;
        QVERIFY(!m_host->components(other).contains(info));
    }

    void instantiationCompletesOnceEvenWhenItThrows()
    {
        std::atomic<int> calls = 0;
        std::promise<bool> first; // made an instance, off the calling thread
        const auto caller = std::this_thread::get_id();
        m_host->instantiate(lv2Info(*m_host, gainUri).codes, [&](Instantiation result) {
            if (calls++ == 0)
                first.set_value(std::holds_alternative<std::unique_ptr<PluginInstance>>(result) &&
                                std::this_thread::get_id() != caller);
            throw HostError(QStringLiteral("vom Aufrufer"));
        });
        QVERIFY(first.get_future().get());
        // Completions come in order: once the next one is in, the first is done.
        QVERIFY(make(gainUri));
        QCOMPARE(calls.load(), 1);
    }

    void instantiationFailuresNameThePlugin_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("text"); // a text ending in "(": the start of the message
        QTest::newRow("fails to instantiate")
            << "urn:tolvex:test:broken"
            << "„Test Broken“ lässt sich bei 48000 Hz nicht starten.";
        QTest::newRow("needs a missing feature")
            << "urn:tolvex:test:needy"
            << "„Test Needy“ braucht die LV2-Erweiterung urn:tolvex:test:unobtainable, die Tolvex "
               "nicht bietet.";
        QTest::newRow("not installed") << ""
                                       << "Das Plugin „1635083896-1-2“ ist nicht installiert.";
        QTest::newRow("library does not open")
            << "urn:tolvex:test:nolibrary"
            << "„Test No Library“ lässt sich nicht laden: Seine Programmbibliothek lässt sich "
               "nicht öffnen (";
    }
    void instantiationFailuresNameThePlugin()
    {
        QFETCH(QString, uri);
        model::PluginInfo info = lv2Info(*m_host, uri.toUtf8().constData());
        if (uri.isEmpty())
            info.codes = {model::effectType, 1, 2};
        QFETCH(QString, text);
        QString error;
        QVERIFY(!instantiateNow(*m_host, info, &error));
        // The loader's own words follow a library's fault.
        QVERIFY2(text.endsWith(u'(') ? error.startsWith(text) && error.contains(u"missing.so")
                                     : error == text,
                 qPrintable(error));
    }

    void anEffectStoredAsTheOtherTypeIsFound()
    {
        // The URI's hash names the plugin: a chain written by hand calls the
        // MIDI effect an effect, and gets it.
        model::PluginInfo info = lv2Info(*m_host, "http://tolvex.test/plugins/midifx");
        info.codes.type = model::effectType;
        QVERIFY(instantiateNow(*m_host, info));
        QCOMPARE(m_host->uri(info.codes), QStringLiteral("http://tolvex.test/plugins/midifx"));
    }

    void formatsAndBypass()
    {
        auto stereo = make(gainUri);
        QVERIFY(!stereo->setInputFormat(1, *AudioFormat::standard(44100, 2)));
        stereo->setBypass(true); // no enable port: the host copies input to output
        QCOMPARE(render(*m_host, {stereo.get()}, tone(2, 5000), 44100), tone(2, 5000));

        // One in, one out: one copy per channel, every copy with the same gain.
        auto mono = make("urn:tolvex:test:monogain");
        QVERIFY(mono->setParameter(QStringLiteral("gain"), 3.0f));
        const auto input = tone(6, 5000);
        QVERIFY(scaled(input, render(*m_host, {mono.get()}, input, 96000), 0, 3.0f));
    }

    void latencyAndTail_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<float>("frames"); // the delay's parameter
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("latency"); // -1: some, more than none
        QTest::addColumn<double>("tail");
        QTest::newRow("delay") << delayUri << 64.0f << 48000.0 << 64.0 / 48000 << 10.0;
        QTest::newRow("delay set, then rate") << delayUri << 441.0f << 44100.0 << 0.01 << 10.0;
        QTest::newRow("reverb") << "urn:tolvex:test:tail" << 0.0f << 48000.0 << 0.0 << 10.0;
        QTest::newRow("gain") << gainUri << 0.0f << 48000.0 << 0.0 << 0.0;
        QTest::newRow("limiter") << dplUri << 0.0f << 48000.0 << -1.0 << 0.0;
    }
    void latencyAndTail()
    {
        QFETCH(QString, uri);
        QFETCH(double, rate);
        QFETCH(double, latency);
        QFETCH(float, frames);
        auto instance = make(uri);
        instance->setParameter(QStringLiteral("frames"), frames);
        if (!instance->setInputFormat(0, *AudioFormat::standard(rate, 2)))
            QVERIFY(instance->setInputFormat(0, *AudioFormat::standard(rate, 1)));
        if (latency < 0)
            QVERIFY(instance->latency() > 0);
        else
            QCOMPARE(instance->latency(), latency);
        QTEST(instance->tailTime(), "tail");
    }

    void renderIsExactWhileLatencyIsRead()
    {
        auto gain = make(gainUri);
        auto delay = make(delayUri);
        gain->setParameter(QStringLiteral("gain"), 2.0f);
        delay->setParameter(QStringLiteral("frames"), 100);
        const auto input = tone(2, 100000);
        std::atomic<bool> done = false;
        Channels output;
        std::thread rendering([&] {
            output = render(*m_host, {gain.get(), delay.get()}, input, 48000, 1000);
            done = true;
        });
        for (int reads = 0; !done || reads == 0; ++reads)
            QCOMPARE(delay->latency(), 100.0 / 48000);
        rendering.join();
        for (size_t c = 0; c < 2; ++c)
            for (size_t i = 0; i < input[c].size(); ++i)
                QCOMPARE(output[c][i], i < 100 ? 0.0f : input[c][i - 100] * 2.0f);
    }

    void parametersDescribeThemselves()
    {
        auto delay = make(delayUri);
        const auto frames = delay->parameters();
        QCOMPARE(frames.size(), 1); // the latency output is no parameter
        QCOMPARE(frames[0].name + frames[0].symbol, QStringLiteral("Framesframes"));
        QCOMPARE(QList({frames[0].minimum, frames[0].defaultValue, frames[0].maximum}),
                 QList({0.0f, 64.0f, 48000.0f}));
        QVERIFY(frames[0].integer);
        QVERIFY(delay->setParameter(QStringLiteral("frames"), 1e9f));
        QCOMPARE(delay->value(QStringLiteral("frames")), 48000.0f);
        QVERIFY(!delay->setParameter(QStringLiteral("nonsense"), 1));
        const auto level = make(stateUri)->parameters().at(0);
        QVERIFY(level.enumeration);
        QCOMPARE(level.labels.value(1).second, QStringLiteral("Voll"));
        bool sawGain = false;
        for (const auto& parameter : make(dplUri)->parameters()) {
            QVERIFY(parameter.symbol != QStringLiteral("enable")); // the host's bypass
            sawGain |= parameter.symbol == "gain" && parameter.unit == "dB";
        }
        QVERIFY(sawGain);
    }

    void stateRoundTrip_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("factor"); // of the output after the round trip; 0: not known
        // The worker's two responses, the first larger than 64 KiB, make the
        // blob 7 + 7; it must come back from the state, not be recomputed.
        QTest::newRow("worker and state") << stateUri << "level" << 7.0f << 15.0f;
        QTest::newRow("x42 dpl") << dplUri << "threshold" << -6.5f << 0.0f;
        QTest::newRow("x42 fil4") << fil4Uri << "gain1" << 4.0f << 0.0f;
        QTest::newRow("x42 darc") << darcUri << "threshold" << -20.0f << 0.0f;
        QTest::newRow("mda") << "http://drobilla.net/plugins/mda/Delay"
                             << "feedback" << 0.25f << 0.0f;
        QTest::newRow("swh") << "http://plugin.org.uk/swh-plugins/amp"
                             << "gain" << -3.0f << 0.0f;
    }
    void stateRoundTrip()
    {
        QFETCH(QString, uri);
        QFETCH(QString, symbol);
        QFETCH(float, value);
        QFETCH(float, factor);
        auto first = make(uri);
        QVERIFY(first);
        const int channels = first->setInputFormat(0, *AudioFormat::standard(48000, 2)) ? 2 : 1;
        const auto input = tone(channels, 8192);
        render(*m_host, {first.get()}, input, 48000);
        QVERIFY(first->setParameter(symbol, value));
        // A changed level goes to the worker in one block; the responses
        // arrive before the next.
        auto output = render(*m_host, {first.get()}, input, 48000);
        QVERIFY(!factor || scaled(input, output, 4096, factor));
        const auto state = first->fullState().value();
        auto second = make(uri);
        second->setFullState(*readPropertyList(*writeBinaryPropertyList(state)));
        for (const PluginParameter& parameter : first->parameters())
            QCOMPARE(second->value(parameter.symbol), parameter.value);
        QCOMPARE(second->value(symbol), value);
        for (double rate : {48000.0, 96000.0}) { // a new rate makes the plugin anew, keeping it
            output = render(*m_host, {second.get()}, input, rate);
            QVERIFY(std::all_of(output.back().begin(), output.back().end(),
                                [](float sample) { return std::isfinite(sample); }));
            QVERIFY(!factor || scaled(input, output, 0, factor));
        }
        auto gain = make(gainUri); // another plugin's state is ignored
        gain->setFullState(state);
        QCOMPARE(gain->value(QStringLiteral("gain")), 1.0f);
    }

    // A stored state lilv cannot read safely, hostile or damaged, is not
    // read: the plugin keeps its defaults and goes on working. Each state
    // also sets a port value (gain1 = 4) that shows whether it was read.
    void unreadableStatesLeaveThePluginAtItsDefaults_data()
    {
        QTest::addColumn<QByteArray>("turtle");
        QTest::addColumn<bool>("read");
        const QByteArray preset = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                                  "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
                                  "<urn:s> a pset:Preset ; lv2:port [ lv2:symbol \"gain1\" ; "
                                  "pset:value 4.0 ] ; ";
        const auto withState = [&](const QByteArray& value) {
            return preset + "state:state [ <urn:key> " + value + " ] .\n";
        };
        const int deep = 100000;
        QTest::newRow("read") << withState("1") << true;
        QTest::newRow("a vector of 1000 floats")
            << withState("[ a atom:Vector ; atom:childType atom:Float ; rdf:value ( " +
                         QByteArray("1.5 ").repeated(1000) + ") ]")
            << true;
        QTest::newRow("no preset subject") << QByteArray("<urn:a> <urn:b> <urn:c> .") << false;
        QTest::newRow("blank nodes nested 100000 deep")
            << preset + "<urn:p> " + QByteArray("[ <urn:p> ").repeated(deep) +
                   QByteArray("]").repeated(deep) + " ."
            << false;
        QTest::newRow("collections nested 100000 deep")
            << preset + "<urn:p> " + QByteArray("( ").repeated(deep) +
                   QByteArray(")").repeated(deep) + " ."
            << false;
        QTest::newRow("deep nesting after a syntax error")
            << preset + "<urn:p> 1 .\n@@@ \"\"\"\n<urn:a> <urn:p> " +
                   QByteArray("[ <urn:p> ").repeated(deep) + QByteArray("]").repeated(deep) +
                   " .\n\"\"\""
            << false;
        QByteArray chain;
        for (int i = 0; i < deep; ++i)
            chain +=
                "_:b" + QByteArray::number(i) + " <urn:p> _:b" + QByteArray::number(i + 1) + " .\n";
        QTest::newRow("labelled blank nodes 100000 deep") << withState("_:b0") + chain << false;
        QTest::newRow("blank nodes in a cycle") << withState("_:a") + "_:a <urn:p> _:a ." << false;
        QTest::newRow("a port value in a cycle")
            << preset + "lv2:port [ lv2:symbol \"gain2\" ; pset:value _:v ] .\n_:v <urn:p> _:v ."
            << false;
        QTest::newRow("a list in a cycle")
            << withState("[ a atom:Tuple ; rdf:value _:l ]") + "_:l rdf:first 1 ; rdf:rest _:l ."
            << false;
        QTest::newRow("a vector without a child type")
            << withState("[ a atom:Vector ; rdf:value ( 1.5 ) ]") << false;
        QTest::newRow("a sequence event without a value")
            << withState("[ a atom:Sequence ; rdf:value ( [ atom:frameTime 0 ] ) ]") << false;
        QTest::newRow("a vector of 200000 floats")
            << withState("[ a atom:Vector ; atom:childType atom:Float ; rdf:value ( " +
                         QByteArray("1.5 ").repeated(200000) + ") ]")
            << false;
        QByteArray shared; // read 2^40 times over
        for (int i = 0; i < 40; ++i)
            shared += "_:s" + QByteArray::number(i) + " <urn:p> _:s" + QByteArray::number(i + 1) +
                      " ; <urn:q> _:s" + QByteArray::number(i + 1) + " .\n";
        QTest::newRow("blank nodes shared 2^40 times") << withState("_:s0") + shared << false;
    }
    void unreadableStatesLeaveThePluginAtItsDefaults()
    {
        QFETCH(QByteArray, turtle);
        QFETCH(bool, read);
        auto plugin = make(fil4Uri);
        const auto defaults = make(fil4Uri)->parameters();
        plugin->setFullState({{"uri", fil4Uri}, {"state", QString::fromUtf8(turtle)}});
        QCOMPARE(plugin->value("gain1"), read ? 4.0f : 0.0f);
        for (const PluginParameter& parameter : defaults)
            if (parameter.symbol != "gain1")
                QCOMPARE(plugin->value(parameter.symbol), parameter.value);
        const auto output = render(*m_host, {plugin.get()}, tone(2, 4096), 48000);
        QVERIFY(std::all_of(output[0].begin(), output[0].end(),
                            [](float sample) { return std::isfinite(sample); }));
    }

    // The states the plugin-state fuzzer starts from or found faults with,
    // kept as its seeds, given as it gives them to the plugin it restores
    // into: the plugin goes on working.
    void fuzzSeedsLeaveThePluginWorking_data()
    {
        QTest::addColumn<QString>("path");
        const QDir seeds(QFINDTESTDATA("../../fuzz/seeds/plugin_state"));
        for (const QFileInfo& seed : seeds.entryInfoList(QDir::Files))
            QTest::newRow(qPrintable(seed.fileName())) << seed.filePath();
    }
    void fuzzSeedsLeaveThePluginWorking()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        auto state = readPropertyList(file.readAll());
        QVERIFY(state);
        state->insert("uri", fil4Uri);
        auto plugin = make(fil4Uri);
        plugin->setFullState(*state);
        const auto output = render(*m_host, {plugin.get()}, tone(2, 4096), 48000);
        QVERIFY(std::all_of(output[0].begin(), output[0].end(),
                            [](float sample) { return std::isfinite(sample); }));
    }

    // A bundle copied onto LV2_PATH appears with a rescan, and goes with
    // the next once removed, while an instance made from it keeps working.
    // The folder for the plugins' files goes with the host.
    void rescanAndCleanUp()
    {
        QTemporaryDir folder, temp;
        const QByteArray path = qgetenv("LV2_PATH"), tmp = qgetenv("TMPDIR");
        qputenv("LV2_PATH", folder.path().toUtf8() + ':' + path);
        qputenv("TMPDIR", temp.path().toUtf8());
        {
            Lv2AudioHost host;
            qputenv("TMPDIR", tmp);
            const auto late = [&] { return lv2Info(host, "urn:tolvex:test:late"); };
            QVERIFY(late().name.isEmpty());
            const QString bundle = folder.filePath(QStringLiteral("late.lv2"));
            QVERIFY(QDir().mkpath(bundle));
            QVERIFY(QFile::copy(TOLVEX_LV2_LATE_BUNDLE "/manifest.ttl", bundle + "/manifest.ttl"));
            host.rescan();
            QCOMPARE(late().name, QStringLiteral("Test Late"));
            auto made = instantiateNow(host, late());
            QVERIFY(made && made->setParameter(QStringLiteral("gain"), 3.0f));
            QVERIFY(QDir(bundle).removeRecursively());
            host.rescan();
            qputenv("LV2_PATH", path);
            QVERIFY(late().name.isEmpty() && !lv2Info(host, gainUri).name.isEmpty());
            const auto input = tone(2, 5000);
            QVERIFY(scaled(input, render(host, {made.get()}, input, 44100), 0, 3.0f));

            auto state = instantiateNow(host, lv2Info(host, stateUri));
            QVERIFY(state->fullState()); // the plugin makes a file through make_path
            QVERIFY(!QDir(temp.path()).isEmpty());
        }
        QVERIFY(QDir(temp.path()).isEmpty());
    }

    void sameOutputAsFfmpeg_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QStringList>("controls"); // symbol=value
        QTest::addColumn<double>("limitDb");       // -400: identical
        QTest::newRow("own gain") << gainUri << QStringList{"gain=2"} << -400.0;
        QTest::newRow("x42 fil4") << fil4Uri << QStringList{"sec1=1", "freq1=1000", "gain1=9",
                                                            "q1=1.5", "HighPass=1", "HPfreq=80"}
                                  << -90.0;
        QTest::newRow("x42 darc") << darcUri
                                  << QStringList{"threshold=-24", "Ratio=0.6", "attack=0.005"}
                                  << -90.0;
    }
    void sameOutputAsFfmpeg()
    {
        QFETCH(QString, uri);
        QFETCH(QStringList, controls);
        QFETCH(double, limitDb);
        QTemporaryDir dir;
        const Signal input = sineSignal(48000, 2, 96000);
        const QString source = dir.filePath("source.wav"), theirs = dir.filePath("theirs.wav");
        writeSignal(*createAudioFile(source, model::writerSettings(model::ExportFormat::wav32f, 2,
                                                                   input.sampleRate)),
                    input);
        runTool(QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-i", source, "-af",
                 "lv2='p=" + QString(uri).replace(u':', QStringLiteral("\\:")) +
                     ":c=" + controls.join(u'|') + "'",
                 "-c:a", "pcm_f32le", theirs});
        if (QTest::currentTestFailed())
            return;
        const Signal reference = readToEnd(*openAudioFile(theirs));
        auto instance = make(uri);
        for (const QString& control : controls)
            QVERIFY(instance->setParameter(control.section(u'=', 0, 0),
                                           control.section(u'=', 1).toFloat()));
        // Both hosts leave the plugin's own latency in place: the streams
        // line up as they are.
        const auto ours = render(*m_host, {instance.get()}, input.channels, 48000);
        for (size_t c = 0; c < 2; ++c) {
            QCOMPARE(qint64(ours[c].size()), reference.frames());
            const double db = differenceDb(reference.channels[c], ours[c]);
            QVERIFY2(db <= limitDb, qPrintable(QStringLiteral("difference %1 dB").arg(db)));
            QVERIFY2(differenceDb(input.channels[c], ours[c]) > -40, "the plugin did nothing");
        }
    }

    // The atom messages between a plugin's interface and the running plugin.
    void uiMessagesReachThePluginInOrderBlockByBlock()
    {
        Lv2UiLink link(256);
        QVERIFY(link.sendToPlugin(0, as(atom(3, 'a'))));
        QVERIFY(link.sendToPlugin(2, as(atom(0, 'b'))));
        QVERIFY(link.sendToPlugin(0, as(atom(230, 'c'))));  // does not fit with the others
        QVERIFY(!link.sendToPlugin(0, as(atom(300, 'd')))); // larger than the port takes
        QStringList taken;
        const auto take = [&] {
            taken.clear();
            link.takeForBlock();
            link.forEachTaken(
                [&](uint32_t port, const LV2_Atom& a) { taken << describe(port, a); });
        };
        take();
        QCOMPARE(taken, QStringList({"0:3a", "2:0-"}));
        take();
        QCOMPARE(taken, QStringList({"0:230c"}));
        take();
        QVERIFY(taken.isEmpty());
    }

    void notificationsReachTheUiWhileItListens()
    {
        Lv2UiLink link(1024);
        link.sendToUi(1, as(atom(8, 'x'))); // nobody listens: dropped
        link.setListening(true);
        for (char fill : {'p', 'q'})
            link.sendToUi(1, as(atom(1000, fill)));
        QStringList received;
        link.receive([&](uint32_t port, const LV2_Atom& a) { received << describe(port, a); });
        QCOMPARE(received, QStringList({"1:1000p", "1:1000q"}));
    }
};

QTEST_GUILESS_MAIN(TestLv2Host)
#include "test_lv2_host.moc"
