// A loudness target as an album, against the fake host: one gain for every
// file, measured over all of them together; failures, cancels and the
// scratch files.
#include "chain/Chain.h"
#include "host/loudness/EbuR128Meter.h"
#include "session/Session.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace tolvex;
using namespace tolvex::session;
using namespace tolvex::testing;

namespace {

const model::PluginInfo gain{model::effectType, 1, 2, "Gain", "Fake"};
constexpr double rate = 48000;

/// Two seconds of a stereo 1 kHz sine of amplitude `amplitude`.
FakeAudioFile tone(double amplitude, std::optional<qint64> failAt = {})
{
    std::vector<float> samples(size_t(2 * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(amplitude * std::sin(2 * std::numbers::pi * 1000 * double(i) / rate));
    return {rate, {samples, samples}, failAt};
}

/// The integrated loudness of the files together, as the album measures it.
double loudnessTogether(const QList<FakeWrittenFile>& files)
{
    std::vector<std::unique_ptr<host::LoudnessMeter>> meters;
    std::vector<const model::GatingBlocks*> blocks;
    for (const FakeWrittenFile& file : files) {
        const auto format = host::AudioFormat::standard(rate, int(file.channels.size()));
        auto buffer = host::AudioBuffer::make(*format, qint64(file.channels[0].size()));
        buffer->setFrameLength(buffer->frameCapacity());
        for (int c = 0; c < buffer->channelCount(); ++c)
            std::copy(file.channels[size_t(c)].begin(), file.channels[size_t(c)].end(),
                      buffer->channel(c));
        meters.push_back(host::makeEbuR128Meter(*format, host::MeasuredFor::withOthers));
        meters.back()->add(*buffer);
        blocks.push_back(&meters.back()->gatingBlocks());
    }
    return model::integratedLoudness(blocks).value_or(NAN);
}

/// The fake host with a gain of 2, the settings, the chain and the session;
/// the export normalises to `lufs` as an album.
struct Rig {
    Rig(const QString& folder, double lufs, int jobs)
        : folder(folder), settings(folder + "/settings.ini", QSettings::IniFormat)
    {
        settings.setValue("jobs", jobs);
        host.addPlugin({.info = gain, .processor = gainProcessor(2)});
        QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        session.setLoudnessLevel(lufs);
        session.setLoudnessAlbum(true);
    }
    /// Tones of these amplitudes as 1.wav, 2.wav, …; reading the one at
    /// `failing` (0-based) fails.
    void addTones(const QList<double>& amplitudes, int failing = -1)
    {
        QList<QUrl> files;
        for (qsizetype i = 0; i < amplitudes.size(); ++i) {
            const QString path = folder + QStringLiteral("/%1.wav").arg(i + 1);
            QFile(path).open(QIODevice::WriteOnly);
            host.addFile(path, tone(amplitudes[i],
                                    i == failing ? std::optional<qint64>(rate) : std::nullopt));
            files << QUrl::fromLocalFile(path);
        }
        session.add(files);
    }
    QString statuses() const
    {
        QString letters;
        for (const auto& item : session.items())
            letters += item.status.isDone() ? 'D' : item.status.isFailed() ? 'F' : 'W';
        return letters;
    }
    /// What the done files hold, in list order.
    QList<FakeWrittenFile> outputs() const
    {
        QList<FakeWrittenFile> written;
        for (const auto& item : session.items())
            if (item.status.isDone())
                written << *host.written(item.status.file().toLocalFile());
        return written;
    }
    /// Hidden part files left in the folder.
    QStringList leftovers() const
    {
        return QDir(folder).entryList({".tolvex-*"}, QDir::Files | QDir::Hidden);
    }
    void run()
    {
        session.startExport(chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
    }

    QString folder;
    FakeHost host;
    QSettings settings;
    chain::Chain chain{host, settings};
    Session session{host, settings};
};

} // namespace

class TestAlbum : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    QString folder()
    {
        const QString path = m_dir.filePath(QString::number(++m_counter));
        QDir().mkpath(path);
        return path;
    }

private Q_SLOTS:
    // Every output is its source through the chain times one gain; together
    // they meet the target, or the loudest peak meets the ceiling and every
    // file says how far below the target it stays.
    void everyFileGetsOneGain_data()
    {
        QTest::addColumn<double>("lufs");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("failing"); // drops out of the album; −1: none
        QTest::addColumn<double>("below");
        QTest::newRow("-16 LUFS, one at a time") << -16.0 << 1 << -1 << 0.0;
        QTest::newRow("-16 LUFS, two at once") << -16.0 << 2 << -1 << 0.0;
        QTest::newRow("one fails, the others still meet it") << -16.0 << 2 << 1 << 0.0;
        // Together −11.55 LUFS through the chain, the loudest peak −7.96 dBTP.
        QTest::newRow("held by the ceiling") << -4.0 << 2 << -1 << 0.59;
    }
    void everyFileGetsOneGain()
    {
        QFETCH(double, lufs);
        QFETCH(int, jobs);
        QFETCH(int, failing);
        QFETCH(double, below);
        Rig rig(folder(), lufs, jobs);
        const QList<double> amplitudes{0.05, 0.2, 0.1};
        rig.addTones(amplitudes, failing);
        rig.run();
        QString expected = "DDD";
        if (failing >= 0)
            expected[failing] = 'F';
        QCOMPARE(rig.statuses(), expected);
        QCOMPARE(rig.leftovers(), QStringList());

        const QList<FakeWrittenFile> outputs = rig.outputs();
        std::optional<double> factor;
        for (qsizetype i = 0, o = 0; i < amplitudes.size(); ++i) {
            if (i == failing)
                continue;
            const FakeWrittenFile& output = outputs[o++];
            const double ratio =
                double(output.channels[0][12]) /
                (amplitudes[i] * std::sin(2 * std::numbers::pi * 1000 * 12 / rate));
            if (!factor)
                factor = ratio;
            QVERIFY2(std::abs(ratio / *factor - 1) < 1e-5, qPrintable(QString::number(ratio)));
        }
        const double together = loudnessTogether(outputs);
        QVERIFY2(std::abs(together - (lufs - below)) < 0.02, qPrintable(QString::number(together)));
        for (const auto& item : rig.session.items())
            if (item.status.isDone())
                QCOMPARE(item.status.loudness()->belowTarget.has_value(), below > 0);
    }

    // A cancel ends the files between their passes as waiting, and no
    // scratch file is left; one in the middle of the second passes leaves
    // the files written so far and nothing half written.
    void aCancelLeavesNoScratchFile_data()
    {
        QTest::addColumn<double>("cancelAt"); // the first progress at or past this
        QTest::newRow("in the first passes") << 0.0;
        QTest::newRow("in the second passes") << 0.81;
    }
    void aCancelLeavesNoScratchFile()
    {
        QFETCH(double, cancelAt);
        Rig rig(folder(), -16, 1);
        rig.addTones({0.1, 0.2, 0.3});
        Session& session = rig.session;
        // The first pass of the second file, or the second pass of the first.
        const QUuid watched = session.items()[cancelAt > 0 ? 0 : 1].id;
        connect(&session, &Session::itemChanged, this, [&](const QUuid& id) {
            const auto& status = session.items()[cancelAt > 0 ? 0 : 1].status;
            if (id == watched && status.isRunning() && status.progress() >= cancelAt)
                session.cancelExport();
        });
        rig.run();
        const QString statuses = rig.statuses();
        QVERIFY2(!statuses.contains('F'), qPrintable(statuses));
        if (cancelAt == 0)
            QCOMPARE(statuses, QStringLiteral("WWW"));
        QCOMPARE(rig.leftovers(), QStringList());
        QCOMPARE(QDir(rig.folder).entryList({"*Tolvex*"}).size(), statuses.count('D'));
    }
};

QTEST_GUILESS_MAIN(TestAlbum)
#include "test_album.moc"
