#pragma once

#include "host/AudioEngine.h"
#include "host/AudioOutput.h"
#include "host/engine/GraphLine.h"

#include <atomic>
#include <memory>

namespace tolvex::host {

/// The real-time engine of the real host: player → processing nodes → main
/// mixer, the mixer playing through an AudioOutput in two channels. The graph
/// is built and changed while the engine is stopped; start() fixes it into
/// the audio thread's plan. A node that refuses the line's formats when the
/// plan is made passes the sound through unchanged until the next start, so
/// the preview plays regardless. When the output cannot run at the graph's
/// rate, the mixer's sound is resampled to the output's.
class RealtimeGraphEngine : public RealtimeEngine, private AudioOutput::Renderer {
public:
    explicit RealtimeGraphEngine(std::unique_ptr<AudioOutput> output);
    ~RealtimeGraphEngine() override;

    void attach(AudioNode& node) override { m_graph.attach(node); }
    void detach(AudioNode& node) override;
    void connect(AudioNode& from, AudioNode& to, const AudioFormat& format) override
    {
        m_graph.connect(from, to, format);
    }
    void disconnectOutput(AudioNode& node) override { m_graph.disconnectOutput(node); }
    AudioNode& mainMixer() override { return m_mixer; }
    void prepare() override {}
    bool audible() const override { return m_output->audible(); }
    /// Throws HostError when the line does not end in the mixer, a buffer
    /// cannot be had, or the output does not open or start.
    void start() override;
    void stop() override;

    /// Blocks the output asked for too late, since the engine was made.
    qint64 underruns() const { return m_underruns.load(std::memory_order_relaxed); }
    /// How long a frame rendered now takes to be heard, as the output reports it.
    double outputLatency() const { return m_output->latency(); }

private:
    void renderOutput(float* const* channels, int channelCount, qint64 frames) noexcept override;
    void underrun() noexcept override;

    struct MixerNode : AudioNode {};
    struct Plan; ///< everything the real-time callback touches
    std::unique_ptr<Plan> makePlan() const;

    std::unique_ptr<AudioOutput> m_output;
    MixerNode m_mixer;
    GraphLine m_graph;
    std::unique_ptr<Plan> m_plan; ///< built while stopped, read by the audio thread while running
    std::atomic<qint64> m_underruns{0};
    bool m_running = false;
};

} // namespace tolvex::host
