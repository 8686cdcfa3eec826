#pragma once

#include "host/AudioEngine.h"
#include "host/engine/GraphLine.h"

#include <memory>
#include <vector>

namespace tolvex::host {

/// The offline engine of the real host: a line of nodes from the input node
/// through processing nodes to the main mixer, pulled block by block on the
/// caller's thread. Every connection has its own buffer in its own format.
class OfflineGraphEngine : public OfflineEngine {
public:
    OfflineGraphEngine();
    ~OfflineGraphEngine() override;

    void attach(AudioNode& node) override { m_graph.attach(node); }
    void detach(AudioNode& node) override { m_graph.detach(node); }
    void connect(AudioNode& from, AudioNode& to, const AudioFormat& format) override
    {
        m_graph.connect(from, to, format);
    }
    void disconnectOutput(AudioNode& node) override { m_graph.disconnectOutput(node); }
    AudioNode& mainMixer() override { return m_mixer; }
    void start() override;
    void stop() override { m_running = false; }

    void enableManualRendering(const AudioFormat& format, qint64 maximumFrameCount) override;
    AudioFormat manualRenderingFormat() const override;
    AudioNode& inputNode() override { return m_input; }
    bool setManualRenderingInput(const AudioFormat& format, InputBlock block) override;
    RenderStatus render(qint64 frameCount, AudioBuffer& buffer) override;
    void setChainPosition(int first) override { m_firstPosition = first; }

private:
    struct EngineNode : AudioNode {};
    struct Stage; ///< a processing node with its output buffer

    EngineNode m_input;
    EngineNode m_mixer;
    GraphLine m_graph;
    std::optional<AudioFormat> m_format;
    qint64 m_maximumFrames = 0;
    std::optional<AudioFormat> m_inputFormat;
    InputBlock m_inputBlock;
    bool m_running = false;
    int m_firstPosition = 0;

    std::optional<AudioBuffer> m_inputBuffer; ///< what the first node reads
    std::vector<std::unique_ptr<Stage>> m_stages;
};

} // namespace tolvex::host
