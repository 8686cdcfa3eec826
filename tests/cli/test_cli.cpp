// The built tolvex-cli, run as a user or a script would run it: real files,
// real plugins, its own settings store and preset folder.
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "model/ChainDocument.h"
#include "model/ExportFormat.h"
#include "session/FileNames.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

using Result = CliResult;

/// The fields of /proc/<pid>/stat after the name: state, parent, …; none
/// once the process has gone.
QList<QByteArray> processStat(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    // "pid (name) state ppid …"; the name may hold spaces and brackets.
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

/// Ends `pid` and its render workers at one moment, as a crash of the whole
/// machine would: the process is stopped first, so it can neither start a
/// worker nor clean up after one, then its children and it are killed.
/// Returns once the workers have died.
bool killWithWorkers(pid_t pid)
{
    if (::kill(pid, SIGSTOP) != 0)
        return false;
    QStringList workers;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QList<QByteArray> fields = processStat(entry);
        if (fields.size() > 1 && fields[1].toInt() == pid && ::kill(entry.toInt(), SIGKILL) == 0)
            workers << entry;
    }
    const bool killed = ::kill(pid, SIGKILL) == 0;
    for (const QString& worker : workers)
        for (QList<QByteArray> fields;
             !(fields = processStat(worker)).isEmpty() && fields[0] != "Z" && fields[0] != "X";)
            QThread::yieldCurrentThread();
    return killed;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_gainChain; ///< the test gain at 0.5, as a chain document

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void startCli(QProcess& process, const QStringList& arguments,
                  const QHash<QString, QString>& variables = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config")); // its own settings store
        environment.insert("XDG_DATA_HOME", path("data"));     // and preset folder
        for (auto variable = variables.begin(); variable != variables.end(); ++variable)
            environment.insert(variable.key(), variable.value());
        process.setProcessEnvironment(environment);
        process.start(TOLVEX_CLI, arguments);
        QVERIFY(process.waitForStarted());
    }

    Result runCli(const QStringList& arguments, const QHash<QString, QString>& variables = {}) const
    {
        QProcess process;
        startCli(process, arguments, variables);
        return finished(process);
    }

    /// Runs `script` in a shell with the program as $0 and `arguments` as
    /// $1…: for arguments that are bytes, not text.
    Result runInShell(const QString& script, const QStringList& arguments) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        process.setProcessEnvironment(environment);
        process.start("/bin/sh", QStringList{"-c", script, TOLVEX_CLI} + arguments);
        return finished(process);
    }

    /// No control character but the line ends, nothing that a terminal acts on.
    static bool isPlain(const QString& text)
    {
        return std::none_of(text.begin(), text.end(), [](QChar c) {
            return (c < u' ' && c != u'\n') || (c >= u'\x7f' && c <= u'\x9f');
        });
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    /// Sines at half scale, times `gain`.
    static void writeSine(const QString& path, qint64 frames, double rate = 44100,
                          float gain = 1.0f)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        Signal signal = sineSignal(rate, 2, frames);
        for (auto& channel : signal.channels)
            for (float& sample : channel)
                sample *= gain;
        writeSignal(*host::createAudioFile(
                        path, model::writerSettings(model::ExportFormat::wav24, 2, rate)),
                    signal);
    }

    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    }
    /// Hidden files included.
    static QStringList allEntries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    static qint64 bytesIn(const QString& folder)
    {
        qint64 bytes = 0;
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
            bytes += file.size();
        return bytes;
    }
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        host::Lv2AudioHost host;
        const model::PluginInfo gain = lv2Info(host, "urn:tolvex:test:gain");
        auto instance = instantiateNow(host, gain);
        QVERIFY(instance);
        instance->setParameter("gain", 0.5f);
        const auto needy = lv2Info(host, "urn:tolvex:test:needy");
        m_gainChain = model::encodeChain(
            {model::PluginState::from(gain, false,
                                      host::writeBinaryPropertyList(*instance->fullState())),
             model::PluginState::from(needy, true)}); // bypassed: left out
        writeFile(path("gain.json"), m_gainChain);
        writeFile(path("needy.json"), model::encodeChain({model::PluginState::from(gain, false),
                                                          model::PluginState::from(needy, false)}));
        writeFile(path("garbage.json"), "[{\"type\": 1");
        // Test Crash and Test Hang misbehave on loud files only.
        for (const char* name : {"crash", "hang"})
            writeFile(path(QStringLiteral("%1.json").arg(name)),
                      model::encodeChain(
                          {model::PluginState::from(gain, false),
                           model::PluginState::from(
                               lv2Info(host, (QByteArray("urn:tolvex:test:") + name).constData()),
                               false)}));
    }

    void refusedCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString in = path("refused");
        const auto row = [](const char* name, const QStringList& arguments,
                            const QString& message) {
            QTest::newRow(name) << arguments << message;
        };
        row("no command", {}, "Kein Befehl angegeben.");
        row("unknown format", {"export", "--format", "mp3", in}, "Unbekanntes Format „mp3“");
        row("preset and chain", {"export", "--preset=a", "--chain", "b", in},
            "--preset und --chain schließen einander aus.");
        row("no paths", {"export", "--json"}, "Keine Dateien oder Ordner angegeben.");
        row("jobs 0", {"export", "--jobs", "0", in},
            "--jobs braucht eine ganze Zahl ab 1, nicht „0“.");
        row("jobs not a number", {"export", "--jobs=zwei", in}, "nicht „zwei“");
        row("missing value", {"export", in, "--suffix"},
            "Die Option „--suffix“ braucht einen Wert.");
        row("unknown option", {"export", "--overwrite", in}, "Unbekannte Option „--overwrite“.");
        row("malformed chain file", {"export", "--chain", path("garbage.json"), in},
            "Die Kettendatei „" + path("garbage.json") + "“ lässt sich nicht lesen.");
        row("a plugin that does not load", {"export", "--chain", path("needy.json"), in},
            "„Test Needy“ braucht die LV2-Erweiterung urn:tolvex:test:unobtainable, die Tolvex "
            "nicht bietet.");
        row("unknown preset", {"export", "--preset", "Nie", in}, "Eine Kette „Nie“ gibt es nicht.");
        row("no such output folder", {"export", "--output-dir", path("nowhere"), in},
            "Den Ordner „" + path("nowhere") + "“ gibt es nicht.");
        const QString loudness =
            QStringLiteral("--loudness braucht eine Lautheit in LUFS von −70 bis 0 oder „aus“");
        row("loudness not a number", {"export", "--loudness", "laut", in},
            loudness + QStringLiteral(", nicht „laut“."));
        row("loudness above 0", {"export", "--loudness=3", in},
            loudness + QStringLiteral(", nicht „3“."));
        row("true peak not a number", {"export", "--loudness", "-16", "--true-peak", "-1dB", in},
            QStringLiteral("--true-peak braucht einen Spitzenpegel in dBTP von −20 bis 0, nicht "
                           "„-1dB“."));
        const QString alone =
            QStringLiteral("--true-peak gilt nur mit einer Lautheit nach --loudness.");
        row("true peak alone", {"export", "--true-peak", "-2", in}, alone);
        row("true peak with loudness off", {"export", "--loudness", "aus", "--true-peak=-2", in},
            alone);
        const QString album = QStringLiteral("--album gilt nur mit einer Lautheit nach --loudness");
        row("album alone", {"export", "--album", in}, album);
        row("album with loudness off", {"export", "--loudness=aus", "--album", in}, album);
        row("album with a value", {"export", "--loudness=-16", "--album=ja", in},
            QStringLiteral("Die Option „--album“ nimmt keinen Wert."));
    }
    void refusedCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        if (!QFile::exists(path("refused/a.wav")))
            writeSine(path("refused/a.wav"), 4410);
        const Result result = runCli(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QCOMPARE(entries(path("refused")), QStringList{"a.wav"}); // nothing touched
    }

    // Through the render worker: each file normalised on its own, its
    // figures in the JSON lines.
    void exportsToALoudnessTarget()
    {
        writeSine(path("loud/a.wav"), 44100 * 3, 44100, 0.1f);
        writeSine(path("loud/b.wav"), 44100 * 3, 44100, 0.9f);
        QDir().mkpath(path("loud-out"));
        const Result result =
            runCli({"export", "--chain", path("gain.json"), "--loudness", "−23", "--true-peak",
                    "-1,5", "--json", "--output-dir", path("loud-out"), path("loud")});
        QCOMPARE(result.status, 0);
        const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        for (const QString& line : lines) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(std::abs(object["loudness"].toDouble() + 23) < 0.05, qPrintable(line));
            QVERIFY(object["truePeak"].toDouble() <= -1.5);
            QVERIFY(object["belowTarget"].isNull());
        }
        QCOMPARE(allEntries(path("loud-out")).size(), 2); // no scratch file left
    }

    void exportsWithoutEverOverwriting()
    {
        const Signal signal = sineSignal(44100, 2, 44100);
        writeSine(path("in/a.wav"), 44100);
        writeSine(path("in/sub/b.wav"), 44100);
        writeSine(path("in/.hidden.wav"), 4410);
        writeFile(path("in/notes.txt"), "keine Musik");
        QDir().mkpath(path("out"));
        const QStringList arguments{"export", "--chain", path("gain.json"), "--format",
                                    "wav32f", "--json",  "--output-dir",    path("out"),
                                    "--jobs", "2",       path("in")};
        for (const QString suffix : {"", " 2"}) {
            const Result result = runCli(arguments);
            QCOMPARE(result.status, 0);
            const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 2);
            QSet<QString> outputs;
            for (const QString& line : lines) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
                QCOMPARE(object["status"].toString(), QStringLiteral("done"));
                QVERIFY(object["seconds"].toDouble() > 0);
                // Half-scale sines at half gain: a quarter of full scale.
                QVERIFY(std::abs(object["truePeak"].toDouble(0) - 20 * std::log10(0.25)) < 0.2);
                QVERIFY(object["loudness"].isDouble());
                QVERIFY(object["range"].isDouble());
                outputs << QFileInfo(object["output"].toString()).fileName();
            }
            QCOMPARE(outputs, (QSet<QString>{"a – Tolvex" + suffix + ".wav",
                                             "b – Tolvex" + suffix + ".wav"}));
        }
        const auto reader = host::openAudioFile(path("out/a – Tolvex.wav"));
        const Signal back = readToEnd(*reader);
        std::vector<float> expected = signal.channels[0];
        for (float& sample : expected)
            sample *= 0.5f;
        QVERIFY(maxDifference(expected, back.channels[0]) < 1e-6);
        QCOMPARE(entries(path("out")).size(), 4);

        // The window's settings as defaults; plain lines; a missing file fails the run.
        {
            QSettings settings(path("config/Tolvex/Tolvex.conf"), QSettings::IniFormat);
            settings.setValue("chain", m_gainChain);
            settings.setValue("format", "aiff24");
            settings.setValue("suffix", " neu");
            settings.setValue("folder", path("out"));
        }
        const Result result = runCli({"export", path("in/a.wav"), path("in/fehlt.wav")});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.out.contains("Fehler: " + path("in/fehlt.wav") + ": Gibt es nicht."),
                 qPrintable(result.out));
        QVERIFY2(result.out.contains("fertig: " + path("in/a.wav") + " → " + path("out/a neu.aif")),
                 qPrintable(result.out));
        QVERIFY(result.out.contains("1 Datei exportiert."));
    }

    // Plain lines show a name's control characters as escapes; JSON escapes
    // them its own way.
    void plainOutputEscapesControlCharacters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("colour") << "farbe\x1b[31m"
                                << "farbe\\x1b[31m";
        QTest::newRow("line break") << "zwei\nzeilen"
                                    << "zwei\\nzeilen";
        QTest::newRow("tab and return") << "tab\tcr\r"
                                        << "tab\\tcr\\r";
        QTest::newRow("backslash") << "back\\slash"
                                   << "back\\\\slash";
        QTest::newRow("C1 and DEL") << QStringLiteral("csi\u009bdel\x7f") << "csi\\u009bdel\\x7f";
        QTest::newRow("plain text") << "Äpfel – 2"
                                    << "Äpfel – 2";
    }
    void plainOutputEscapesControlCharacters()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        const QString source = path("escaped/" + name + ".wav");
        writeSine(source, 4410);
        QDir().mkpath(path("escaped-out"));
        const Result result =
            runCli({"export", "--chain", path("gain.json"), "--format", "wav16", "--suffix", " x",
                    "--output-dir", path("escaped-out"), source});
        QCOMPARE(result.status, 0);
        // A tenth of a second: no integrated loudness.
        const QString line = "fertig: " + path("escaped/" + shown + ".wav") + " → " +
                             path("escaped-out/" + shown + " x.wav") +
                             QStringLiteral(" (zu kurz für eine Lautheit · −12,0 dBTP)\n");
        QVERIFY2(result.out.contains(line), qPrintable(result.out));
        QVERIFY(isPlain(result.out));

        writeFile(path("data/Tolvex/Ketten/" + name + ".json"), m_gainChain);
        const Result listed = runCli({"presets"});
        QFile::remove(path("data/Tolvex/Ketten/" + name + ".json"));
        QCOMPARE(listed.status, 0);
        QVERIFY2(listed.out.split('\n').contains(shown), qPrintable(listed.out));
        QVERIFY(isPlain(listed.out));
    }

    // Names that are not UTF-8 cannot be opened by name: each is reported and
    // the run fails, whether it lies in a folder or is named itself.
    void namesThatAreNotUtf8FailTheRun()
    {
        const QByteArray folder = QFile::encodeName(path("raw"));
        const QByteArray rawName = folder + "/b\xff"
                                            "ad.wav";
        writeSine(path("raw/ok.wav"), 4410);
        writeSine(path("raw/temporary.wav"), 4410);
        QCOMPARE(
            ::rename(QFile::encodeName(path("raw/temporary.wav")).constData(), rawName.constData()),
            0);
        const auto removeRaw = qScopeGuard([&] { ::unlink(rawName.constData()); });
        QDir().mkpath(path("raw-out"));
        const QString message =
            QStringLiteral("Der Name ist kein gültiges UTF-8; die Datei lässt sich nicht öffnen.");
        const QString common =
            "\"$0\" export --chain \"$1\" --format wav16 --suffix ' x' --output-dir \"$2\" ";
        const QStringList arguments{path("gain.json"), path("raw-out"), path("raw")};

        const Result inFolder = runInShell(common + "\"$3\"", arguments);
        QCOMPARE(inFolder.status, 1);
        QVERIFY2(inFolder.out.contains("Fehler: " + path("raw") + "/b\\xffad.wav: " + message),
                 qPrintable(inFolder.out));
        QVERIFY2(inFolder.out.contains("fertig: " + path("raw/ok.wav")), qPrintable(inFolder.out));

        const Result named =
            runInShell(common + "--json \"$3/b$(printf '\\377')ad.wav\"", arguments);
        QCOMPARE(named.status, 1);
        const QJsonObject object = QJsonDocument::fromJson(named.out.toUtf8()).object();
        QCOMPARE(object["message"].toString(), message);
        QCOMPARE(object["source"].toString(), session::decodeFileName(rawName));
        QCOMPARE(entries(path("raw-out")), QStringList{"ok x.wav"});

        const Result refused = runInShell(
            "\"$0\" export --chain \"$1\" --output-dir \"$2$(printf '\\377')\" \"$3\"", arguments);
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.contains("raw-out\\xff“ ist kein gültiges UTF-8."),
                 qPrintable(refused.err));
    }

    // A chain file that is a pipe keeps the export loading its chain until
    // the test writes it: the signal comes before anything else has happened.
    void aSignalWhileTheChainLoadsEndsTheRunIn130()
    {
        const QByteArray fifo = QFile::encodeName(path("slow-chain"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        writeSine(path("early/a.wav"), 4410);
        QDir().mkpath(path("early-out"));
        QProcess process;
        startCli(process, {"export", "--chain", path("slow-chain"), "--output-dir",
                           path("early-out"), path("early")});
        int pipe = -1; // opens once the export has opened the pipe to read it
        QTRY_VERIFY_WITH_TIMEOUT(
            pipe >= 0 || (pipe = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK)) >= 0, 60000);
        ::kill(pid_t(process.processId()), SIGTERM);
        QCOMPARE(::write(pipe, m_gainChain.constData(), size_t(m_gainChain.size())),
                 ssize_t(m_gainChain.size()));
        ::close(pipe);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(entries(path("early-out")).isEmpty());
    }

    // A plugin that crashes, or stops returning, on the loud file in the
    // middle fails that file only, naming the plugin; no partial file stays,
    // the files around it are written and tolvex-cli ends with status 1.
    void aMisbehavingPluginTakesOnlyItsFile_data()
    {
        QTest::addColumn<QString>("chain");
        QTest::addColumn<QString>("timeout"); // of the watchdog, in seconds
        QTest::addColumn<QString>("message");
        QTest::newRow("crash") << "crash.json"
                               << "60"
                               << QStringLiteral("„Test Crash“ ist beim Rechnen abgestürzt.");
        QTest::newRow("hang") << "hang.json"
                              << "3" << QStringLiteral("„Test Hang“ antwortet nicht mehr.");
    }
    void aMisbehavingPluginTakesOnlyItsFile()
    {
        QFETCH(QString, chain);
        QFETCH(QString, timeout);
        QFETCH(QString, message);
        const QString in = path(QStringLiteral("bad-") + QTest::currentDataTag());
        for (const auto& [name, gain] : {std::pair{"a", 1.0f}, {"b", 1.9f}, {"c", 1.0f}})
            writeSine(in + '/' + name + ".wav", 22050, 44100, gain);
        QDir().mkpath(in + "/out");
        const Result result =
            runCli({"export", "--chain", path(chain), "--format", "wav16", "--suffix", " – Tolvex",
                    "--jobs", "1", "--json", "--output-dir", in + "/out", in + "/a.wav",
                    in + "/b.wav", in + "/c.wav"},
                   {{"TOLVEX_RENDER_TIMEOUT", timeout}});
        QCOMPARE(result.status, 1);
        QStringList outcomes;
        for (const QString& line : result.out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            outcomes << QFileInfo(object["source"].toString()).fileName() + ' ' +
                            object["status"].toString() + ' ' + object["message"].toString();
        }
        QCOMPARE(outcomes, (QStringList{"a.wav done ", "b.wav failed " + message, "c.wav done "}));
        QCOMPARE(QDir(in + "/out").entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"a – Tolvex.wav", "c – Tolvex.wav"}));
    }

    void aSignalCancelsCleanly()
    {
        for (int i = 0; i < 12; ++i)
            writeSine(path(QStringLiteral("long/%1.wav").arg(i, 2, 10, QChar('0'))), 8000 * 60,
                      8000);
        QDir().mkpath(path("cancelled"));
        QProcess process;
        startCli(process, {"export", "--chain", path("gain.json"), "--format", "m4a", "--jobs", "1",
                           "--json", "--output-dir", path("cancelled"), path("long")});
        // Once an output exists the export is running and the handlers are in place.
        QTRY_VERIFY_WITH_TIMEOUT(!entries(path("cancelled")).isEmpty(), 60000);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QStringList done;
        int cancelled = 0;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object["status"] == "done")
                done << QFileInfo(object["output"].toString()).fileName();
            cancelled += object["status"] == "cancelled";
        }
        QVERIFY(cancelled > 0);
        QCOMPARE(done.size() + cancelled, 12);
        QCOMPARE(allEntries(path("cancelled")), done); // no partial output left, hidden or not
    }

    // SIGKILL to the exporter and its workers at moments drawn from a fixed
    // seed, each once some more bytes have reached the folder: every file
    // under an output's name is whole, and each next export clears away what
    // the killed one left.
    void aKilledExportLeavesNoPartialFile()
    {
        constexpr qint64 frames = 8000 * 40;
        for (int i = 0; i < 4; ++i)
            writeSine(path(QStringLiteral("kill/%1.wav").arg(i)), frames, 8000);
        const QString out = path("killed");
        QDir().mkpath(out);
        QRandomGenerator random(23);
        const char* const formats[] = {"wav24", "m4a", "wav32f", "aiff24"};
        int killed = 0;
        int leftBehind = 0;
        QStringList leftovers; // part files of the round before
        for (int round = 0; round < 8; ++round) {
            const qint64 before = bytesIn(out);
            const qint64 threshold = before + random.bounded(20000, 1500000);
            QProcess process;
            startCli(process,
                     {"export", "--chain", path("gain.json"), "--format", formats[round % 4],
                      "--jobs", "2", "--json", "--output-dir", out, path("kill")});
            QTRY_VERIFY_WITH_TIMEOUT(
                bytesIn(out) >= threshold || process.state() == QProcess::NotRunning, 120000);
            // A process that ended is not killed: its id is 0, which would
            // signal the whole process group.
            if (process.state() == QProcess::Running && process.processId() > 0)
                killed += killWithWorkers(pid_t(process.processId()));
            process.waitForFinished(60000);
            QCOMPARE(process.state(), QProcess::NotRunning);
            for (const QString& name : entries(out))
                QVERIFY2(readToEnd(*host::openAudioFile(out + '/' + name)).frames() == frames,
                         qPrintable(name));
            const QStringList parts = allEntries(out).filter(QRegularExpression("^\\.tolvex-"));
            for (const QString& part : leftovers)
                QVERIFY2(!parts.contains(part), qPrintable(part));
            leftovers = parts;
            leftBehind += !parts.isEmpty();
        }
        QVERIFY(killed > 0 && leftBehind > 0);
        QCOMPARE(
            runCli({"export", "--format", "wav16", "--output-dir", out, path("kill/0.wav")}).status,
            0);
        QCOMPARE(allEntries(out), entries(out));
    }

    // One source, chain and format: the same bytes, export after export.
    void exportsAreReproducible_data()
    {
        QTest::addColumn<QString>("format");
        for (model::ExportFormat format : model::allExportFormats)
            QTest::newRow(qPrintable(model::rawValue(format))) << model::rawValue(format);
    }
    void exportsAreReproducible()
    {
        QFETCH(QString, format);
        if (!QFile::exists(path("again/a.wav")))
            writeSine(path("again/a.wav"), 44100 * 3);
        const QString out = path("again-" + format);
        QDir().mkpath(out);
        const QStringList arguments{"export",       "--chain", path("gain.json"),
                                    "--format",     format,    "--json",
                                    "--output-dir", out,       path("again/a.wav")};
        QCOMPARE(runCli(arguments).status, 0);
        QCOMPARE(runCli(arguments).status, 0);
        const QStringList outputs = entries(out);
        QCOMPARE(outputs.size(), 2);
        const QByteArray first = readAll(out + '/' + outputs[0]);
        QVERIFY(first.size() > 10000);
        QVERIFY(first == readAll(out + '/' + outputs[1]));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
