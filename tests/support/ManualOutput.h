#pragma once

#include "host/AudioOutput.h"

#include <vector>

namespace tolvex::testing {

/// An audio output whose "real-time thread" is the test: pump() asks the
/// engine for blocks and keeps what it rendered, so tests of the real-time
/// engine are deterministic. With `rate` > 0 it opens at that rate whatever
/// is asked, as a device that cannot do the graph's rate would.
class ManualOutput : public host::AudioOutput {
public:
    explicit ManualOutput(double rate = 0) : m_forcedRate(rate) {}

    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        m_renderer = &renderer;
        m_channels = channels;
        m_rate = m_forcedRate > 0 ? m_forcedRate : sampleRate;
        return m_rate;
    }
    void start() override { started = true; }
    void stop() override { started = false; }
    void close() override { m_renderer = nullptr; }

    /// Renders `frames` frames in blocks of `block` and appends them to
    /// `captured`. Does nothing while stopped.
    void pump(qint64 frames, qint64 block = 256)
    {
        if (!started || !m_renderer)
            return;
        captured.resize(size_t(m_channels));
        std::vector<std::vector<float>> blocks(static_cast<size_t>(m_channels),
                                               std::vector<float>(static_cast<size_t>(block)));
        std::vector<float*> pointers;
        for (auto& channel : blocks)
            pointers.push_back(channel.data());
        for (qint64 done = 0; done < frames; done += block) {
            const qint64 n = std::min(block, frames - done);
            m_renderer->renderOutput(pointers.data(), m_channels, n);
            for (int c = 0; c < m_channels; ++c)
                captured[size_t(c)].insert(captured[size_t(c)].end(), blocks[size_t(c)].begin(),
                                           blocks[size_t(c)].begin() + n);
        }
    }

    bool started = false;
    std::vector<std::vector<float>> captured;

private:
    double m_forcedRate;
    double m_rate = 0;
    int m_channels = 2;
    Renderer* m_renderer = nullptr;
};

} // namespace tolvex::testing
