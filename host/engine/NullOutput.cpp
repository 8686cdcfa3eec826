#include "host/HostError.h"
#include "host/engine/Outputs.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tolvex::host {

namespace {

class NullOutput : public AudioOutput {
public:
    NullOutput(qint64 blockFrames, double forcedRate)
        : m_blockFrames(blockFrames), m_forcedRate(forcedRate)
    {}
    ~NullOutput() override { stop(); }

    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        m_rate = m_forcedRate > 0 ? m_forcedRate : sampleRate;
        m_renderer = &renderer;
        m_samples.assign(size_t(channels) * size_t(m_blockFrames), 0.0f);
        m_channels.clear();
        for (int c = 0; c < channels; ++c)
            m_channels.push_back(m_samples.data() + size_t(c) * size_t(m_blockFrames));
        return m_rate;
    }

    void start() override
    {
        if (!m_renderer)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        if (m_thread.joinable())
            return;
        m_quit = false;
        m_thread = std::thread([this] { run(); });
    }

    void stop() override
    {
        if (!m_thread.joinable())
            return;
        m_quit = true;
        m_thread.join();
    }

    void close() override
    {
        stop();
        m_renderer = nullptr;
    }

    bool audible() const override { return false; }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(m_blockFrames) / m_rate));
        auto deadline = Clock::now();
        while (!m_quit.load(std::memory_order_relaxed)) {
            m_renderer->renderOutput(m_channels.data(), int(m_channels.size()), m_blockFrames);
            deadline += period;
            const auto now = Clock::now();
            if (now > deadline + period) { // more than a block late
                m_renderer->underrun();
                deadline = now;
            }
            std::this_thread::sleep_until(deadline);
        }
    }

    qint64 m_blockFrames;
    double m_forcedRate;
    double m_rate = 48000;
    Renderer* m_renderer = nullptr;
    std::vector<float> m_samples;
    std::vector<float*> m_channels;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

} // namespace

std::unique_ptr<AudioOutput> makeNullOutput(qint64 blockFrames, double forcedRate)
{
    return std::make_unique<NullOutput>(blockFrames, forcedRate);
}

} // namespace tolvex::host
