// A folder of real files exported through a real chain, in this process and
// in render worker processes.
#include "chain/Chain.h"
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "render/Renderer.h"
#include "session/ProcessLauncher.h"
#include "session/Session.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;
using namespace std::chrono_literals;
using model::ExportFormat;

namespace {

/// Renders one job through the launcher and waits for its outcome.
session::RenderOutcome renderThrough(session::RenderLauncher& launcher, render::RenderJob job)
{
    std::optional<session::RenderOutcome> outcome;
    launcher.begin(1);
    launcher.launch(
        std::move(job), [](double) {},
        [&outcome](const session::RenderOutcome& ended) { outcome = ended; });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 60000); }();
    launcher.end();
    return outcome.value_or(session::RenderOutcome{});
}

void writeStereo(const QString& path, float gain)
{
    Signal signal = sineSignal(44100, 2, 22050);
    for (auto& channel : signal.channels)
        for (float& sample : channel)
            sample *= gain;
    writeSignal(*host::createAudioFile(path, model::writerSettings(ExportFormat::wav24, 2, 44100)),
                signal);
}

} // namespace

class TestSessionEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // Sources of several kinds through a chain with latency: two at a time
    // write what one at a time writes, and that is the chain's output.
    void aFolderThroughARealChain()
    {
        const QString in = m_dir.filePath("in");
        QDir().mkpath(in);
        const Signal stereo = sineSignal(44100, 2, 44100);
        const Signal mono = sineSignal(48000, 1, 30000);
        writeSignal(*host::createAudioFile(in + "/a.wav",
                                           model::writerSettings(ExportFormat::wav24, 2, 44100)),
                    stereo);
        writeSignal(*host::createAudioFile(in + "/d.wav",
                                           model::writerSettings(ExportFormat::wav24, 1, 48000)),
                    mono);
        runTool("ffmpeg", {"-v", "error", "-y", "-i", in + "/a.wav", in + "/b.flac"});
        runTool("ffmpeg", {"-v", "error", "-y", "-i", in + "/a.wav", "-c:a", "libmp3lame", "-b:a",
                           "256k", in + "/c.mp3"});

        host::Lv2AudioHost host([] { return host::makeNullOutput(); });
        QSettings settings(m_dir.filePath("e2e.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        for (const char* uri : {"urn:tolvex:test:delay", "urn:tolvex:test:gain"})
            QCoro::waitFor(
                chain.addPlugin(lv2Info(host, uri), host::PropertyDictionary{}, false, false));
        chain.slots()[0]->unit().setParameter("frames", 300);
        chain.slots()[1]->unit().setParameter("gain", 0.5f);
        session::Session session(host, settings);
        session.add({QUrl::fromLocalFile(in)});
        QCOMPARE(session.items().size(), 4);
        session.setFolderPath(in);
        session.setFormat(ExportFormat::m4a);

        QList<Signal> outputs[2];
        for (int jobs : {1, 2}) {
            settings.setValue("jobs", jobs);
            session.setSuffix(QStringLiteral(" jobs %1").arg(jobs));
            session.startExport(chain);
            QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 30000);
            QCOMPARE(session.toast(), QStringLiteral("4 Dateien exportiert."));
            for (const model::AudioItem& item : session.items()) {
                QVERIFY2(item.status.isDone(), qPrintable(item.status.message()));
                QCOMPARE(QFileInfo(item.status.file().toLocalFile()).suffix(), "m4a");
                outputs[jobs - 1] << readToEnd(
                    *host::openAudioFile(item.status.file().toLocalFile()));
            }
        }
        for (int i = 0; i < 4; ++i) {
            const Signal& source = i == 3 ? mono : stereo;
            const Signal& out = outputs[0][i];
            QCOMPARE(out.channels.size(), source.channels.size());
            // The delay's tail is cut at the first block after source and latency.
            QCOMPARE(out.frames(), (source.frames() + 300 + 4095) / 4096 * 4096 - 300);
            std::vector<float> expected = source.channels.back();
            for (float& sample : expected)
                sample *= 0.5f;
            const double snr = snrDb(expected, out.channels.back(), 2048, source.frames() - 2048);
            QVERIFY2(snr > 25, qPrintable(QStringLiteral("%1: %2 dB").arg(i).arg(snr)));
            QVERIFY(outputs[1][i].channels == out.channels);
        }
    }

    // The worker process writes exactly what a render in this process writes.
    void aWorkerWritesWhatThisProcessWrites_data()
    {
        QTest::addColumn<ExportFormat>("format");
        for (ExportFormat format : model::allExportFormats)
            QTest::newRow(qPrintable(model::rawValue(format))) << format;
    }
    void aWorkerWritesWhatThisProcessWrites()
    {
        QFETCH(ExportFormat, format);
        const QString folder =
            m_dir.filePath(QStringLiteral("identical-") + QTest::currentDataTag());
        QDir().mkpath(folder);
        writeStereo(folder + "/source.wav", 1.0f);
        host::Lv2AudioHost host;
        QList<model::PluginState> plugins;
        for (const auto& [uri, symbol, value] :
             {std::tuple{"urn:tolvex:test:delay", "frames", 300.0f},
              std::tuple{"urn:tolvex:test:gain", "gain", 0.5f}}) {
            const model::PluginInfo info = lv2Info(host, uri);
            auto instance = instantiateNow(host, info);
            QVERIFY(instance && instance->setParameter(symbol, value));
            plugins << model::PluginState::from(
                info, false, host::writeBinaryPropertyList(*instance->fullState()));
        }
        const auto job = [&](const QString& name) {
            return render::RenderJob{
                QUrl::fromLocalFile(folder + "/source.wav"),
                QUrl::fromLocalFile(folder + '/' + name + '.' + model::fileExtension(format)),
                plugins, format};
        };
        render::renderFile(host, job("here"), [](double) {});
        session::ProcessLauncher launcher({TOLVEX_RENDER_WORKER, 60s});
        const session::RenderOutcome outcome = renderThrough(launcher, job("worker"));
        QVERIFY2(outcome.status.isDone(), qPrintable(outcome.status.message()));
        QCOMPARE(outcome.status.file(), job("worker").target);
        QFile here(job("here").target.toLocalFile());
        QFile worker(job("worker").target.toLocalFile());
        QVERIFY(here.open(QIODevice::ReadOnly) && worker.open(QIODevice::ReadOnly));
        const QByteArray bytes = here.readAll();
        QVERIFY(bytes.size() > 10000);
        QVERIFY(worker.readAll() == bytes);
    }

    // The window's batch export with a plugin that crashes, or stops
    // returning, on the loud file in the middle: that file fails naming the
    // plugin and leaves nothing behind, not even temporary files; the files
    // around it are written.
    void aMisbehavingPluginTakesOnlyItsFile_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<int>("timeout"); // of the watchdog, in milliseconds
        QTest::addColumn<QString>("message");
        QTest::newRow("crash") << "urn:tolvex:test:crash" << 60000
                               << QStringLiteral("„Test Crash“ ist beim Rechnen abgestürzt.");
        QTest::newRow("hang") << "urn:tolvex:test:hang" << 3000
                              << QStringLiteral("„Test Hang“ antwortet nicht mehr.");
    }
    void aMisbehavingPluginTakesOnlyItsFile()
    {
        QFETCH(QString, uri);
        QFETCH(int, timeout);
        QFETCH(QString, message);
        const QString in = m_dir.filePath(QStringLiteral("bad-") + QTest::currentDataTag());
        const QString out = in + "/out";
        const QString temp = in + "/temp";
        QDir().mkpath(out);
        QDir().mkpath(temp);
        for (const auto& [name, gain] : {std::pair{"a", 1.0f}, {"b", 1.9f}, {"c", 1.0f}})
            writeStereo(in + '/' + name + ".wav", gain);

        host::Lv2AudioHost host;
        QSettings settings(in + "/settings.ini", QSettings::IniFormat);
        settings.setValue("jobs", 1);
        chain::Chain chain(host, settings);
        for (const QString& plugin : {QStringLiteral("urn:tolvex:test:gain"), uri})
            QCoro::waitFor(chain.addPlugin(lv2Info(host, plugin.toUtf8().constData()),
                                           host::PropertyDictionary{}, false, false));
        // Temporary files of the export go to a folder of the test's.
        const std::optional<QByteArray> systemTemp =
            qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
        const auto restoreTemp =
            qScopeGuard([&] { systemTemp ? qputenv("TMPDIR", *systemTemp) : qunsetenv("TMPDIR"); });
        qputenv("TMPDIR", QFile::encodeName(temp));
        auto session = std::make_unique<session::Session>(host, settings);
        session->setRenderLauncher(
            std::make_unique<session::ProcessLauncher>(session::ProcessLauncher::Settings{
                TOLVEX_RENDER_WORKER, std::chrono::milliseconds(timeout)}));
        for (const char* name : {"a", "b", "c"})
            session->add({QUrl::fromLocalFile(in + '/' + name + ".wav")});
        session->setFolderPath(out);
        session->setFormat(ExportFormat::wav16);
        session->startExport(chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session->exporting(), 120000);

        const QList<model::AudioItem> items = session->items();
        QVERIFY2(items[0].status.isDone(), qPrintable(items[0].status.message()));
        QCOMPARE(items[1].status.message(), message);
        QVERIFY(items[1].status.isFailed());
        QVERIFY2(items[2].status.isDone(), qPrintable(items[2].status.message()));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"a – Tolvex.wav", "c – Tolvex.wav"}));
        QCOMPARE(session->toast(), QStringLiteral("2 Dateien exportiert."));
        session.reset();
        QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // A plugin that crashes in the worker is named, on whichever thread it
    // runs: the rendering thread, where the plugins are measured for the
    // stages or the chain runs in one line, or a stage's; also when it runs
    // out of stack. Nothing stands under the output's name (the next output
    // in the folder sweeps the dead worker's part file).
    void aCrashIsNamedOnEveryThread_data()
    {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<int>("threads");
        QTest::addColumn<qint64>("quiet"); // frames before the sound is loud
        QTest::addColumn<QString>("name");
        QTest::newRow("crash in a stage") << "crash" << 2 << qint64(88200) << "Test Crash";
        QTest::newRow("crash while measured") << "crash" << 2 << qint64(0) << "Test Crash";
        QTest::newRow("overflow in a stage") << "overflow" << 2 << qint64(88200) << "Test Overflow";
        QTest::newRow("overflow in one line")
            << "overflow" << 1 << qint64(88200) << "Test Overflow";
    }
    void aCrashIsNamedOnEveryThread()
    {
        QFETCH(QString, plugin);
        QFETCH(int, threads);
        QFETCH(qint64, quiet);
        QFETCH(QString, name);
        const QString folder = m_dir.filePath(QStringLiteral("crash-") + QTest::currentDataTag());
        QDir().mkpath(folder);
        Signal signal = sineSignal(44100, 2, 4 * 44100);
        for (auto& channel : signal.channels)
            for (size_t i = size_t(quiet); i < channel.size(); ++i)
                channel[i] *= 1.9f; // past the plugin's trigger
        writeSignal(*host::createAudioFile(folder + "/source.wav",
                                           model::writerSettings(ExportFormat::wav24, 2, 44100)),
                    signal);
        host::Lv2AudioHost host;
        render::RenderJob job{
            QUrl::fromLocalFile(folder + "/source.wav"),
            QUrl::fromLocalFile(folder + "/out.wav"),
            {model::PluginState::from(lv2Info(host, "urn:tolvex:test:gain"), false),
             model::PluginState::from(
                 lv2Info(host, ("urn:tolvex:test:" + plugin).toUtf8().constData()), false)},
            ExportFormat::wav16};
        job.threads = threads;
        session::ProcessLauncher launcher({TOLVEX_RENDER_WORKER, 60s});
        const session::RenderOutcome outcome = renderThrough(launcher, job);
        QCOMPARE(
            outcome.status,
            model::Status::failed(u'„' + name + QStringLiteral("“ ist beim Rechnen abgestürzt.")));
        QVERIFY(!QFile::exists(job.target.toLocalFile()));
    }

    void aMissingWorkerFailsTheFile()
    {
        const QString folder = m_dir.filePath("missing");
        QDir().mkpath(folder);
        writeStereo(folder + "/source.wav", 1.0f);
        session::ProcessLauncher launcher({folder + "/tolvex-render-worker", 60s});
        const session::RenderOutcome outcome =
            renderThrough(launcher, {QUrl::fromLocalFile(folder + "/source.wav"),
                                     QUrl::fromLocalFile(folder + "/out.wav"),
                                     {},
                                     ExportFormat::wav16});
        QCOMPARE(outcome.status, model::Status::failed("Das Rechenprogramm „" + folder +
                                                       "/tolvex-render-worker“ lässt sich "
                                                       "nicht starten."));
    }
};

QTEST_GUILESS_MAIN(TestSessionEndToEnd)
#include "test_session_e2e.moc"
