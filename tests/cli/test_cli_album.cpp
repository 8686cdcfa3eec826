// A loudness target as an album through the built tolvex-cli: three real
// files at different levels through a packaged x42 limiter, re-measured with
// FFmpeg. One gain for all: the outputs keep the level differences the chain
// gave them, and together meet the target (or the ceiling, as they say).
#include "host/files/AudioFiles.h"
#include "model/ChainDocument.h"
#include "model/ExportFormat.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

const QString limiter = QStringLiteral("http://gareus.org/oss/lv2/dpl#stereo:threshold=-3");

/// The level of a file, dB: its mean square over all channels.
double level(const QString& path)
{
    const auto reader = host::openAudioFile(path);
    const Signal signal = readToEnd(*reader);
    double sum = 0;
    qint64 count = 0;
    for (const auto& channel : signal.channels)
        for (float sample : channel) {
            sum += double(sample) * sample;
            ++count;
        }
    return 10 * std::log10(sum / double(count));
}

} // namespace

class TestCliAlbum : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    void startCli(QProcess& process, const QStringList& arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        process.setProcessEnvironment(environment);
        process.start(TOLVEX_CLI, arguments);
        QVERIFY(process.waitForStarted());
    }
    CliResult runCli(const QStringList& arguments) const
    {
        QProcess process;
        startCli(process, arguments);
        return finished(process);
    }
    /// The run's JSON lines by source file name.
    static QMap<QString, QJsonObject> lines(const QString& out)
    {
        QMap<QString, QJsonObject> found;
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            found.insert(QFileInfo(object["source"].toString()).fileName(), object);
        }
        return found;
    }
    static QStringList allEntries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        host::Lv2AudioHost host;
        if (lv2Info(host, "http://gareus.org/oss/lv2/dpl#stereo").name.isEmpty())
            QSKIP("the x42 plugins are not installed");
        // Pink noise at three levels, 48 kHz stereo; the loudest meets the
        // limiter, which the album must leave as it is.
        QDir().mkpath(path("sources"));
        for (const auto& [name, amplitude] : {std::pair{"a", "0.04"}, {"b", "0.15"}, {"c", "0.6"}})
            runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                               QStringLiteral("anoisesrc=c=pink:d=6:a=%1:seed=%2,aresample=48000")
                                   .arg(amplitude)
                                   .arg(int(name[0])),
                               "-ac", "2", "-c:a", "pcm_s24le", path("sources/") + name + ".wav"});
        // Through the chain without a target: the levels the album must keep.
        QDir().mkpath(path("chain"));
        const CliResult chain =
            runCli({"export", "--plugin", limiter, "--format", "wav32f", "--loudness", "aus",
                    "--suffix", "", "--output-dir", path("chain"), path("sources")});
        QCOMPARE(chain.status, 0);
    }

    void theAlbumKeepsTheLevelDifferences_data()
    {
        QTest::addColumn<QString>("lufs");
        QTest::addColumn<QString>("jobs");
        QTest::addColumn<bool>("held"); // by the ceiling
        QTest::newRow("-16 LUFS, one at a time") << "-16"
                                                 << "1" << false;
        QTest::newRow("-16 LUFS, three at once") << "-16"
                                                 << "3" << false;
        QTest::newRow("-9 LUFS: the loudest peak holds it") << "-9"
                                                            << "2" << true;
    }
    void theAlbumKeepsTheLevelDifferences()
    {
        QFETCH(QString, lufs);
        QFETCH(QString, jobs);
        QFETCH(bool, held);
        const QString out = path(QStringLiteral("album-%1-%2").arg(lufs, jobs));
        QDir().mkpath(out);
        const CliResult result =
            runCli({"export", "--plugin", limiter, "--format", "wav32f", "--loudness", lufs,
                    "--true-peak", "-1", "--album", "--jobs", jobs, "--suffix", "", "--json",
                    "--output-dir", out, path("sources")});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const auto reported = lines(result.out);
        QCOMPARE(reported.keys(), (QStringList{"a.wav", "b.wav", "c.wav"}));
        QCOMPARE(allEntries(out), (QStringList{"a.wav", "b.wav", "c.wav"})); // no scratch file

        // One gain: every output against the chain's own output.
        QStringList outputs;
        std::optional<double> gain;
        for (const QString& name : reported.keys()) {
            outputs << out + '/' + name;
            const double difference = level(outputs.last()) - level(path("chain/") + name);
            if (!gain)
                gain = difference;
            QVERIFY2(std::abs(difference - *gain) < 0.01,
                     qPrintable(QStringLiteral("%1: %2 dB, %3 dB before")
                                    .arg(name)
                                    .arg(difference)
                                    .arg(*gain)));
            QCOMPARE(reported[name]["belowTarget"].isDouble(), held);
        }
        const auto [integrated, peak] = ffmpegLoudness(outputs);
        QVERIFY2(peak <= -1.0, qPrintable(QString::number(peak)));
        const double target = lufs.toDouble();
        if (held) {
            const double below = reported["a.wav"]["belowTarget"].toDouble();
            QCOMPARE(reported["c.wav"]["belowTarget"].toDouble(), below);
            QVERIFY2(std::abs(target - below - integrated) <= 0.1,
                     qPrintable(QStringLiteral("%1 below, %2 LUFS").arg(below).arg(integrated)));
            QVERIFY(peak >= -1.2); // the loudest file is the one at the ceiling
        } else {
            QVERIFY2(std::abs(integrated - target) <= 0.1, qPrintable(QString::number(integrated)));
        }
    }

    // A plugin that crashes on the loud file only: that file fails in its
    // first pass and drops out of the album, the others are written with the
    // gain of the two, and no scratch file is left.
    void aFailingFileDropsOut()
    {
        host::Lv2AudioHost host;
        QFile chain(path("crash.json"));
        QVERIFY(chain.open(QIODevice::WriteOnly));
        chain.write(model::encodeChain(
            {model::PluginState::from(lv2Info(host, "urn:tolvex:test:crash"), false)}));
        chain.close();
        const QString in = path("crashing");
        const QString out = path("crashing-out");
        QDir().mkpath(out);
        for (const auto& [name, gain] : {std::pair{"a", 0.1f}, {"b", 1.9f}, {"c", 0.3f}}) {
            Signal tone = sineSignal(44100, 2, 44100 * 2);
            for (auto& samples : tone.channels)
                for (float& sample : samples)
                    sample *= gain;
            QDir().mkpath(in);
            writeSignal(
                *host::createAudioFile(in + '/' + name + ".wav",
                                       model::writerSettings(model::ExportFormat::wav24, 2, 44100)),
                tone);
        }
        const CliResult result = runCli({"export", "--chain", path("crash.json"), "--format",
                                         "wav32f", "--loudness", "-20", "--album", "--jobs", "2",
                                         "--suffix", "", "--json", "--output-dir", out, in});
        QCOMPARE(result.status, 1);
        const auto reported = lines(result.out);
        QCOMPARE(reported["b.wav"]["status"].toString(), QStringLiteral("failed"));
        QCOMPARE(reported["a.wav"]["status"].toString(), QStringLiteral("done"));
        QCOMPARE(reported["c.wav"]["status"].toString(), QStringLiteral("done"));
        QCOMPARE(allEntries(out), (QStringList{"a.wav", "c.wav"}));
        const auto [integrated, peak] = ffmpegLoudness({out + "/a.wav", out + "/c.wav"});
        QVERIFY2(std::abs(integrated + 20) <= 0.1, qPrintable(QString::number(integrated)));
        QVERIFY(std::abs((level(out + "/c.wav") - level(out + "/a.wav")) -
                         20 * std::log10(0.3 / 0.1)) < 0.01);
    }

    // A cancel while the chain runs into the scratch files: exit 130, and
    // nothing is left in the folder but whole outputs.
    void aCancelLeavesNoScratchFile()
    {
        const QString in = path("long");
        const QString out = path("long-out");
        QDir().mkpath(out);
        QDir().mkpath(in);
        for (int i = 0; i < 6; ++i)
            runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                               "anoisesrc=c=pink:d=60:a=0.1,aresample=48000", "-ac", "2", "-c:a",
                               "pcm_s16le", in + QStringLiteral("/%1.wav").arg(i)});
        QProcess process;
        startCli(process, {"export", "--plugin", limiter, "--loudness", "-16", "--album", "--jobs",
                           "2", "--json", "--output-dir", out, in});
        // Once a scratch file exists the export is running and the handlers are in place.
        QTRY_VERIFY_WITH_TIMEOUT(!allEntries(out).isEmpty(), 60000);
        ::kill(pid_t(process.processId()), SIGTERM);
        const CliResult result = finished(process);
        QCOMPARE(result.status, 130);
        QStringList done;
        for (const QJsonObject& line : lines(result.out))
            if (line["status"] == "done")
                done << QFileInfo(line["output"].toString()).fileName();
        QCOMPARE(allEntries(out), done);
    }
};

QTEST_GUILESS_MAIN(TestCliAlbum)
#include "test_cli_album.moc"
