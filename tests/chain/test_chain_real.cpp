// The chain with the real host and the null output.
#include "chain/Chain.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::chain;
using namespace tolvex::testing;

namespace {

/// Like a sound server's stream, renders its first block as it starts, on
/// the caller's thread, and keeps it; asks for nothing after.
class FirstBlockOutput : public host::AudioOutput {
public:
    explicit FirstBlockOutput(std::vector<float>& first) : m_first(first) {}
    double open(double rate, int, Renderer& renderer) override
    {
        m_renderer = &renderer;
        return rate;
    }
    void start() override
    {
        std::vector<float> left(1024), right(1024);
        float* channels[] = {left.data(), right.data()};
        m_renderer->renderOutput(channels, 2, 1024);
        m_first = left;
    }
    void stop() override {}
    void close() override {}

private:
    std::vector<float>& m_first;
    Renderer* m_renderer = nullptr;
};

} // namespace

class TestChainRealHost : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<host::Lv2AudioHost> m_host;

    model::AudioItem makeFile(const QString& name, double rate, int channels, double seconds)
    {
        const QString path = m_dir.filePath(name);
        writeSignal(*host::createAudioFile(
                        path, model::writerSettings(model::ExportFormat::wav16, channels, rate)),
                    sineSignal(rate, channels, qint64(rate * seconds)));
        return *host::readAudioItem(*m_host, QUrl::fromLocalFile(path));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_host = std::make_unique<host::Lv2AudioHost>([] { return host::makeNullOutput(256); });
    }
    void cleanupTestCase() { m_host.reset(); }

    void aPluginThatRefusesTheFormatPassesTheSoundThrough()
    {
        // A plugin made only at 48 kHz, a file at 44.1 kHz: the message
        // names the rate and the preview plays to its end regardless.
        QSettings settings(m_dir.filePath("refuse.ini"), QSettings::IniFormat);
        Chain chain(*m_host, settings);
        for (const char* uri : {"urn:tolvex:test:gain", "urn:tolvex:test:picky"})
            QCoro::waitFor(chain.addPlugin(lv2Info(*m_host, uri), std::nullopt, false, false));
        QCOMPARE(chain.slots().size(), 2);
        const model::AudioItem stereo = makeFile("stereo.wav", 44100, 2, 0.4);
        const QString message = QStringLiteral("Die Kette kann 44.1 kHz nicht abspielen.");
        chain.play(stereo, 0);
        QCOMPARE(chain.lastError(), message);
        QVERIFY(chain.isPlaying(stereo.id));
        QTRY_VERIFY_WITH_TIMEOUT(chain.currentTime() > 0.1, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!chain.playingID(), 5000);
        QCOMPARE(chain.lastError(), message);
    }

    void withoutSoundTheUserIsToldOnce()
    {
        // The null output stands in when no server answers and no device
        // opens: the preview runs, and the notice line says so, once. A
        // message of the same start goes first.
        const QString silent = QStringLiteral(
            "Kein Tonserver und kein Ausgabegerät gefunden: Das Vorhören bleibt stumm.");
        QSettings settings(m_dir.filePath("silent.ini"), QSettings::IniFormat);
        Chain chain(*m_host, settings);
        QCoro::waitFor(
            chain.addPlugin(lv2Info(*m_host, "urn:tolvex:test:picky"), std::nullopt, false, false));
        const model::AudioItem file = makeFile("silent.wav", 44100, 2, 1);
        chain.play(file, 0);
        QCOMPARE(chain.lastError(), QStringLiteral("Die Kette kann 44.1 kHz nicht abspielen."));
        chain.removeSlot(chain.slots().front());
        chain.setLastError({});
        chain.play(file, 0);
        QCOMPARE(chain.lastError(), silent);
        QVERIFY(chain.isPlaying(file.id));
        QTRY_VERIFY_WITH_TIMEOUT(chain.currentTime() > 0.1, 3000);
        chain.setLastError({});
        chain.play(file, 0.5);
        QVERIFY(chain.lastError().isEmpty());
    }

    void theFirstBlockAskedForCarriesTheFile()
    {
        // The output's first request comes as it starts: the file is queued
        // and playing by then, not silence queued ahead of it.
        std::vector<float> first;
        host::Lv2AudioHost host([&] { return std::make_unique<FirstBlockOutput>(first); });
        QSettings settings(m_dir.filePath("first.ini"), QSettings::IniFormat);
        Chain chain(host, settings);
        chain.play(makeFile("first.wav", 48000, 2, 1), 0);
        QCOMPARE(first.size(), 1024u);
        const auto loudest = std::ranges::max(first, {}, [](float x) { return std::abs(x); });
        QVERIFY2(std::abs(loudest) > 0.4f, qPrintable(QString::number(loudest)));
        chain.stop();
    }

    void seekingAndTheClock()
    {
        QSettings settings(m_dir.filePath("seek.ini"), QSettings::IniFormat);
        Chain chain(*m_host, settings);
        const model::AudioItem minute = makeFile("minute.wav", 8000, 1, 60);
        QElapsedTimer timer;
        timer.start();
        chain.play(minute, 30);
        // From the start frame on, the clock runs with the player, never
        // ahead of the wall clock by more than the output's blocks. It may
        // fall behind on a busy machine.
        QTRY_VERIFY(chain.currentTime() > 30.2);
        const double gained = chain.currentTime() - 30;
        const double waited = double(timer.elapsed()) / 1000;
        QVERIFY2(gained <= waited + 0.1,
                 qPrintable(QStringLiteral("%1 s gained in %2 s").arg(gained).arg(waited)));
    }
};

QTEST_GUILESS_MAIN(TestChainRealHost)
#include "test_chain_real.moc"
