// Many short files exported at once through real plugins (x42 fil4, darc,
// dpl): four jobs in one tolvex-cli, and two tolvex-cli into one folder, for
// several rounds. Every output is there exactly once, under the name the
// free-name rule gives it, complete and the same as every other.
#include "host/files/AudioFiles.h"
#include "model/ChainDocument.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

constexpr int fileCount = 30;
constexpr qint64 frames = 24000; // 0.5 s at 48 kHz
#if defined(__SANITIZE_THREAD__)
constexpr int rounds = 1; // each run several times slower; the sanitizer sees what one shows
#else
constexpr int rounds = 3;
#endif
const QString suffix = QStringLiteral(" bearbeitet");

} // namespace

class TestParallelExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    void start(QProcess& process, const QString& folder) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        process.setProcessEnvironment(environment);
        process.start(TOLVEX_CLI,
                      {"export", "--chain", path("chain.json"), "--format", "wav24", "--suffix",
                       suffix, "--jobs", "4", "--json", "--output-dir", folder, path("sources")});
        QVERIFY(process.waitForStarted());
    }

    /// Waits for a run and adds the outputs it reports to `outputs`; what
    /// went wrong, or nothing when every file is done.
    static QString finish(QProcess& process, QSet<QString>& outputs)
    {
        if (!process.waitForFinished(600000))
            return QStringLiteral("tolvex-cli did not finish");
        if (process.exitStatus() != QProcess::NormalExit)
            return QStringLiteral("tolvex-cli crashed");
        if (process.exitCode() != 0)
            return QStringLiteral("exit %1: %2")
                .arg(process.exitCode())
                .arg(QString::fromUtf8(process.readAllStandardError()));
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject result = QJsonDocument::fromJson(line).object();
            if (result.value("status") != QStringLiteral("done"))
                return QString::fromUtf8(line);
            outputs.insert(QFileInfo(result.value("output").toString()).fileName());
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        host::Lv2AudioHost host;
        QList<model::PluginState> chain;
        for (const char* uri :
             {"http://gareus.org/oss/lv2/fil4#mono", "http://gareus.org/oss/lv2/darc#mono",
              "http://gareus.org/oss/lv2/dpl#mono"}) {
            const model::PluginInfo info = lv2Info(host, uri);
            if (info.name.isEmpty())
                QSKIP("the x42 plugins are not installed");
            chain << model::PluginState::from(info, false);
        }
        QFile file(path("chain.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(model::encodeChain(chain));
        file.close();
        QVERIFY(QDir().mkpath(path("sources")));
        const Signal tone = sineSignal(48000, 1, frames);
        for (int i = 1; i <= fileCount; ++i)
            writeSignal(
                *host::createAudioFile(path("sources/f%1.wav").arg(i),
                                       model::writerSettings(model::ExportFormat::wav24, 1, 48000)),
                tone);
    }

    void everyFileOnceAndComplete_data()
    {
        QTest::addColumn<int>("processes");
        QTest::newRow("four jobs in one process") << 1;
        QTest::newRow("two processes into one folder") << 2;
    }
    void everyFileOnceAndComplete()
    {
        QFETCH(int, processes);
        for (int round = 0; round < rounds; ++round) {
            const QString folder = path(QStringLiteral("out-%1-%2").arg(processes).arg(round));
            QVERIFY(QDir().mkpath(folder));
            std::vector<std::unique_ptr<QProcess>> running;
            for (int p = 0; p < processes; ++p) {
                running.push_back(std::make_unique<QProcess>());
                start(*running.back(), folder);
            }
            QSet<QString> reported;
            for (auto& process : running) {
                const QString error = finish(*process, reported);
                QVERIFY2(error.isEmpty(), qPrintable(error));
            }
            QSet<QString> expected;
            for (int i = 1; i <= fileCount; ++i)
                for (int p = 0; p < processes; ++p)
                    expected.insert(QStringLiteral("f%1%2%3.wav")
                                        .arg(i)
                                        .arg(suffix, p ? QStringLiteral(" %1").arg(p + 1) : ""));
            QCOMPARE(reported, expected);
            const QStringList present =
                QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
            QCOMPARE(QSet<QString>(present.begin(), present.end()), expected);

            // The same source through the same chain: every output the same.
            std::optional<Signal> first;
            for (const QString& name : present) {
                const auto reader = host::openAudioFile(QDir(folder).filePath(name));
                QCOMPARE(reader->length(), frames);
                const Signal output = readToEnd(*reader);
                QCOMPARE(output.frames(), frames);
                if (!first)
                    first = output;
                QVERIFY2(output.channels == first->channels, qPrintable(name));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestParallelExport)
#include "test_parallel_export.moc"
