// A folder of real files exported through a real chain.
#include "chain/Chain.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "session/Session.h"
#include "tests/host/AudioTestFiles.h"
#include "tests/host/Lv2TestSupport.h"

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
    void aFolderThroughARealChain()
    {
        const QString in = m_dir.filePath("in");
        QDir().mkpath(in);
        const Signal signal = sineSignal(44100, 2, 44100);
        writeSignal(*host::createAudioFile(in + "/a.wav",
                                           model::writerSettings(ExportFormat::wav24, 2, 44100)),
                    signal);
        runTool("ffmpeg", {"-v", "error", "-y", "-i", in + "/a.wav", in + "/b.flac"});
        runTool("ffmpeg", {"-v", "error", "-y", "-i", in + "/a.wav", "-c:a", "libmp3lame", "-b:a",
                           "256k", in + "/c.mp3"});

        host::Lv2AudioHost host([] { return host::makeNullOutput(); });
        QSettings settings(m_dir.filePath("e2e.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        QCoro::waitFor(chain.addPlugin(lv2Info(host, "urn:tolvex:test:gain"),
                                       host::PropertyDictionary{}, false, false));
        chain.slots().first()->unit().setParameter("gain", 0.5f);
        session::Session session(host, settings);
        session.add({QUrl::fromLocalFile(in)});
        QCOMPARE(session.items().size(), 3);

        const QString out = m_dir.filePath("out");
        QDir().mkpath(out);
        session.setFolderPath(out);
        session.setFormat(ExportFormat::m4a);
        session.startExport(chain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 30000);
        QCOMPARE(session.toast(), QStringLiteral("3 Dateien exportiert."));
        for (const model::AudioItem& item : session.items()) {
            QVERIFY2(item.status.isDone(), qPrintable(item.status.message()));
            const QString path = item.status.file().toLocalFile();
            QCOMPARE(QFileInfo(path).suffix(), QStringLiteral("m4a"));
            const auto reader = host::openAudioFile(path);
            QCOMPARE(reader->length(), 44100);
            QCOMPARE(reader->processingFormat().channelCount(), 2);
            const Signal back = readToEnd(*reader);
            std::vector<float> expected = signal.channels[1];
            for (float& sample : expected)
                sample *= 0.5f;
            const double snr = snrDb(expected, back.channels[1], 2048, 44100 - 2048);
            QVERIFY2(snr > 25, qPrintable(QStringLiteral("%1: %2 dB").arg(path).arg(snr)));
        }
    }

    void twoAtOnceWriteWhatOneAtATimeWrites()
    {
        const QString in = m_dir.filePath("four");
        QDir().mkpath(in);
        for (int i = 0; i < 4; ++i) {
            const int channels = 1 + i % 2;
            writeSignal(
                *host::createAudioFile(in + QStringLiteral("/%1.wav").arg(i),
                                       model::writerSettings(ExportFormat::wav24, channels, 48000)),
                sineSignal(48000, channels, 30000 + 7000 * i));
        }
        host::Lv2AudioHost host([] { return host::makeNullOutput(); });
        QSettings settings(m_dir.filePath("four.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        QCoro::waitFor(chain.addPlugin(lv2Info(host, "urn:tolvex:test:delay"),
                                       host::PropertyDictionary{}, false, false));
        QCoro::waitFor(chain.addPlugin(lv2Info(host, "urn:tolvex:test:gain"),
                                       host::PropertyDictionary{}, false, false));
        chain.slots()[0]->unit().setParameter("frames", 300);
        chain.slots()[1]->unit().setParameter("gain", 0.7f);
        session::Session session(host, settings);
        session.add({QUrl::fromLocalFile(in)});
        session.setFormat(ExportFormat::wav32f);

        QList<Signal> outputs[2];
        for (int jobs : {1, 2}) {
            settings.setValue("jobs", jobs);
            session.setSuffix(QStringLiteral(" jobs %1").arg(jobs));
            session.startExport(chain);
            QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 30000);
            for (const model::AudioItem& item : session.items()) {
                QVERIFY2(item.status.isDone(), qPrintable(item.status.message()));
                outputs[jobs - 1] << readToEnd(
                    *host::openAudioFile(item.status.file().toLocalFile()));
            }
        }
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(outputs[1][i].channels.size(), outputs[0][i].channels.size());
            QCOMPARE(outputs[1][i].frames(), outputs[0][i].frames());
            for (size_t c = 0; c < outputs[0][i].channels.size(); ++c)
                QVERIFY(outputs[1][i].channels[c] == outputs[0][i].channels[c]);
        }
    }
};

QTEST_GUILESS_MAIN(TestSessionEndToEnd)
#include "test_session_e2e.moc"
