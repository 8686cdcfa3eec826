#pragma once

#include "host/AudioEngine.h"
#include "host/AudioOutput.h"

#include <atomic>
#include <map>
#include <memory>
#include <set>

namespace tolvex::host {

/// The real-time engine of the real host: player → processing nodes → main
/// mixer, the mixer playing through an AudioOutput in two channels. The graph
/// is built and changed while the engine is stopped; start() fixes it into
/// the audio thread's plan. When the output cannot run at the graph's rate,
/// the mixer's sound is resampled to the output's.
class RealtimeGraphEngine : public RealtimeEngine, private AudioOutput::Renderer {
public:
    explicit RealtimeGraphEngine(std::unique_ptr<AudioOutput> output);
    ~RealtimeGraphEngine() override;

    void attach(AudioNode& node) override;
    void detach(AudioNode& node) override;
    void connect(AudioNode& from, AudioNode& to, const AudioFormat& format) override;
    void disconnectOutput(AudioNode& node) override;
    AudioNode& mainMixer() override;
    void prepare() override {}
    void start() override;
    void stop() override;

    /// Blocks the output asked for too late, since the engine was made.
    qint64 underruns() const;
    /// Nanoseconds each output block took to render (for measurements).
    void setBlockTimer(void (*record)(void* user, qint64 frames, qint64 nanoseconds), void* user);

private:
    void renderOutput(float* const* channels, int channelCount, qint64 frames) noexcept override;
    void underrun() noexcept override;

    struct AudioThread; ///< everything the real-time callback touches
    struct Graph;       ///< nodes and connections, GUI thread only
    std::unique_ptr<AudioOutput> m_output;
    std::unique_ptr<Graph> m_graph;
    std::unique_ptr<AudioThread> m_audio;
    bool m_running = false;
};

} // namespace tolvex::host
