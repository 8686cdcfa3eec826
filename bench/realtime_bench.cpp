// Callback time per block of the real-time engine playing a stereo file
// through fil4 → darc → dpl (x42-plugins), against each block's real-time
// budget. First the smallest block size that holds is sought; then ten
// minutes of audio are rendered at it as fast as the callback goes (every
// block timed), and a real-time run on the null output counts underruns.
#include "bench/BenchSupport.h"
#include "host/engine/Outputs.h"
#include "host/engine/RealtimeGraphEngine.h"
#include "host/lv2/Lv2AudioHost.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

using namespace tolvex;
using bench::instantiate;

namespace {

constexpr double rate = 48000;

/// Drives the renderer from a thread of its own without waiting between
/// blocks, for a given number of frames, and times each block into `times`
/// (up to its capacity).
class FreeRunningOutput : public host::AudioOutput {
public:
    FreeRunningOutput(qint64 block, qint64 frames, std::vector<qint64>& times)
        : m_block(block), m_frames(frames), m_times(times)
    {}
    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        m_renderer = &renderer;
        m_samples.assign(size_t(channels * m_block), 0.0f);
        m_channels.clear();
        for (int c = 0; c < channels; ++c)
            m_channels.push_back(m_samples.data() + c * m_block);
        return sampleRate;
    }
    void start() override
    {
        m_thread = std::thread([this] {
            using Clock = std::chrono::steady_clock;
            for (qint64 done = 0; done < m_frames; done += m_block) {
                const auto begin = Clock::now();
                m_renderer->renderOutput(m_channels.data(), int(m_channels.size()), m_block);
                if (m_times.size() < m_times.capacity())
                    m_times.push_back((Clock::now() - begin) / std::chrono::nanoseconds(1));
            }
            m_done = true;
        });
    }
    void stop() override
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void close() override {}
    bool done() const { return m_done; }

private:
    qint64 m_block, m_frames;
    std::vector<qint64>& m_times;
    Renderer* m_renderer = nullptr;
    std::vector<float> m_samples;
    std::vector<float*> m_channels;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
};

struct Figures {
    double median = 0, p999 = 0, max = 0; // microseconds
    qint64 underruns = 0;
};

using OutputFactory = std::function<std::unique_ptr<host::AudioOutput>(std::vector<qint64>&)>;

/// Plays `seconds` of a sine-and-noise programme through the chain; the
/// output made may time each block into the list it is given.
Figures run(const OutputFactory& makeOutput, qint64 block, double seconds, bool realtime)
{
    std::vector<qint64> times;
    times.reserve(size_t(seconds * rate / double(block)) + 16);
    host::Lv2AudioHost host([&] { return makeOutput(times); });
    auto fil4 = instantiate(host, "http://gareus.org/oss/lv2/fil4#stereo");
    auto darc = instantiate(host, "http://gareus.org/oss/lv2/darc#stereo");
    auto dpl = instantiate(host, "http://gareus.org/oss/lv2/dpl#stereo");
    fil4->setParameter("sec1", 1);
    fil4->setParameter("gain1", 6);
    darc->setParameter("threshold", -20);
    dpl->setParameter("threshold", -3);

    const auto format = *host::AudioFormat::standard(rate, 2);
    auto engine = host.makeRealtimeEngine();
    auto* realtimeEngine = static_cast<host::RealtimeGraphEngine*>(engine.get());
    auto player = host.makePlayerNode();
    host::PluginInstance* chain[] = {fil4.get(), darc.get(), dpl.get()};
    engine->attach(*player);
    host::AudioNode* previous = player.get();
    for (auto* instance : chain) {
        instance->setInputFormat(0, format);
        instance->setOutputFormat(0, format);
        engine->attach(*instance);
        engine->connect(*previous, *instance, format);
        previous = instance;
    }
    engine->connect(*previous, engine->mainMixer(), format);

    // Ten seconds of programme, scheduled again and again as it completes.
    auto programme = *host::AudioBuffer::make(format, qint64(rate) * 10);
    quint32 noise = 1;
    for (qint64 i = 0; i < programme.frameCapacity(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double n = double(int32_t(noise)) / 2147483648.0 * 0.05;
        programme.channel(0)[i] = float(0.6 * std::sin(2 * M_PI * 220 * i / rate) + n);
        programme.channel(1)[i] = float(0.5 * std::sin(2 * M_PI * 1375 * i / rate) - n);
    }
    programme.setFrameLength(programme.frameCapacity());
    std::atomic<int> finished = 0;
    const int copies = int(std::ceil(seconds / 10)) + 1;
    for (int i = 0; i < copies; ++i) {
        auto copy = *host::AudioBuffer::make(format, programme.frameCapacity());
        for (int c = 0; c < 2; ++c)
            std::copy_n(programme.channel(c), programme.frameLength(), copy.channel(c));
        copy.setFrameLength(programme.frameLength());
        player->schedule(std::move(copy), [&] { ++finished; });
    }
    engine->start();
    player->play();
    if (realtime)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    engine->stop(); // the free-running output ends after its frames
    Figures figures;
    figures.underruns = realtimeEngine->underruns();
    player->stop();
    for (auto* instance : chain)
        engine->detach(*instance);
    engine->detach(*player);

    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        figures.median = double(times[times.size() / 2]) / 1000;
        figures.p999 =
            double(times[std::min(times.size() - 1, size_t(double(times.size()) * 0.999))]) / 1000;
        figures.max = double(times.back()) / 1000;
    }
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    constexpr double pacedSeconds = 10;
    std::printf("fil4 -> darc -> dpl, stereo, %.0f Hz\n\n", rate);
    std::printf("Each block size: 60 s of audio rendered free-running (every block timed), then\n"
                "%.0f s in real time on the null output, counting underruns.\n\n",
                pacedSeconds);
    std::printf("%6s %10s %11s %11s %11s %10s  %s\n", "block", "budget us", "median us", "99.9% us",
                "max us", "underruns", "holds");
    qint64 chosen = 0;
    for (qint64 block : {32, 64, 128, 256, 512, 1024}) {
        const double seconds = 60;
        const auto figures = run(
            [&](std::vector<qint64>& times) {
                return std::make_unique<FreeRunningOutput>(block, qint64(seconds * rate), times);
            },
            block, seconds, false);
        const auto paced = run([&](std::vector<qint64>&) { return host::makeNullOutput(block); },
                               block, pacedSeconds, true);
        const double budget = double(block) / rate * 1e6;
        const bool holds = figures.max < budget * 0.5 && paced.underruns == 0;
        std::printf("%6lld %10.1f %11.1f %11.1f %11.1f %10lld  %s\n", block, budget, figures.median,
                    figures.p999, figures.max, paced.underruns, holds ? "yes" : "no");
        if (holds && chosen == 0)
            chosen = block;
    }
    if (chosen == 0)
        chosen = 1024;
    std::printf("\nSmallest block that holds (max under half the budget, no underruns): %lld\n\n",
                chosen);

    const double seconds = minutes * 60;
    const auto full = run(
        [&](std::vector<qint64>& times) {
            return std::make_unique<FreeRunningOutput>(chosen, qint64(seconds * rate), times);
        },
        chosen, seconds, false);
    const double budget = double(chosen) / rate * 1e6;
    std::printf("%.0f minutes of audio in blocks of %lld (budget %.1f us):\n", minutes, chosen,
                budget);
    std::printf("  median %.1f us (%.1f%%), 99.9th percentile %.1f us (%.1f%%), max %.1f us "
                "(%.1f%%)\n",
                full.median, 100 * full.median / budget, full.p999, 100 * full.p999 / budget,
                full.max, 100 * full.max / budget);
    return 0;
}
