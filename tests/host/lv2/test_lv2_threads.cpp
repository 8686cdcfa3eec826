// The real LV2 host across threads: render threads making and freeing
// plugins at once, and what a plugin's run() does on the audio thread,
// watched from inside the process by the probes.
#include "host/ProcessingNode.h"
#include "host/lv2/Lv2AudioHost.h"
#include "host/lv2/UridTable.h"
#include "tests/support/AudioThreadProbe.h"
#include "tests/support/LilvLockProbe.h"
#include "tests/support/Lv2TestSupport.h"

#include <QTest>

#include <future>
#include <string>
#include <thread>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

constexpr const char* stateUri = "urn:tolvex:test:state";
constexpr const char* fil4Uri = "http://gareus.org/oss/lv2/fil4#stereo";
constexpr const char* darcUri = "http://gareus.org/oss/lv2/darc#stereo";
constexpr const char* dplUri = "http://gareus.org/oss/lv2/dpl#stereo";

/// Makes an instance on the calling thread's behalf; null on an error.
std::unique_ptr<PluginInstance> makeFrom(AudioHost& host, const model::PluginId& codes)
{
    std::promise<std::unique_ptr<PluginInstance>> made;
    host.instantiate(codes, [&](Instantiation result) {
        auto* instance = std::get_if<std::unique_ptr<PluginInstance>>(&result);
        made.set_value(instance ? std::move(*instance) : nullptr);
    });
    return made.get_future().get();
}

/// What a render thread does with a plugin of a chain: restores its state,
/// readies it at `rate` (new copies of the plugin), asks its latency (a probe
/// copy), runs a block and takes its state. False when a step fails.
bool useOnce(PluginInstance& instance, const PropertyDictionary& state, double rate)
{
    instance.setFullState(state);
    const AudioFormat format = *AudioFormat::standard(rate, 2);
    auto* node = dynamic_cast<ProcessingNode*>(&instance);
    if (!node || !instance.setInputFormat(0, format) || !instance.setOutputFormat(0, format))
        return false;
    const double latency = instance.latency();
    node->prepare(format, format, 512, false);
    auto in = *AudioBuffer::make(format, 512), out = *AudioBuffer::make(format, 512);
    for (int c = 0; c < 2; ++c)
        std::fill_n(in.channel(c), 512, 0.25f);
    in.setFrameLength(512);
    node->process(in, out, 512);
    return latency >= 0 && instance.fullState().has_value();
}

} // namespace

class TestLv2Threads : public QObject {
    Q_OBJECT

    std::unique_ptr<Lv2AudioHost> m_host;
    std::unique_ptr<PluginInstance> make(const char* uri)
    {
        return instantiateNow(*m_host, lv2Info(*m_host, uri));
    }

private Q_SLOTS:
    void initTestCase() { m_host = std::make_unique<Lv2AudioHost>(); }
    void cleanupTestCase() { m_host.reset(); }

    // Render threads make, use and free instances of the same plugins at
    // once. lilv guards neither its node store nor its plugin libraries'
    // reference counts, so every such call holds the world's lock: a free on
    // one thread must not unload a library another thread is using.
    void instancesLiveAndDieOnManyThreadsUnderOneLock()
    {
        std::vector<std::pair<model::PluginId, PropertyDictionary>> plugins;
        for (const char* uri : {fil4Uri, darcUri, dplUri, stateUri}) {
            const model::PluginInfo info = lv2Info(*m_host, uri);
            auto instance = make(uri);
            QVERIFY(instance);
            plugins.emplace_back(info.codes, instance->fullState().value());
        }
        lilvprobe::start();
        std::atomic<int> failures = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 6; ++round) {
                    const auto& [codes, state] = plugins[size_t(t + round) % plugins.size()];
                    const auto instance = makeFrom(*m_host, codes);
                    if (!instance || !useOnce(*instance, state, round % 2 ? 44100 : 96000))
                        ++failures;
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        const lilvprobe::Report report = lilvprobe::stop();
        QCOMPARE(failures.load(), 0);
        if (!lilvprobe::available())
            QSKIP("the sanitizers own the locks in this build");
        QVERIFY(report.calls > 0);
        QVERIFY2(report.guarded, qPrintable(report.firstUnguarded + " held no lock in common"));
    }

    // In real time a plugin hands work to its worker and maps a URI it
    // mapped before without a lock, an allocation or a system call to wake
    // a thread; the worker still does every job, its responses reaching the
    // plugin some blocks later.
    void workAndKnownUrisOnTheAudioThreadNeitherLockNorWake()
    {
        if (!probe::available())
            QSKIP("the sanitizers own malloc and the locks in this build");
        auto instance = make(stateUri);
        auto* node = dynamic_cast<ProcessingNode*>(instance.get());
        const AudioFormat format = *AudioFormat::standard(48000, 2);
        node->prepare(format, format, 256, true);
        auto in = *AudioBuffer::make(format, 256), out = *AudioBuffer::make(format, 256);
        for (int c = 0; c < 2; ++c)
            std::fill_n(in.channel(c), 256, 0.5f);
        in.setFrameLength(256);
        const auto block = [&] {
            const probe::AudioThreadScope audio;
            node->process(in, out, 256);
            return out.channel(1)[255];
        };
        block(); // the plugin's first run schedules nothing
        const probe::Counts before = probe::counts();
        for (float level : {1.0f, 2.0f, 3.0f}) {
            QVERIFY(instance->setParameter(QStringLiteral("level"), level));
            block(); // one job, and the key mapped, per change
        }
        // The last job's responses make the blob 3 + 3.
        QTRY_COMPARE_WITH_TIMEOUT(block(), 0.5f * 7.0f, 20000);
        const probe::Counts after = probe::counts();
        QCOMPARE(after.allocations - before.allocations, 0);
        QCOMPARE(after.locks - before.locks, 0);
        QCOMPARE(after.wakes - before.wakes, 0);
    }

    // Threads mapping the same URIs in different orders agree on every
    // number, also past the URIs found without the lock.
    void urisMapToOneNumberFromEveryThread()
    {
        UridTable table;
        constexpr int count = int(UridTable::fastUris) + 500;
        std::vector<std::string> uris;
        for (int i = 0; i < count; ++i)
            uris.push_back("urn:tolvex:test:uri#" + std::to_string(i));
        std::vector<std::vector<LV2_URID>> seen(4, std::vector<LV2_URID>(size_t(count)));
        std::vector<std::thread> threads;
        for (size_t t = 0; t < seen.size(); ++t)
            threads.emplace_back([&, t] {
                for (int n = 0; n < 2 * count; ++n) { // each twice: the second a lookup
                    const size_t i = t % 2 ? size_t(n % count) : size_t(count - 1 - n % count);
                    seen[t][i] = table.map(uris[i].c_str());
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        std::vector<bool> given(size_t(count) + 1, false);
        for (size_t i = 0; i < uris.size(); ++i) {
            const LV2_URID urid = seen[0][i];
            QVERIFY(urid >= 1 && urid <= LV2_URID(count) && !given[urid]);
            given[urid] = true;
            for (const auto& other : seen)
                QCOMPARE(other[i], urid);
            QCOMPARE(table.unmap(urid), uris[i]);
        }
        QCOMPARE(table.unmap(0), nullptr);
        QCOMPARE(table.unmap(LV2_URID(count) + 1), nullptr);
        QCOMPARE(table.map(nullptr), LV2_URID(0));
    }
};

QTEST_GUILESS_MAIN(TestLv2Threads)
#include "test_lv2_threads.moc"
