// What the audio thread does during a preview, watched from inside the
// process: the probe counts every allocation and lock call made in the
// output's renderer.
#include "chain/Chain.h"
#include "host/HostError.h"
#include "host/engine/Outputs.h"
#include "host/files/AudioFiles.h"
#include "model/ExportFormat.h"
#include "tests/host/AudioTestFiles.h"
#include "tests/host/Lv2TestSupport.h"
#include "tests/support/AudioThreadProbe.h"
#include "tests/support/ManualOutput.h"

#include <QCoroTask>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;

class TestAudioThread : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (!probe::available())
            QSKIP("the sanitizers own malloc in this build");
    }

    void aResampledPreviewNeitherAllocatesNorLocks()
    {
        // A file at 48 kHz on an output that runs at 44.1 kHz, through test
        // plugins and a packaged one.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tone.wav"));
        writeSignal(*host::createAudioFile(
                        path, model::writerSettings(model::ExportFormat::wav24, 2, 48000)),
                    sineSignal(48000, 2, 48000));
        host::Lv2AudioHost host(
            [] { return probe::probedOutput(host::makeNullOutput(512, 44100)); });
        QSettings settings(dir.filePath(QStringLiteral("chain.ini")), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        for (const char* uri : {"urn:tolvex:test:gain", "urn:tolvex:test:delay",
                                "http://gareus.org/oss/lv2/dpl#stereo"})
            QCoro::waitFor(chain.addPlugin(lv2Info(host, uri), std::nullopt, false, false));
        QCOMPARE(chain.slots().size(), 3);

        const auto before = probe::counts();
        chain.play(*host::readAudioItem(host, QUrl::fromLocalFile(path)), 0);
        QVERIFY(chain.playingID());
        QTRY_VERIFY(probe::counts().callbacks > before.callbacks + 10);
        chain.slots()[0]->unit().setParameter(QStringLiteral("gain"), 0.5f);
        chain.slots()[1]->unit().setBypass(true);
        QTRY_VERIFY_WITH_TIMEOUT(!chain.playingID(), 10000); // played to its end
        const auto after = probe::counts();
        QCOMPARE(after.allocations - before.allocations, 0);
        QCOMPARE(after.locks - before.locks, 0);
    }

    void aBufferThatCannotBeHadStopsTheStart()
    {
        // The mixer's stereo buffer of 4096 frames is refused: starting fails
        // with a message rather than leaving the audio thread a missing buffer.
        ManualOutput* output = nullptr;
        host::Lv2AudioHost host([&output] {
            auto made = std::make_unique<ManualOutput>();
            output = made.get();
            return made;
        });
        auto engine = host.makeRealtimeEngine();
        {
            const probe::FailingAllocations refused(4096 * 2 * sizeof(float));
            QVERIFY_THROWS_EXCEPTION(host::HostError, engine->start());
        }
        QVERIFY(!output->started);
        engine->start();
        output->pump(256);
        QCOMPARE(output->captured[0].size(), size_t(256));
        engine->stop();
    }
};

QTEST_GUILESS_MAIN(TestAudioThread)
#include "test_audio_thread.moc"
