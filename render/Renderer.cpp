#include "render/Renderer.h"

#include "host/PropertyList.h"
#include "model/DisplayText.h"
#include "render/ChainBuffers.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <future>
#include <memory>
#include <vector>

namespace tolvex::render {

namespace {

constexpr qint64 blockFrames = 4096;
constexpr double tailCap = 10.0;
constexpr float silence = 0.0001f;

using host::AudioBuffer;
using host::AudioFormat;

/// Instantiates one plugin and waits for it on this (worker) thread.
std::unique_ptr<host::PluginInstance> instantiate(host::AudioHost& host,
                                                  const model::PluginState& entry)
{
    std::promise<host::Instantiation> promise;
    auto result = promise.get_future();
    host.instantiate(entry.codes,
                     [&promise](host::Instantiation made) { promise.set_value(std::move(made)); });
    host::Instantiation made = result.get();
    auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&made);
    if (!instance || !*instance)
        throw RenderError(u'„' + entry.name + QStringLiteral("“ lässt sich nicht laden."));
    if (entry.state) {
        if (auto state = host::readPropertyList(*entry.state))
            (*instance)->setFullState(*state);
    }
    return std::move(*instance);
}

/// The first of the two candidate formats the whole chain accepts.
AudioFormat chooseChainFormat(double rate, int sourceChannels,
                              const std::vector<host::PluginInstance*>& instances)
{
    for (int channels : {sourceChannels, 2}) {
        const auto candidate = AudioFormat::standard(rate, channels);
        if (candidate && applyChainFormat(*candidate, instances))
            return *candidate;
    }
    throw RenderError(QStringLiteral("Die Kette kann ") + model::sampleRateText(rate) +
                      QStringLiteral(" nicht verarbeiten."));
}

/// Seconds to whole frames; values that are not finite count as none.
double finiteOrZero(double seconds)
{
    return std::isfinite(seconds) ? seconds : 0.0;
}

/// Stops the engine on every exit once it has started.
struct EngineStop {
    host::OfflineEngine& engine;
    ~EngineStop() { engine.stop(); }
};

/// Until committed, closes the output and deletes the target on exit.
class PartialOutput {
public:
    PartialOutput(std::unique_ptr<host::AudioFileWriter>& writer, QString path)
        : m_writer(writer), m_path(std::move(path))
    {}
    ~PartialOutput()
    {
        if (m_committed)
            return;
        m_writer.reset();
        QFile::remove(m_path); // a failure to delete is ignored
    }
    void commit() { m_committed = true; }

private:
    std::unique_ptr<host::AudioFileWriter>& m_writer;
    QString m_path;
    bool m_committed = false;
};

} // namespace

void renderFile(host::AudioHost& host, const RenderJob& job, const ProgressCallback& progress,
                std::stop_token stop)
{
    // 1. The source.
    const auto source = host.openForReading(job.source.toLocalFile());
    const AudioFormat sourceFormat = source->processingFormat();
    const double rate = sourceFormat.sampleRate();

    // 2. Fresh instances, one after another. They outlive the engine below.
    std::vector<std::unique_ptr<host::PluginInstance>> owned;
    std::vector<host::PluginInstance*> instances;
    for (const model::PluginState& entry : job.plugins) {
        owned.push_back(instantiate(host, entry));
        instances.push_back(owned.back().get());
    }

    // 3. The chain format.
    const AudioFormat chainFormat = chooseChainFormat(rate, sourceFormat.channelCount(), instances);

    // 4.–7. The offline graph.
    const auto engine = host.makeOfflineEngine();
    engine->enableManualRendering(chainFormat, blockFrames);
    auto input = AudioBuffer::make(chainFormat, blockFrames);
    auto render = AudioBuffer::make(engine->manualRenderingFormat(), blockFrames);
    auto read = AudioBuffer::make(sourceFormat, blockFrames);
    if (!input || !render || !read)
        throw RenderError(QStringLiteral("Kein Speicher für den Export."));
    if (!engine->setManualRenderingInput(chainFormat, [&input](qint64) { return &*input; }))
        throw RenderError(QStringLiteral("Export lässt sich nicht vorbereiten."));
    host::AudioNode* previous = &engine->inputNode();
    for (host::PluginInstance* instance : instances) {
        engine->attach(*instance);
        engine->connect(*previous, *instance, chainFormat);
        previous = instance;
    }
    engine->connect(*previous, engine->mainMixer(), chainFormat);
    engine->start();
    const EngineStop engineStop{*engine};

    // 8. Latency, tail and total, in frames.
    double latencySeconds = 0;
    double tailSeconds = 0;
    for (host::PluginInstance* instance : instances) {
        latencySeconds += finiteOrZero(instance->latency());
        tailSeconds += finiteOrZero(instance->tailTime());
    }
    const qint64 latencyFrames = std::llround(latencySeconds * rate);
    const qint64 tailFrames = qint64(std::min(tailSeconds, tailCap) * rate);
    const qint64 sourceFrames = source->length();
    const qint64 totalFrames = sourceFrames + latencyFrames + tailFrames;

    // 9. The output format.
    const int outputChannels = std::min(chainFormat.channelCount(), sourceFormat.channelCount());
    const auto outputFormat = AudioFormat::standard(rate, outputChannels);
    auto write = outputFormat ? AudioBuffer::make(*outputFormat, blockFrames) : std::nullopt;
    if (!write)
        throw RenderError(QStringLiteral("Ausgabeformat wird nicht unterstützt."));

    // 10. The output file; from here on a failure leaves no file behind.
    const QString targetPath = job.target.toLocalFile();
    std::unique_ptr<host::AudioFileWriter> writer =
        host.openForWriting(targetPath, model::writerSettings(job.format, outputChannels, rate));
    PartialOutput partial(writer, targetPath);

    // 11. The block loop.
    qint64 rendered = 0;
    double lastProgress = 0;
    const double denominator = double(std::max<qint64>(totalFrames, 1));
    while (rendered < totalFrames) {
        if (stop.stop_requested())
            throw RenderCancelled();
        const qint64 n = std::min(totalFrames - rendered, blockFrames);
        fillChainBuffer(*input, n, *source, *read);
        const host::RenderStatus status = engine->render(n, *render);
        if (status != host::RenderStatus::success &&
            status != host::RenderStatus::insufficientInput)
            throw RenderError(QStringLiteral("Ein Plugin hat beim Rechnen abgebrochen."));
        if (rendered >= sourceFrames + latencyFrames && peakLevel(*render) < silence)
            break; // the tail has died away; this block is not written
        const qint64 skip = std::max<qint64>(0, std::min(latencyFrames - rendered, n));
        if (skip < render->frameLength()) {
            copyForOutput(*render, skip, *write);
            writer->write(*write);
        }
        rendered += n;
        const double fraction = double(rendered) / denominator;
        if (fraction - lastProgress >= 0.01) {
            progress(fraction);
            lastProgress = fraction;
        }
    }

    // 12. Done.
    progress(1.0);
    writer->finish();
    partial.commit();
}

QFuture<std::exception_ptr> renderInBackground(host::AudioHost& host, RenderJob job,
                                               ProgressCallback progress, std::stop_token stop)
{
    return QtConcurrent::run([&host, job = std::move(job), progress = std::move(progress),
                              stop]() -> std::exception_ptr {
        try {
            renderFile(host, job, progress, stop);
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    });
}

} // namespace tolvex::render
