#include "render/Renderer.h"

#include "model/DisplayText.h"
#include "render/ChainBuffers.h"
#include "render/ChainCalibration.h"
#include "render/ChainInstances.h"
#include "render/ChainPipeline.h"
#include "render/EncoderThread.h"
#include "render/RenderOutput.h"
#include "render/ScratchPass.h"
#include "render/SourceFeed.h"
#include "render/StagePlan.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace tolvex::render {

namespace {

constexpr qint64 blockFrames = 4096;
constexpr double tailCap = 10.0;
/// Long enough for the parameter glides of common plugins (x42 fil4's gain
/// takes about 0.3 s) to arrive before the first frame of the file.
constexpr double settleSeconds = 1.0;
constexpr float silence = 0.0001f;
/// A chain that may run in stages is first measured on the source's first
/// blocks (not the settling ones, which are silence and may cost
/// differently): up to this many, and no more than one in this many of the
/// file's blocks, as the measuring is work on top of the render.
constexpr qint64 maxMeasuredBlocks = 16;
constexpr qint64 blocksPerMeasuredBlock = 32;

using host::AudioBuffer;
using host::AudioFormat;

/// Seconds as reported by a plugin; values that are not finite count as none.
double finiteOrZero(double seconds)
{
    return std::isfinite(seconds) ? seconds : 0.0;
}

/// One render from the opened source to the output in place. The plugins
/// run on the calling thread, or, when the job allows several threads and
/// the chain has several plugins, as a pipeline on threads of their own
/// (ChainPipeline), each plugin on one thread only, all its life; the
/// writer runs on the encoder thread beside them (RenderOutput).
/// Either way every block is rendered alike, so the output is the same.
/// The members are released in reverse order: on a failing exit the
/// destructor first releases the output (its encoder thread, then its
/// writer, which removes its unfinished file), then stops the engine or the
/// pipeline's
/// threads and engines; they go before the instances they host and the
/// buffers they read.
class FileRender {
public:
    FileRender(host::AudioHost& host, const RenderJob& job) : m_host(host), m_job(job) {}
    ~FileRender();

    /// Where the output stands, and what it measures.
    RenderResult run(const ProgressCallback& progress, std::stop_token stop);

private:
    void openSource();
    void instantiatePlugins();
    void chooseChainFormat();
    /// How many stages the chain may run in; 1: no pipeline.
    int stageCount() const;
    void buildGraph(std::stop_token stop);
    /// How many plugins each stage runs, by what they cost on the source's
    /// first blocks; one stage or none: the chain runs in one line.
    std::vector<int> planStages(std::stop_token stop);
    /// What each plugin costs on the source's first blocks, read ahead,
    /// measured on instances of its own.
    std::vector<double> measureCosts(std::stop_token stop);
    void settlePlugins(std::stop_token stop);
    /// The settling blocks through the pipeline's stages.
    void settleStages(qint64 frames, std::stop_token stop);
    /// Renders n frames of whatever the input buffer holds, in one line.
    const AudioBuffer& renderInput(qint64 n);
    void countFrames();
    /// The output, with as many channels as the chain has and the source
    /// has at most.
    RenderOutput& makeOutput(int chainChannels);
    /// The chain's pass into scratch audio, measured, as the first part of
    /// the progress.
    void renderToScratch(const ProgressCallback& progress, std::stop_token stop);
    void renderBlocks(const ProgressCallback& progress, std::stop_token stop);
    /// The blocks from m_rendered on through the pipeline's stages.
    void renderPipelined(const ProgressCallback& progress, std::stop_token stop);
    /// Takes the rendered block that starts at m_rendered to the output;
    /// false when the tail has died away.
    bool takeBlock(const AudioBuffer& rendered, std::stop_token stop);
    void reportProgress(const ProgressCallback& progress);

    host::AudioHost& m_host;
    const RenderJob& m_job;

    std::unique_ptr<host::AudioFileReader> m_source;
    double m_rate = 0;
    std::vector<std::unique_ptr<host::PluginInstance>> m_owned;
    std::vector<host::PluginInstance*> m_instances;
    std::optional<AudioFormat> m_chainFormat;

    std::optional<AudioBuffer> m_input;            // the chain's input, filled before each block
    std::optional<AudioBuffer> m_render;           // what the engine renders
    std::optional<SourceFeed> m_feed;              // the source's frames, for the chain
    std::unique_ptr<host::OfflineEngine> m_engine; // the chain in one line, or:
    std::unique_ptr<ChainPipeline> m_pipeline;     // the chain in stages
    bool m_engineStarted = false;

    qint64 m_sourceFrames = 0;
    qint64 m_latencyFrames = 0;
    qint64 m_totalFrames = 0;
    qint64 m_rendered = 0; ///< frames rendered and taken to the output
    double m_lastProgress = 0;

    std::optional<RenderOutput> m_output;
};

FileRender::~FileRender()
{
    m_output.reset();
    if (m_engineStarted)
        m_engine->stop();
}

RenderResult FileRender::run(const ProgressCallback& reported, std::stop_token stop)
{
    const double written = RenderOutput::writtenShare(m_job.format);
    const ProgressCallback progress = [&](double fraction) { reported(fraction * written); };
    openSource();
    if (m_job.album && m_job.album->gain) {
        RenderOutput& output = makeOutput(m_job.album->channels);
        return output.finish(output.writeAlbumFile(progress, stop), reported, stop);
    }
    instantiatePlugins();
    chooseChainFormat();
    buildGraph(stop);
    settlePlugins(stop);
    countFrames();
    RenderOutput& output = makeOutput(m_chainFormat->channelCount());
    if (m_job.album) {
        renderToScratch(progress, stop);
        return output.keepForAlbum();
    }
    std::optional<double> belowTarget;
    if (m_job.loudnessTarget) {
        renderToScratch(progress, stop);
        belowTarget = output.writeToTarget(progress, stop);
    } else {
        output.open();
        renderBlocks(progress, stop);
    }
    return output.finish(belowTarget, reported, stop);
}

RenderOutput& FileRender::makeOutput(int chainChannels)
{
    const int channels = std::min(chainChannels, m_source->processingFormat().channelCount());
    return m_output.emplace(m_host, m_job, *m_source, m_rate, channels, blockFrames);
}

void FileRender::renderToScratch(const ProgressCallback& progress, std::stop_token stop)
{
    m_output->openScratch();
    renderBlocks([&progress](double fraction) { progress(fraction * chainPassShare); }, stop);
}

void FileRender::openSource()
{
    m_source = m_host.openForReading(m_job.source.toLocalFile());
    m_rate = m_source->processingFormat().sampleRate();
    m_feed.emplace(*m_source, QFileInfo(m_job.source.toLocalFile()).fileName(), blockFrames);
}

void FileRender::instantiatePlugins()
{
    m_owned = instantiateChain(m_host, m_job.plugins);
    for (const auto& instance : m_owned)
        m_instances.push_back(instance.get());
}

/// The source's channel count if the whole chain takes it, else stereo.
void FileRender::chooseChainFormat()
{
    for (int channels : {m_source->processingFormat().channelCount(), 2}) {
        const auto candidate = AudioFormat::standard(m_rate, channels);
        if (candidate && applyChainFormat(*candidate, m_instances)) {
            m_chainFormat = candidate;
            return;
        }
    }
    throw RenderError(QStringLiteral("Die Kette kann ") + model::sampleRateText(m_rate) +
                      QStringLiteral(" nicht verarbeiten."));
}

int FileRender::stageCount() const
{
    return std::clamp(m_job.threads, 1, std::max(int(m_instances.size()), 1));
}

/// The offline engine fed from the input buffer: input → plugins → mixer;
/// or the pipeline of stages, when the job allows it and the plugins' costs
/// make more than one.
void FileRender::buildGraph(std::stop_token stop)
{
    const AudioFormat& format = *m_chainFormat;
    const std::vector<int> stages = stageCount() > 1 ? planStages(stop) : std::vector<int>();
    if (stages.size() > 1) {
        m_pipeline =
            std::make_unique<ChainPipeline>(m_host, m_instances, format, blockFrames, stages);
        return;
    }
    m_engine = m_host.makeOfflineEngine();
    m_engine->enableManualRendering(format, blockFrames);
    m_input = makeRenderBuffer(format, blockFrames);
    m_render = makeRenderBuffer(m_engine->manualRenderingFormat(), blockFrames);
    if (!m_engine->setManualRenderingInput(format, [this](qint64) { return &*m_input; }))
        throw RenderError(QStringLiteral("Export lässt sich nicht vorbereiten."));
    host::AudioNode* previous = &m_engine->inputNode();
    for (host::PluginInstance* instance : m_instances) {
        m_engine->attach(*instance);
        m_engine->connect(*previous, *instance, format);
        previous = instance;
    }
    m_engine->connect(*previous, m_engine->mainMixer(), format);
    m_engine->start();
    m_engineStarted = true;
}

/// The chain's own instances have not run yet: they run on their stage's
/// thread from their first block on. What the stages are is measured on
/// instances of their own, made and dropped here, on the source's first
/// blocks, which are kept for the render.
std::vector<int> FileRender::planStages(std::stop_token stop)
{
    // Where the render's blocks will lie, past the end of the file silent.
    m_feed->readAhead(*m_chainFormat,
                      std::clamp(m_feed->length() / blockFrames / blocksPerMeasuredBlock, 1ll,
                                 maxMeasuredBlocks));
    std::vector<double> costs;
    try {
        costs = measureCosts(stop);
    } catch (const model::UserError&) {
        // Only the estimate fails: a plugin that cannot be made a second time
        // or fails while measured. The chain's own instances answer for
        // themselves when they run.
        costs.assign(m_instances.size(), 0.0);
    }
    return stagesByCost(costs, stageCount());
}

std::vector<double> FileRender::measureCosts(std::stop_token stop)
{
    const auto owned = instantiateChain(m_host, m_job.plugins);
    std::vector<host::PluginInstance*> measuring;
    for (const auto& instance : owned)
        measuring.push_back(instance.get());
    if (!applyChainFormat(*m_chainFormat, measuring))
        return std::vector<double>(measuring.size(), 0.0);
    ChainCalibration calibration(m_host, measuring, *m_chainFormat, blockFrames);
    for (const AudioBuffer& block : m_feed->ahead()) {
        if (stop.stop_requested())
            throw RenderCancelled();
        calibration.measure(block);
    }
    return calibration.costs();
}

/// Some plugins glide from their defaults to the parameters of their state
/// after they start, so the chain first runs on a second of silence whose
/// output is dropped. Afterwards the plugins' delay lines and filters hold
/// silence, exactly as after a fresh start: the latency still comes first in
/// the rendered stream and the tail still rings out after the source, so
/// both are counted as they would be without this run.
void FileRender::settlePlugins(std::stop_token stop)
{
    if (m_instances.empty())
        return;
    const qint64 total = qint64(std::ceil(settleSeconds * m_rate));
    if (m_pipeline)
        return settleStages(total, stop);
    for (qint64 done = 0; done < total; done += blockFrames) {
        if (stop.stop_requested())
            throw RenderCancelled();
        const qint64 n = std::min(total - done, blockFrames);
        m_input->setFrameLength(n);
        for (int c = 0; c < m_input->channelCount(); ++c)
            std::fill_n(m_input->channel(c), n, 0.0f);
        renderInput(n);
    }
}

/// Silent blocks go in while buffers are free; what comes out is dropped.
void FileRender::settleStages(qint64 frames, std::stop_token stop)
{
    qint64 sent = 0;
    while (sent < frames || m_pipeline->busy()) {
        if (stop.stop_requested())
            throw RenderCancelled();
        AudioBuffer* vacant = sent < frames ? m_pipeline->vacant() : nullptr;
        if (vacant) {
            const qint64 n = std::min(frames - sent, blockFrames);
            vacant->setFrameLength(n);
            for (int c = 0; c < vacant->channelCount(); ++c)
                std::fill_n(vacant->channel(c), n, 0.0f);
            m_pipeline->push();
            sent += n;
            continue;
        }
        m_pipeline->finished();
        m_pipeline->release();
    }
}

const AudioBuffer& FileRender::renderInput(qint64 n)
{
    throwOnFailure(m_engine->render(n, *m_render));
    return *m_render;
}

/// The chain's latency is rendered but not written; its tail, up to ten
/// seconds, is rendered after the source.
void FileRender::countFrames()
{
    double latencySeconds = 0;
    double tailSeconds = 0;
    for (host::PluginInstance* instance : m_instances) {
        latencySeconds += finiteOrZero(instance->latency());
        tailSeconds += finiteOrZero(instance->tailTime());
    }
    m_latencyFrames = std::llround(latencySeconds * m_rate);
    const qint64 tailFrames = qint64(std::min(tailSeconds, tailCap) * m_rate);
    m_sourceFrames = m_feed->length();
    m_totalFrames = m_sourceFrames + m_latencyFrames + tailFrames;
}

/// Progress goes out in steps of at least 0.01; cancellation is seen before
/// each block.
void FileRender::renderBlocks(const ProgressCallback& progress, std::stop_token stop)
{
    if (m_pipeline)
        return renderPipelined(progress, stop);
    while (m_rendered < m_totalFrames) {
        if (stop.stop_requested())
            throw RenderCancelled();
        const qint64 n = std::min(m_totalFrames - m_rendered, blockFrames);
        m_feed->fill(*m_input, n);
        if (!takeBlock(renderInput(n), stop))
            return;
        reportProgress(progress);
    }
}

/// Blocks go into the chain while buffers are free and the source has
/// frames left, and come out in order; blocks sent past a tail that died
/// away are dropped unwritten.
void FileRender::renderPipelined(const ProgressCallback& progress, std::stop_token stop)
{
    qint64 sent = m_rendered;
    while (m_rendered < m_totalFrames) {
        if (stop.stop_requested())
            throw RenderCancelled();
        AudioBuffer* vacant = sent < m_totalFrames ? m_pipeline->vacant() : nullptr;
        if (vacant) {
            const qint64 n = std::min(m_totalFrames - sent, blockFrames);
            m_feed->fill(*vacant, n);
            m_pipeline->push();
            sent += n;
            continue;
        }
        const bool more = takeBlock(m_pipeline->finished(), stop);
        m_pipeline->release();
        if (!more)
            return;
        reportProgress(progress);
    }
}

bool FileRender::takeBlock(const AudioBuffer& rendered, std::stop_token stop)
{
    const qint64 n = rendered.frameLength();
    // Only blocks that start after source and latency may end the file;
    // the silent block itself is not written.
    if (m_rendered >= m_sourceFrames + m_latencyFrames && peakLevel(rendered) < silence)
        return false;
    const qint64 skip = std::max<qint64>(0, std::min(m_latencyFrames - m_rendered, n));
    if (skip < n) {
        EncoderThread& encoder = m_output->encoder();
        copyForOutput(rendered, skip, encoder.next(stop));
        encoder.push();
    }
    m_rendered += n;
    return true;
}

void FileRender::reportProgress(const ProgressCallback& progress)
{
    const double fraction = double(m_rendered) / double(std::max<qint64>(m_totalFrames, 1));
    if (fraction - m_lastProgress >= 0.01) {
        progress(fraction);
        m_lastProgress = fraction;
    }
}

} // namespace

RenderResult renderFile(host::AudioHost& host, const RenderJob& job,
                        const ProgressCallback& progress, std::stop_token stop)
{
    return FileRender(host, job).run(progress, stop);
}

} // namespace tolvex::render
