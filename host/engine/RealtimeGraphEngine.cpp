#include "host/engine/RealtimeGraphEngine.h"

#include "host/HostError.h"
#include "host/ProcessingNode.h"
#include "host/engine/RealtimePlayer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <chrono>
#include <vector>

namespace tolvex::host {

namespace {

constexpr qint64 maxChunk = 4096; ///< the most a node is asked for at once
constexpr int outputChannels = 2;
constexpr qint64 resampleChunk = 256;

struct SwrFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

struct MixerNode : AudioNode {};

} // namespace

struct RealtimeGraphEngine::Graph {
    struct Edge {
        AudioNode* to;
        AudioFormat format;
    };
    MixerNode mixer;
    std::set<const AudioNode*> attached;
    std::map<const AudioNode*, Edge> edges;
};

/// The only state the real-time callback reads or writes. Built by start()
/// on the GUI thread before the output runs, torn down after it stopped.
struct RealtimeGraphEngine::AudioThread {
    struct Stage {
        ProcessingNode* node;
        AudioBuffer output;
    };
    RealtimePlayer* player = nullptr;  ///< the line's source, or none
    std::optional<AudioBuffer> source; ///< what the player fills
    std::vector<Stage> stages;         ///< the line's plugins, in order
    AudioBuffer* last = nullptr;       ///< the buffer the mixer reads
    std::optional<AudioBuffer> mix;    ///< the mixer's stereo sound, graph rate

    // Resampling from the graph's rate to the output's, when they differ.
    std::unique_ptr<SwrContext, SwrFree> resampler;
    std::vector<std::vector<float>> fifo; ///< resampled frames not yet played
    qint64 fifoFrames = 0;

    std::atomic<qint64> underruns{0};
    void (*recordBlock)(void*, qint64, qint64) = nullptr;
    void* recordUser = nullptr;

    /// Renders `frames` (≤ maxChunk) frames of the graph into `mix`.
    void renderGraph(qint64 frames) noexcept
    {
        const AudioBuffer* current = nullptr;
        if (player && source) {
            player->pull(*source, frames);
            current = &*source;
        }
        for (Stage& stage : stages) {
            stage.node->process(*current, stage.output, frames);
            current = &stage.output;
        }
        for (int c = 0; c < outputChannels; ++c) {
            float* out = mix->channel(c);
            if (current)
                std::copy_n(current->channel(std::min(c, current->channelCount() - 1)), frames,
                            out);
            else
                std::fill_n(out, frames, 0.0f);
        }
        mix->setFrameLength(frames);
    }
};

RealtimeGraphEngine::RealtimeGraphEngine(std::unique_ptr<AudioOutput> output)
    : m_output(std::move(output)), m_graph(std::make_unique<Graph>()),
      m_audio(std::make_unique<AudioThread>())
{}

RealtimeGraphEngine::~RealtimeGraphEngine()
{
    stop();
}

void RealtimeGraphEngine::attach(AudioNode& node)
{
    m_graph->attached.insert(&node);
}

void RealtimeGraphEngine::detach(AudioNode& node)
{
    if (m_running)
        stop(); // membership changes only with the engine stopped
    m_graph->attached.erase(&node);
    m_graph->edges.erase(&node);
    std::erase_if(m_graph->edges, [&](const auto& edge) { return edge.second.to == &node; });
}

void RealtimeGraphEngine::connect(AudioNode& from, AudioNode& to, const AudioFormat& format)
{
    const bool fromKnown = m_graph->attached.contains(&from);
    const bool toKnown = &to == &m_graph->mixer || m_graph->attached.contains(&to);
    if (!fromKnown || !toKnown || &from == &m_graph->mixer)
        throw HostError(QStringLiteral("Die Wiedergabe-Kette lässt sich nicht verbinden."));
    m_graph->edges.insert_or_assign(&from, Graph::Edge{&to, format});
}

void RealtimeGraphEngine::disconnectOutput(AudioNode& node)
{
    m_graph->edges.erase(&node);
}

AudioNode& RealtimeGraphEngine::mainMixer()
{
    return m_graph->mixer;
}

void RealtimeGraphEngine::start()
{
    if (m_running)
        return;
    AudioThread& audio = *m_audio;
    audio.stages.clear();
    audio.player = nullptr;
    audio.source.reset();
    audio.resampler.reset();

    // The line that ends in the mixer, found from the player.
    double rate = 48000;
    for (const AudioNode* node : m_graph->attached) {
        auto* player = dynamic_cast<RealtimePlayer*>(const_cast<AudioNode*>(node));
        const auto edge = m_graph->edges.find(node);
        if (!player || edge == m_graph->edges.end())
            continue;
        audio.player = player;
        rate = edge->second.format.sampleRate();
        audio.source = AudioBuffer::make(edge->second.format, maxChunk);
        AudioFormat incoming = edge->second.format;
        const AudioNode* next = edge->second.to;
        for (size_t steps = 0; next != &m_graph->mixer; ++steps) {
            const auto out = m_graph->edges.find(next);
            auto* processing = dynamic_cast<ProcessingNode*>(const_cast<AudioNode*>(next));
            if (out == m_graph->edges.end() || !processing || steps > m_graph->attached.size())
                throw HostError(QStringLiteral("Die Wiedergabe-Kette endet nicht im Mischer."));
            processing->prepare(incoming, out->second.format, maxChunk, true);
            auto buffer = AudioBuffer::make(out->second.format, maxChunk);
            if (!buffer)
                throw std::bad_alloc();
            audio.stages.push_back({processing, std::move(*buffer)});
            incoming = out->second.format;
            next = out->second.to;
        }
        break;
    }
    audio.mix = AudioBuffer::make(*AudioFormat::standard(rate, outputChannels), maxChunk);

    const double deviceRate = m_output->open(rate, outputChannels, *this);
    if (deviceRate != rate) {
        SwrContext* context = nullptr;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_FLTP, int(deviceRate), &stereo,
                                AV_SAMPLE_FMT_FLTP, int(rate), 0, nullptr) < 0 ||
            swr_init(context) < 0) {
            swr_free(&context);
            m_output->close();
            throw HostError(QStringLiteral("Die Audioausgabe kann die Abtastrate nicht umsetzen."));
        }
        audio.resampler.reset(context);
        const size_t room = size_t(maxChunk * 4 * std::max(1.0, deviceRate / rate)) + 1024;
        audio.fifo.assign(outputChannels, std::vector<float>(room, 0.0f));
        audio.fifoFrames = 0;
    }
    if (audio.player)
        audio.player->setRendering(true);
    try {
        m_output->start();
    } catch (const HostError&) {
        if (audio.player)
            audio.player->setRendering(false);
        m_output->close();
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
    if (m_audio->player)
        m_audio->player->setRendering(false);
}

qint64 RealtimeGraphEngine::underruns() const
{
    return m_audio->underruns.load();
}

void RealtimeGraphEngine::setBlockTimer(void (*record)(void*, qint64, qint64), void* user)
{
    m_audio->recordBlock = record;
    m_audio->recordUser = user;
}

void RealtimeGraphEngine::underrun() noexcept
{
    m_audio->underruns.fetch_add(1, std::memory_order_relaxed);
}

void RealtimeGraphEngine::renderOutput(float* const* channels, int channelCount,
                                       qint64 frames) noexcept
{
    AudioThread& audio = *m_audio;
    const auto begin = std::chrono::steady_clock::now();
    const int usable = std::min(channelCount, outputChannels);
    if (!audio.resampler) {
        for (qint64 done = 0; done < frames;) {
            const qint64 n = std::min(maxChunk, frames - done);
            audio.renderGraph(n);
            for (int c = 0; c < usable; ++c)
                std::copy_n(audio.mix->channel(c), n, channels[c] + done);
            done += n;
        }
    } else {
        while (audio.fifoFrames < frames) {
            audio.renderGraph(resampleChunk);
            const uint8_t* in[outputChannels];
            uint8_t* out[outputChannels];
            for (int c = 0; c < outputChannels; ++c) {
                in[c] = reinterpret_cast<const uint8_t*>(audio.mix->channel(c));
                out[c] =
                    reinterpret_cast<uint8_t*>(audio.fifo[size_t(c)].data() + audio.fifoFrames);
            }
            const int room = int(audio.fifo[0].size()) - int(audio.fifoFrames);
            const int made = swr_convert(audio.resampler.get(), out, room, in, int(resampleChunk));
            if (made < 0)
                break;
            audio.fifoFrames += made;
        }
        const qint64 n = std::min(frames, audio.fifoFrames);
        for (int c = 0; c < outputChannels; ++c) {
            auto& fifo = audio.fifo[size_t(c)];
            if (c < usable)
                std::copy_n(fifo.data(), n, channels[c]);
            std::copy(fifo.begin() + n, fifo.begin() + audio.fifoFrames, fifo.begin());
        }
        for (int c = 0; c < usable; ++c)
            std::fill(channels[c] + n, channels[c] + frames, 0.0f);
        audio.fifoFrames -= n;
    }
    for (int c = usable; c < channelCount; ++c)
        std::fill_n(channels[c], frames, 0.0f);
    if (audio.recordBlock)
        audio.recordBlock(audio.recordUser, frames,
                          std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now() - begin)
                              .count());
}

} // namespace tolvex::host
