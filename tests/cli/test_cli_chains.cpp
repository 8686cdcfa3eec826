// Chains on the command line: built from "--plugin" arguments for an export,
// and shown as JSON by "tolvex-cli chain show". The built tolvex-cli with
// real plugins, its own settings store and preset folder.
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "model/ChainDocument.h"
#include "model/ExportFormat.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

using Result = CliResult;

const char* const dpl = "http://gareus.org/oss/lv2/dpl#stereo";

/// A shown chain in short: per plugin "URI SYMBOL=VALUE …" for the symbols
/// `asked` names in the same place, written the same way.
QStringList summary(const QJsonArray& chain, const QStringList& asked)
{
    QStringList lines;
    for (qsizetype i = 0; i < chain.size(); ++i) {
        const QJsonObject plugin = chain[i].toObject();
        QString line = plugin["uri"].toString();
        const QStringList settings = i < asked.size() ? asked[i].split(u' ').mid(1) : QStringList();
        for (const QString& setting : settings) {
            const QString symbol = setting.section(u'=', 0, 0);
            line += u' ' + symbol + u'=' +
                    QString::number(plugin["controls"].toObject()[symbol].toDouble());
        }
        lines << line;
    }
    return lines;
}

} // namespace

class TestCliChains : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_chain; ///< the test gain at 0.5, then the test delay bypassed at 100 frames
    bool m_haveDpl = false;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    Result runCli(const QStringList& arguments, const QString& config = QStringLiteral("config"))
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path(config)); // its own settings store
        environment.insert("XDG_DATA_HOME", path("data"));   // and preset folder
        process.setProcessEnvironment(environment);
        process.start(TOLVEX_CLI, arguments);
        return finished(process);
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        host::Lv2AudioHost host;
        const model::PluginInfo gain = lv2Info(host, "urn:tolvex:test:gain");
        const model::PluginInfo delay = lv2Info(host, "urn:tolvex:test:delay");
        auto gainInstance = instantiateNow(host, gain);
        auto delayInstance = instantiateNow(host, delay);
        QVERIFY(gainInstance && delayInstance);
        m_haveDpl = !lv2Info(host, dpl).name.isEmpty();
        gainInstance->setParameter("gain", 0.5f);
        delayInstance->setParameter("frames", 100);
        m_chain = model::encodeChain(
            {model::PluginState::from(gain, false,
                                      host::writeBinaryPropertyList(*gainInstance->fullState())),
             model::PluginState::from(delay, true,
                                      host::writeBinaryPropertyList(*delayInstance->fullState()))});
        writeFile(path("chain.json"), m_chain);
        writeFile(path("data/Tolvex/Ketten/Probe.json"), m_chain);
        writeFile(path("garbage.json"), "[{\"type\": 1");
        writeFile(path("needy.json"),
                  model::encodeChain(
                      {model::PluginState::from(gain, false),
                       model::PluginState::from(lv2Info(host, "urn:tolvex:test:needy"), false)}));
        QDir().mkpath(path("in"));
        writeSignal(
            *host::createAudioFile(path("in/a.wav"),
                                   model::writerSettings(model::ExportFormat::wav24, 2, 44100)),
            sineSignal(44100, 2, 4410));
    }

    // Each row: the "--plugin" arguments and the chain they make, as
    // summary() writes it for the symbols named.
    void pluginArgumentsBuildTheChain_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QStringList>("chain");
        const auto row = [](const char* name, const QStringList& plugins,
                            const QStringList& chain) { QTest::newRow(name) << plugins << chain; };
        row("a URN with colons and a value", {"urn:tolvex:test:gain:gain=0.5"},
            {"urn:tolvex:test:gain gain=0.5"});
        row("no values: the defaults", {"urn:tolvex:test:gain"}, {"urn:tolvex:test:gain gain=1"});
        row("in the order given",
            {"urn:tolvex:test:delay:frames=100", "urn:tolvex:test:gain:gain=2",
             "urn:tolvex:test:delay"},
            {"urn:tolvex:test:delay frames=100", "urn:tolvex:test:gain gain=2",
             "urn:tolvex:test:delay frames=64"});
        row("beyond the range: limited to it",
            {"urn:tolvex:test:gain:gain=9", "urn:tolvex:test:delay:frames=-5"},
            {"urn:tolvex:test:gain gain=4", "urn:tolvex:test:delay frames=0"});
        row("number forms", {"urn:tolvex:test:gain:gain=2.5e-1"},
            {"urn:tolvex:test:gain gain=0.25"});
        row("the last value of a symbol counts", {"urn:tolvex:test:gain:gain=1,gain=3"},
            {"urn:tolvex:test:gain gain=3"});
        row("an http URI with a fragment, two values", {QString(dpl) + ":threshold=-3,gain=2"},
            {QString(dpl) + " threshold=-3 gain=2 release=0.01"});
    }
    void pluginArgumentsBuildTheChain()
    {
        QFETCH(QStringList, plugins);
        QFETCH(QStringList, chain);
        if (plugins.join(' ').contains(dpl) && !m_haveDpl)
            QSKIP("the x42 plugins are not installed");
        QStringList arguments{"chain", "show"};
        for (const QString& plugin : plugins)
            arguments << "--plugin" << plugin;
        const Result result = runCli(arguments);
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const QJsonArray shown = QJsonDocument::fromJson(result.out.toUtf8()).array();
        QCOMPARE(summary(shown, chain), chain);
    }

    // The chain built from arguments is the one the files go through.
    void anExportRunsThroughTheBuiltChain()
    {
        QDir().mkpath(path("built"));
        const Result result =
            runCli({"export", "--plugin", "urn:tolvex:test:gain:gain=0.5", "--format", "wav32f",
                    "--suffix", "", "--output-dir", path("built"), path("in/a.wav")});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const Signal back = readToEnd(*host::openAudioFile(path("built/a.wav")));
        std::vector<float> expected = sineSignal(44100, 2, 4410).channels[0];
        for (float& sample : expected)
            sample *= 0.5f;
        QVERIFY(maxDifference(expected, back.channels[0]) < 1e-6);
    }

    void refusedChains_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString in = path("in");
        const auto row = [](const char* name, const QStringList& arguments,
                            const QString& message) {
            QTest::newRow(name) << arguments << message;
        };
        const QString absent = "Ein Effekt-Plugin „urn:ardour:a-comp“ ist nicht installiert.";
        row("plugin not installed", {"export", "--plugin", "urn:ardour:a-comp", in}, absent);
        row("plugin not installed, with a value",
            {"export", "--plugin=urn:ardour:a-comp:attack=3", in}, absent);
        row("the second plugin not installed",
            {"export", "--plugin", "urn:tolvex:test:gain", "--plugin", "urn:tolvex:test:nope", in},
            "Ein Effekt-Plugin „urn:tolvex:test:nope“ ist nicht installiert.");
        row("unknown symbol", {"export", "--plugin", "urn:tolvex:test:gain:gian=1", in},
            "Das Plugin „urn:tolvex:test:gain“ hat keinen Regler „gian“. Seine Regler: gain.");
        row("an audio port", {"chain", "show", "--plugin", "urn:tolvex:test:gain:in_l=1"},
            "Das Plugin „urn:tolvex:test:gain“ hat keinen Regler „in_l“.");
        row("a control output", {"export", "--plugin", "urn:tolvex:test:delay:latency=3", in},
            "„latency“ von „urn:tolvex:test:delay“ ist eine Anzeige des Plugins, kein Regler.");
        row("not a number", {"export", "--plugin", "urn:tolvex:test:gain:gain=laut", in},
            "Der Wert „laut“ für „gain“ von „urn:tolvex:test:gain“ ist keine Zahl.");
        row("no value", {"export", "--plugin", "urn:tolvex:test:gain:gain=", in},
            "Der Wert „“ für „gain“");
        row("not finite", {"export", "--plugin", "urn:tolvex:test:gain:gain=inf", in},
            "Der Wert „inf“ für „gain“");
        const QString mixed =
            "--plugin baut eine eigene Kette und schließt --preset und --chain aus.";
        row("--plugin with --preset",
            {"export", "--preset", "Probe", "--plugin", "urn:tolvex:test:gain", in}, mixed);
        row("--plugin with --chain",
            {"chain", "show", "--plugin", "urn:tolvex:test:gain", "--chain", path("chain.json")},
            mixed);
        row("chain without show", {"chain", "--preset", "Probe"},
            "„tolvex-cli chain“ kennt nur „show“.");
        row("chain show with a path", {"chain", "show", in},
            "„tolvex-cli chain show“ nimmt keine Pfade");
        row("chain show with an export option", {"chain", "show", "--format", "wav16"},
            "„tolvex-cli chain show“ kennt die Option „--format“ nicht");
        row("unknown preset", {"chain", "show", "--preset", "Nie"},
            "Eine Kette „Nie“ gibt es nicht.");
        row("no such chain file", {"chain", "show", "--chain", path("nowhere.json")},
            "Die Kettendatei „" + path("nowhere.json") + "“ lässt sich nicht lesen.");
        row("malformed chain file", {"chain", "show", "--chain", path("garbage.json")},
            "Die Kettendatei „" + path("garbage.json") + "“ lässt sich nicht lesen.");
    }
    void refusedChains()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Result result = runCli(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
        QCOMPARE(entries(path("in")), QStringList{"a.wav"}); // nothing written
    }

    // "--help" anywhere shows the help, whatever options come after it.
    void helpNamesTheChainOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("export") << QStringList{"export", "--help", "--format", "wav16"};
        QTest::newRow("chain show") << QStringList{"chain", "show", "--help", "--preset", "x"};
        QTest::newRow("chain") << QStringList{"chain", "--help"};
    }
    void helpNamesTheChainOptions()
    {
        QFETCH(QStringList, arguments);
        const Result result = runCli(arguments);
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QVERIFY(result.out.contains("--plugin URI[:SYMBOL=WERT,…]"));
        QVERIFY(result.out.contains("tolvex-cli chain show [KETTE]"));
    }

    void showsAChain_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("config"); // the settings store's folder
        QTest::newRow("preset") << QStringList{"chain", "show", "--preset", "Probe"} << "config";
        QTest::newRow("chain file")
            << QStringList{"chain", "show", "--chain", path("chain.json")} << "config";
        QTest::newRow("saved chain") << QStringList{"chain", "show"} << "config-saved";
    }
    void showsAChain()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, config);
        QSettings(path(config + "/Tolvex/Tolvex.conf"), QSettings::IniFormat)
            .setValue("chain", m_chain);
        const Result result = runCli(arguments, config);
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QCOMPARE(result.out, QStringLiteral(R"([
  {
    "name": "Test Gain",
    "vendor": "Tolvex Tests",
    "uri": "urn:tolvex:test:gain",
    "bypass": false,
    "controls": {
      "gain": 0.5
    }
  },
  {
    "name": "Test Delay",
    "vendor": "",
    "uri": "urn:tolvex:test:delay",
    "bypass": true,
    "controls": {
      "frames": 100
    }
  }
]
)"));
    }

    void showsNothingWithoutASavedChain()
    {
        const Result result = runCli({"chain", "show"}, "config-empty");
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QStringLiteral("[]\n"));
    }

    // A plugin that does not load is shown with the reason instead of its
    // controls; the others as they are, and the status says it.
    void showsAPluginThatDoesNotLoad()
    {
        const Result result = runCli({"chain", "show", "--chain", path("needy.json")});
        QCOMPARE(result.status, 1);
        const QJsonArray shown = QJsonDocument::fromJson(result.out.toUtf8()).array();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].toObject()["controls"].toObject()["gain"].toDouble(), 1.0);
        const QJsonObject needy = shown[1].toObject();
        QCOMPARE(needy["uri"].toString(), QStringLiteral("urn:tolvex:test:needy"));
        QVERIFY(!needy.contains("controls"));
        QCOMPARE(needy["error"].toString(),
                 QStringLiteral("„Test Needy“ braucht die LV2-Erweiterung "
                                "urn:tolvex:test:unobtainable, die Tolvex nicht bietet."));
    }
};

QTEST_GUILESS_MAIN(TestCliChains)
#include "test_cli_chains.moc"
