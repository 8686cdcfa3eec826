#include "host/engine/OfflineGraphEngine.h"

#include "host/HostError.h"
#include "host/ProcessingNode.h"
#include "host/engine/RenderActivity.h"

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

OfflineGraphEngine::OfflineGraphEngine()
    : m_graph(m_mixer, &m_input, QStringLiteral("Die Export-Kette lässt sich nicht verbinden."),
              QStringLiteral("Die Export-Kette endet nicht im Mischer."))
{}

OfflineGraphEngine::~OfflineGraphEngine() = default;

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
    // Each node on the line is prepared for the formats of its two connections.
    const GraphLine::Line line = m_graph.walk(m_input);
    std::vector<std::unique_ptr<Stage>> stages;
    for (const GraphLine::Stage& step : line.stages) {
        auto* processing = dynamic_cast<ProcessingNode*>(step.node);
        if (!processing)
            throw HostError(QStringLiteral("Die Export-Kette enthält einen fremden Knoten."));
        processing->prepare(step.input, step.output, m_maximumFrames, false);
        auto buffer = AudioBuffer::make(step.output, m_maximumFrames);
        if (!buffer)
            throw std::bad_alloc();
        stages.push_back(std::make_unique<Stage>(Stage{processing, std::move(*buffer)}));
    }
    m_inputBuffer = AudioBuffer::make(line.sourceFormat, m_maximumFrames);
    if (!m_inputBuffer)
        throw std::bad_alloc();
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
        const int position = m_firstPosition + int(i);
        RenderActivity::enter(position);
        stage.node->process(*current, target, frameCount);
        RenderActivity::leave(position);
        current = &target;
    }
    if (current != &buffer)
        copyChannels(*current, buffer, frameCount);
    buffer.setFrameLength(frameCount);
    RenderActivity::blocks.fetch_add(1, std::memory_order_relaxed);
    return status;
}

} // namespace tolvex::host
