#include "host/engine/RealtimeGraphEngine.h"

#include "host/HostError.h"
#include "host/ProcessingNode.h"
#include "host/engine/RealtimePlayer.h"
#include "host/engine/Resampler.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tolvex::host {

namespace {

constexpr qint64 maxChunk = 4096; ///< the most a node is asked for at once
constexpr int outputChannels = 2;
constexpr qint64 resampleChunk = 256;
/// Conversions in one callback that may make nothing before the rest of the
/// block is left silent: the resampling loop ends whatever FFmpeg does.
constexpr int maxIdleConversions = 8;

AudioBuffer needBuffer(const AudioFormat& format)
{
    auto buffer = AudioBuffer::make(format, maxChunk);
    if (!buffer)
        throw HostError(QStringLiteral("Für die Wiedergabe fehlt der Speicher."));
    return std::move(*buffer);
}

/// Copies `frames` frames, a target with more channels repeating the
/// source's last one.
void copyChannels(const AudioBuffer& from, AudioBuffer& to, qint64 frames) noexcept
{
    for (int c = 0; c < to.channelCount(); ++c)
        std::copy_n(from.channel(std::min(c, from.channelCount() - 1)), frames, to.channel(c));
    to.setFrameLength(frames);
}

} // namespace

/// The only state the real-time callback reads or writes. Built by start()
/// on the owner's thread before the output runs, dropped after it stopped.
/// Every buffer in it exists: nothing here is checked on the audio thread.
struct RealtimeGraphEngine::Plan {
    struct Stage {
        ProcessingNode* node; ///< null: refused the formats, passes the sound through
        AudioBuffer output;
    };
    double rate = 48000;
    RealtimePlayer* player = nullptr;    ///< the line's source, or none
    std::optional<AudioBuffer> source{}; ///< what the player fills; there when the player is
    std::vector<Stage> stages{};         ///< the line's nodes, in order
    AudioBuffer mix;                     ///< the mixer's stereo sound, graph rate
    std::unique_ptr<Resampler> resampler{};

    /// Renders `frames` (≤ maxChunk) frames of the graph into `mix`.
    void renderGraph(qint64 frames) noexcept
    {
        if (!source) {
            for (int c = 0; c < outputChannels; ++c)
                std::fill_n(mix.channel(c), frames, 0.0f);
            mix.setFrameLength(frames);
            return;
        }
        player->pull(*source, frames);
        const AudioBuffer* current = &*source;
        for (Stage& stage : stages) {
            if (stage.node)
                stage.node->process(*current, stage.output, frames);
            else
                copyChannels(*current, stage.output, frames);
            current = &stage.output;
        }
        copyChannels(*current, mix, frames);
    }

    /// Fills `frames` frames of the device's channels from the resampler,
    /// rendering the graph a chunk at a time as it runs dry.
    qint64 renderResampled(float* const* channels, int usable, qint64 frames) noexcept
    {
        qint64 done = 0;
        for (int idle = 0; done < frames && idle < maxIdleConversions;) {
            if (resampler->empty()) {
                renderGraph(resampler->chunkFrames());
                if (resampler->push(mix) <= 0)
                    ++idle;
                continue;
            }
            done += resampler->take(channels, usable, done, frames - done);
        }
        return done;
    }
};

RealtimeGraphEngine::RealtimeGraphEngine(std::unique_ptr<AudioOutput> output)
    : m_output(std::move(output)),
      m_graph(m_mixer, nullptr, QStringLiteral("Die Wiedergabe-Kette lässt sich nicht verbinden."),
              QStringLiteral("Die Wiedergabe-Kette endet nicht im Mischer."))
{}

RealtimeGraphEngine::~RealtimeGraphEngine()
{
    stop();
}

void RealtimeGraphEngine::detach(AudioNode& node)
{
    stop(); // membership changes only with the engine stopped
    m_graph.detach(node);
}

std::unique_ptr<RealtimeGraphEngine::Plan> RealtimeGraphEngine::makePlan() const
{
    RealtimePlayer* player = nullptr;
    for (AudioNode* node : m_graph.attached()) {
        player = dynamic_cast<RealtimePlayer*>(node);
        if (player && m_graph.next(*player))
            break;
        player = nullptr;
    }
    if (!player)
        return std::make_unique<Plan>(
            Plan{.mix = needBuffer(*AudioFormat::standard(48000, outputChannels))});

    const GraphLine::Line line = m_graph.walk(*player);
    const double rate = line.sourceFormat.sampleRate();
    auto plan = std::make_unique<Plan>(Plan{
        .rate = rate,
        .player = player,
        .source = needBuffer(line.sourceFormat),
        .mix = needBuffer(*AudioFormat::standard(rate, outputChannels)),
    });
    for (const GraphLine::Stage& step : line.stages) {
        auto* node = dynamic_cast<ProcessingNode*>(step.node);
        if (!node)
            throw HostError(QStringLiteral("Die Wiedergabe-Kette enthält einen fremden Knoten."));
        try {
            node->prepare(step.input, step.output, maxChunk, true);
        } catch (const HostError&) {
            node = nullptr; // refuses these formats: passes the sound through for this run
        }
        plan->stages.push_back({node, needBuffer(step.output)});
    }
    return plan;
}

void RealtimeGraphEngine::start()
{
    if (m_running)
        return;
    m_plan.reset();
    auto plan = makePlan();
    const double deviceRate = m_output->open(plan->rate, outputChannels, *this);
    try {
        if (deviceRate != plan->rate)
            plan->resampler =
                std::make_unique<Resampler>(plan->rate, deviceRate, outputChannels, resampleChunk);
        m_plan = std::move(plan);
        if (m_plan->player)
            m_plan->player->setRendering(true);
        m_output->start();
    } catch (...) {
        if (m_plan && m_plan->player)
            m_plan->player->setRendering(false);
        m_output->close();
        m_plan.reset();
        throw;
    }
    m_running = true;
}

void RealtimeGraphEngine::stop()
{
    if (!m_running)
        return;
    m_output->stop();
    m_output->close();
    m_running = false;
    if (m_plan->player)
        m_plan->player->setRendering(false);
    m_plan.reset();
}

void RealtimeGraphEngine::underrun() noexcept
{
    m_underruns.fetch_add(1, std::memory_order_relaxed);
}

void RealtimeGraphEngine::renderOutput(float* const* channels, int channelCount,
                                       qint64 frames) noexcept
{
    Plan& plan = *m_plan;
    const int usable = std::min(channelCount, outputChannels);
    qint64 done = 0;
    if (plan.resampler) {
        done = plan.renderResampled(channels, usable, frames);
    } else {
        for (; done < frames;) {
            const qint64 n = std::min(maxChunk, frames - done);
            plan.renderGraph(n);
            for (int c = 0; c < usable; ++c)
                std::copy_n(plan.mix.channel(c), n, channels[c] + done);
            done += n;
        }
    }
    for (int c = 0; c < channelCount; ++c)
        std::fill(channels[c] + (c < usable ? done : 0), channels[c] + frames, 0.0f);
}

} // namespace tolvex::host
