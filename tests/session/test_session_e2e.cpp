// A folder of real files exported through a real chain.
#include "chain/Chain.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "session/Session.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;
using model::ExportFormat;

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
};

QTEST_GUILESS_MAIN(TestSessionEndToEnd)
#include "test_session_e2e.moc"
