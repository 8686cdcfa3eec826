#include "host/engine/OfflineGraphEngine.h"

#include "host/HostError.h"
#include "host/ProcessingNode.h"

#include <algorithm>

namespace tolvex::host {

namespace {

/// Copies `frames` frames, channel by channel; a target with more channels
/// repeats the source's last one.
void copyChannels(const AudioBuffer& from, AudioBuffer& to, qint64 frames)
{
    for (int c = 0; c < to.channelCount(); ++c)
        std::copy_n(from.channel(std::min(c, from.channelCount() - 1)), frames, to.channel(c));
    to.setFrameLength(frames);
}

} // namespace

struct OfflineGraphEngine::Stage {
    ProcessingNode* node;
    AudioBuffer output;
};

OfflineGraphEngine::OfflineGraphEngine() = default;
OfflineGraphEngine::~OfflineGraphEngine() = default;

void OfflineGraphEngine::attach(AudioNode& node)
{
    m_attached.insert(&node);
}

void OfflineGraphEngine::detach(AudioNode& node)
{
    m_attached.erase(&node);
    m_edges.erase(&node);
    std::erase_if(m_edges, [&](const auto& edge) { return edge.second.to == &node; });
}

void OfflineGraphEngine::connect(AudioNode& from, AudioNode& to, const AudioFormat& format)
{
    const bool fromKnown = &from == &m_input || m_attached.contains(&from);
    const bool toKnown = &to == &m_mixer || m_attached.contains(&to);
    if (!fromKnown || !toKnown || &from == &m_mixer || &to == &m_input)
        throw HostError(QStringLiteral("Die Export-Kette lässt sich nicht verbinden."));
    m_edges.insert_or_assign(&from, Edge{&to, format});
}

void OfflineGraphEngine::disconnectOutput(AudioNode& node)
{
    m_edges.erase(&node);
}

void OfflineGraphEngine::enableManualRendering(const AudioFormat& format, qint64 maximumFrameCount)
{
    if (maximumFrameCount < 1 || maximumFrameCount > 4096)
        throw HostError(QStringLiteral("Die Blockgröße für den Export wird nicht unterstützt."));
    m_format = format;
    m_maximumFrames = maximumFrameCount;
}

AudioFormat OfflineGraphEngine::manualRenderingFormat() const
{
    return *m_format;
}

bool OfflineGraphEngine::setManualRenderingInput(const AudioFormat& format, InputBlock block)
{
    if (!m_format)
        return false;
    m_inputFormat = format;
    m_inputBlock = std::move(block);
    return true;
}

void OfflineGraphEngine::start()
{
    if (!m_format || !m_inputFormat)
        throw HostError(QStringLiteral("Der Export ist nicht vorbereitet."));
    // Walk the line from the input node to the mixer, preparing each node for
    // the formats of its two connections.
    std::vector<std::unique_ptr<Stage>> stages;
    const AudioNode* node = &m_input;
    std::optional<AudioFormat> incoming;
    for (size_t steps = 0; node != &m_mixer; ++steps) {
        const auto edge = m_edges.find(node);
        if (edge == m_edges.end() || steps > m_attached.size())
            throw HostError(QStringLiteral("Die Export-Kette endet nicht im Mischer."));
        if (node != &m_input) {
            auto* processing = dynamic_cast<ProcessingNode*>(const_cast<AudioNode*>(node));
            if (!processing)
                throw HostError(QStringLiteral("Die Export-Kette enthält einen fremden Knoten."));
            processing->prepare(*incoming, edge->second.format, m_maximumFrames, false);
            auto buffer = AudioBuffer::make(edge->second.format, m_maximumFrames);
            if (!buffer)
                throw std::bad_alloc();
            stages.push_back(std::make_unique<Stage>(Stage{processing, std::move(*buffer)}));
        }
        incoming = edge->second.format;
        if (node == &m_input) {
            m_inputBuffer = AudioBuffer::make(edge->second.format, m_maximumFrames);
            if (!m_inputBuffer)
                throw std::bad_alloc();
        }
        node = edge->second.to;
    }
    m_stages = std::move(stages);
    m_running = true;
}

RenderStatus OfflineGraphEngine::render(qint64 frameCount, AudioBuffer& buffer)
{
    if (!m_running)
        throw HostError(QStringLiteral("Die Export-Engine läuft nicht."));
    if (frameCount < 0 || frameCount > m_maximumFrames || frameCount > buffer.frameCapacity())
        return RenderStatus::error;

    RenderStatus status = RenderStatus::success;
    const AudioBuffer* input = m_inputBlock ? m_inputBlock(frameCount) : nullptr;
    const qint64 delivered = input ? std::min(input->frameLength(), frameCount) : 0;
    if (delivered < frameCount)
        status = RenderStatus::insufficientInput;

    // The caller's buffers are used as they are where the formats allow:
    // copies would cost more than a cheap plugin's processing.
    const AudioBuffer* current = input;
    const bool direct =
        input && delivered == frameCount && input->channelCount() == m_inputBuffer->channelCount();
    if (!direct) {
        if (input)
            copyChannels(*input, *m_inputBuffer, delivered);
        for (int c = 0; c < m_inputBuffer->channelCount(); ++c)
            std::fill(m_inputBuffer->channel(c) + delivered, m_inputBuffer->channel(c) + frameCount,
                      0.0f);
        m_inputBuffer->setFrameLength(frameCount);
        current = &*m_inputBuffer;
    }
    for (size_t i = 0; i < m_stages.size(); ++i) {
        Stage& stage = *m_stages[i];
        const bool last = i + 1 == m_stages.size();
        AudioBuffer& target =
            last && buffer.channelCount() == stage.output.channelCount() ? buffer : stage.output;
        stage.node->process(*current, target, frameCount);
        current = &target;
    }
    if (current != &buffer)
        copyChannels(*current, buffer, frameCount);
    buffer.setFrameLength(frameCount);
    return status;
}

} // namespace tolvex::host
