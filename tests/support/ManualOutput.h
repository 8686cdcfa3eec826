#pragma once

#include "host/AudioOutput.h"
#include "host/HostError.h"

#include <vector>

namespace tolvex::testing {

/// An audio output whose "real-time thread" is the test: pump() asks the
/// engine for blocks and keeps what it rendered, so tests of the real-time
/// engine are deterministic. With `rate` > 0 it opens at that rate whatever
/// is asked, as a device that cannot do the graph's rate would; with
/// `refuseStart` set it fails to start, as a device that is busy would.
class ManualOutput : public host::AudioOutput {
public:
    explicit ManualOutput(double rate = 0) : m_forcedRate(rate) {}

    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        m_renderer = &renderer;
        captured.resize(size_t(channels));
        return m_forcedRate > 0 ? m_forcedRate : sampleRate;
    }
    void start() override
    {
        if (refuseStart)
            throw host::HostError(QStringLiteral("Die Audioausgabe lässt sich nicht starten."));
        started = true;
    }
    void stop() override { started = false; }
    void close() override { m_renderer = nullptr; }

    /// Renders `frames` frames in blocks of up to `block` and appends them to
    /// `captured`. Does nothing while stopped.
    void pump(qint64 frames, qint64 block = 256)
    {
        std::vector<std::vector<float>> blocks(captured.size(), std::vector<float>(size_t(block)));
        std::vector<float*> pointers;
        for (auto& channel : blocks)
            pointers.push_back(channel.data());
        for (qint64 done = 0; started && m_renderer && done < frames; done += block) {
            const qint64 n = std::min(block, frames - done);
            m_renderer->renderOutput(pointers.data(), int(pointers.size()), n);
            for (size_t c = 0; c < blocks.size(); ++c)
                captured[c].insert(captured[c].end(), blocks[c].begin(), blocks[c].begin() + n);
        }
    }

    bool started = false;
    bool refuseStart = false;
    std::vector<std::vector<float>> captured; ///< one vector per channel
private:
    double m_forcedRate;
    Renderer* m_renderer = nullptr;
};

} // namespace tolvex::testing
