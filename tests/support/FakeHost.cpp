#include "tests/support/FakeHost.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>

namespace tolvex::testing {

using host::AudioBuffer;
using host::AudioFormat;
using host::AudioNode;
using host::HostError;

// Processors --------------------------------------------------------------

FakeProcessorFactory gainProcessor(float factor)
{
    return [factor] {
        return [factor](float* const* channels, int channelCount, qint64 frames) {
            for (int c = 0; c < channelCount; ++c)
                for (qint64 i = 0; i < frames; ++i)
                    channels[c][i] *= factor;
        };
    };
}

FakeProcessorFactory delayProcessor(qint64 frames)
{
    return [frames] {
        auto lines = std::make_shared<std::vector<std::deque<float>>>();
        return [frames, lines](float* const* channels, int channelCount, qint64 count) {
            if (lines->size() != size_t(channelCount))
                lines->assign(size_t(channelCount), std::deque<float>(size_t(frames), 0.0f));
            for (int c = 0; c < channelCount; ++c) {
                auto& line = (*lines)[size_t(c)];
                for (qint64 i = 0; i < count; ++i) {
                    line.push_back(channels[c][i]);
                    channels[c][i] = line.front();
                    line.pop_front();
                }
            }
        };
    };
}

FakeProcessorFactory ringProcessor(qint64 frames, float level)
{
    return [frames, level] {
        auto remaining = std::make_shared<qint64>(0);
        return [frames, level, remaining](float* const* channels, int channelCount, qint64 count) {
            for (qint64 i = 0; i < count; ++i) {
                bool silent = true;
                for (int c = 0; c < channelCount; ++c)
                    silent = silent && channels[c][i] == 0.0f;
                if (!silent) {
                    *remaining = frames;
                } else if (*remaining > 0) {
                    --*remaining;
                    for (int c = 0; c < channelCount; ++c)
                        channels[c][i] = level;
                }
            }
        };
    };
}

// Instances ---------------------------------------------------------------

FakeInstance::FakeInstance(FakeHost& host, FakePlugin plugin)
    : m_host(host), m_plugin(std::move(plugin)), m_state(m_plugin.state),
      m_parameters(m_plugin.parameters)
{
    if (m_plugin.processor)
        m_processor = m_plugin.processor();
    ++m_host.m_liveInstances;
}

FakeInstance::~FakeInstance()
{
    --m_host.m_liveInstances;
}

void FakeInstance::process(float* const* channels, int channelCount, qint64 frames)
{
    if (!m_bypass && m_processor)
        m_processor(channels, channelCount, frames);
}

std::optional<host::PropertyDictionary> FakeInstance::fullState() const
{
    if (!m_state)
        return std::nullopt;
    host::PropertyDictionary state = *m_state;
    state.insert(QStringLiteral("uri"), m_plugin.info.id());
    return state;
}

void FakeInstance::setFullState(const host::PropertyDictionary& state)
{
    m_state = state;
    m_state->remove(QStringLiteral("uri"));
}

QList<host::PluginParameter> FakeInstance::parameters() const
{
    std::lock_guard lock(m_parameterMutex);
    return m_parameters;
}

bool FakeInstance::setParameter(const QString& symbol, float value)
{
    std::lock_guard lock(m_parameterMutex);
    for (host::PluginParameter& parameter : m_parameters) {
        if (parameter.symbol == symbol) {
            parameter.value = std::clamp(value, parameter.minimum, parameter.maximum);
            return true;
        }
    }
    return false;
}

bool FakeInstance::accepts(const AudioFormat& format) const
{
    const auto& channels = m_plugin.acceptedChannels;
    const auto& rates = m_plugin.acceptedRates;
    return (channels.empty() || channels.contains(format.channelCount())) &&
           (rates.empty() || rates.contains(format.sampleRate()));
}

bool FakeInstance::setInputFormat(int bus, const AudioFormat& format)
{
    if (bus < 0 || bus >= m_plugin.inputBusses || !accepts(format))
        return false;
    m_inputFormat = format;
    return true;
}

bool FakeInstance::setOutputFormat(int bus, const AudioFormat& format)
{
    if (bus < 0 || bus >= m_plugin.outputBusses || !accepts(format))
        return false;
    m_outputFormat = format;
    return true;
}

namespace {

class FakeEditorView : public host::EditorView {
public:
    explicit FakeEditorView(QSize size) : m_size(size) {}
    QSize preferredSize() const override { return m_size; }

private:
    QSize m_size;
};

} // namespace

void FakeInstance::requestEditorView(EditorCompletion completion)
{
    const bool hasEditor = m_plugin.hasEditor;
    const QSize size = m_plugin.editorSize;
    m_host.runElsewhere([hasEditor, size, completion = std::move(completion)] {
        completion(hasEditor ? std::make_unique<FakeEditorView>(size) : nullptr);
    });
}

// Graph -------------------------------------------------------------------

void FakeGraph::attach(AudioNode& node)
{
    m_attached.insert(&node);
}

void FakeGraph::detach(AudioNode& node)
{
    m_attached.erase(&node);
    m_edges.erase(&node);
    std::erase_if(m_edges, [&](const auto& edge) { return edge.second.to == &node; });
}

void FakeGraph::connect(AudioNode& from, AudioNode& to, const AudioFormat& format)
{
    const auto known = [&](const AudioNode& node) {
        return &node == &mixer || isAttached(node) || dynamic_cast<const NamedNode*>(&node);
    };
    if (!known(from) || !known(to))
        throw HostError(QStringLiteral("Knoten ist nicht eingehängt."));
    m_edges.insert_or_assign(&from, Edge{&to, format});
}

void FakeGraph::disconnectOutput(AudioNode& node)
{
    m_edges.erase(&node);
}

bool FakeGraph::isAttached(const AudioNode& node) const
{
    return m_attached.contains(&node);
}

AudioNode* FakeGraph::next(const AudioNode& from) const
{
    const auto found = m_edges.find(&from);
    return found == m_edges.end() ? nullptr : found->second.to;
}

std::optional<AudioFormat> FakeGraph::formatFrom(const AudioNode& from) const
{
    const auto found = m_edges.find(&from);
    if (found == m_edges.end())
        return std::nullopt;
    return found->second.format;
}

QStringList FakeGraph::route(const AudioNode& start) const
{
    QStringList names;
    for (const AudioNode* node = &start; node && names.size() < 1000; node = next(*node)) {
        if (const auto* named = dynamic_cast<const NamedNode*>(node))
            names << named->name;
        else if (const auto* instance = dynamic_cast<const FakeInstance*>(node))
            names << instance->plugin().info.name;
        else if (dynamic_cast<const FakePlayerNode*>(node))
            names << QStringLiteral("player");
        else
            names << QStringLiteral("?");
    }
    return names;
}

// Offline engine ----------------------------------------------------------

class FakeOfflineEngine : public host::OfflineEngine {
public:
    explicit FakeOfflineEngine(FakeHost& host) : m_host(host) {}
    ~FakeOfflineEngine() override { stop(); }

    void attach(AudioNode& node) override { m_graph.attach(node); }
    void detach(AudioNode& node) override { m_graph.detach(node); }
    void connect(AudioNode& from, AudioNode& to, const AudioFormat& format) override
    {
        m_graph.connect(from, to, format);
    }
    void disconnectOutput(AudioNode& node) override { m_graph.disconnectOutput(node); }
    AudioNode& mainMixer() override { return m_graph.mixer; }
    AudioNode& inputNode() override { return m_input; }

    void start() override
    {
        if (m_host.failEngineStart)
            throw HostError(QStringLiteral("Die Audio-Engine lässt sich nicht starten."));
        if (!m_running)
            ++m_host.m_runningEngines;
        m_running = true;
    }

    void stop() override
    {
        if (m_running)
            --m_host.m_runningEngines;
        m_running = false;
    }

    void enableManualRendering(const AudioFormat& format, qint64 maximumFrameCount) override
    {
        if (m_host.refuseManualRendering)
            throw HostError(QStringLiteral("Offline-Rendering wird nicht unterstützt."));
        m_format = format;
        m_maximum = maximumFrameCount;
        m_scratch = AudioBuffer::make(format, maximumFrameCount);
    }

    AudioFormat manualRenderingFormat() const override { return *m_format; }

    bool setManualRenderingInput(const AudioFormat& format, InputBlock block) override
    {
        if (m_host.refuseManualRenderingInput || !m_format || format != *m_format)
            return false;
        m_inputBlock = std::move(block);
        return true;
    }

    host::RenderStatus render(qint64 frameCount, AudioBuffer& buffer) override
    {
        const int call = m_calls++;
        if (m_host.renderStatusAt && m_host.renderStatusAt->first == call)
            return m_host.renderStatusAt->second;
        if (!m_running || !m_scratch || frameCount > m_maximum ||
            frameCount > buffer.frameCapacity())
            throw HostError(QStringLiteral("Die Audio-Engine kann so nicht rechnen."));

        host::RenderStatus status = host::RenderStatus::success;
        const AudioBuffer* input = m_inputBlock ? m_inputBlock(frameCount) : nullptr;
        const qint64 delivered = input ? std::min(input->frameLength(), frameCount) : 0;
        if (delivered < frameCount)
            status = host::RenderStatus::insufficientInput;
        const int channels = m_scratch->channelCount();
        for (int c = 0; c < channels; ++c) {
            float* out = m_scratch->channel(c);
            if (input)
                std::copy_n(input->channel(std::min(c, input->channelCount() - 1)), delivered, out);
            std::fill(out + delivered, out + frameCount, 0.0f);
        }
        for (AudioNode* node = m_graph.next(m_input); node && node != &m_graph.mixer;
             node = m_graph.next(*node)) {
            if (auto* instance = dynamic_cast<FakeInstance*>(node))
                instance->process(m_scratch->channels(), channels, frameCount);
        }
        for (int c = 0; c < buffer.channelCount(); ++c)
            std::copy_n(m_scratch->channel(std::min(c, channels - 1)), frameCount,
                        buffer.channel(c));
        buffer.setFrameLength(frameCount);
        return status;
    }

private:
    FakeHost& m_host;
    FakeGraph m_graph;
    FakeGraph::NamedNode m_input{QStringLiteral("input")};
    std::optional<AudioFormat> m_format;
    qint64 m_maximum = 0;
    std::optional<AudioBuffer> m_scratch;
    InputBlock m_inputBlock;
    bool m_running = false;
    int m_calls = 0;
};

// Real-time engine and player ----------------------------------------------

FakeRealtimeEngine::~FakeRealtimeEngine()
{
    stop();
    std::lock_guard lock(m_host.m_mutex);
    if (m_host.m_realtimeEngine == this)
        m_host.m_realtimeEngine = nullptr;
}

void FakeRealtimeEngine::start()
{
    if (m_host.failEngineStart)
        throw HostError(QStringLiteral("Die Audioausgabe lässt sich nicht starten."));
    if (!m_running)
        ++m_host.m_runningEngines;
    m_running = true;
    ++m_starts;
}

void FakeRealtimeEngine::stop()
{
    if (m_running)
        --m_host.m_runningEngines;
    m_running = false;
}

FakePlayerNode::~FakePlayerNode()
{
    stop();
    std::lock_guard lock(m_host.m_mutex);
    if (m_host.m_player == this)
        m_host.m_player = nullptr;
}

int FakePlayerNode::queued() const
{
    std::lock_guard lock(m_mutex);
    return int(m_queue.size());
}

std::vector<std::vector<float>> FakePlayerNode::queuedSamples(int index) const
{
    std::lock_guard lock(m_mutex);
    const AudioBuffer& buffer = m_queue.at(size_t(index)).buffer;
    std::vector<std::vector<float>> samples;
    for (int c = 0; c < buffer.channelCount(); ++c)
        samples.emplace_back(buffer.channel(c), buffer.channel(c) + buffer.frameLength());
    return samples;
}

bool FakePlayerNode::finishNext()
{
    Completion completion;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return false;
        m_time = m_time.value_or(0) + m_queue.front().buffer.frameLength();
        completion = std::move(m_queue.front().completion);
        m_queue.erase(m_queue.begin());
    }
    m_host.runElsewhere(std::move(completion));
    return true;
}

void FakePlayerNode::schedule(AudioBuffer buffer, Completion completion)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back({std::move(buffer), std::move(completion)});
}

void FakePlayerNode::play()
{
    m_playing = true;
}

void FakePlayerNode::stop()
{
    std::vector<Scheduled> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped.swap(m_queue);
        m_playing = false;
        m_time.reset();
    }
    for (Scheduled& entry : dropped)
        m_host.runElsewhere(std::move(entry.completion));
}

// Files -------------------------------------------------------------------

namespace {

QString quotedName(const QString& path)
{
    return u'„' + QFileInfo(path).fileName() + u'“';
}

class FakeReader : public host::AudioFileReader {
public:
    FakeReader(FakeAudioFile file, AudioFormat format) : m_file(std::move(file)), m_format(format)
    {}

    AudioFormat processingFormat() const override { return m_format; }
    qint64 length() const override
    {
        return m_file.channels.empty() ? 0 : qint64(m_file.channels.front().size());
    }
    qint64 framePosition() const override { return m_position; }
    void setFramePosition(qint64 frame) override
    {
        m_position = std::clamp<qint64>(frame, 0, length());
    }

    void read(AudioBuffer& buffer, qint64 frames) override
    {
        const qint64 count =
            std::max<qint64>(0, std::min({frames, buffer.frameCapacity(), length() - m_position}));
        if (m_file.failReadAt && *m_file.failReadAt >= m_position &&
            *m_file.failReadAt < m_position + std::max<qint64>(count, 1))
            throw HostError(QStringLiteral("Die Datei lässt sich nicht weiterlesen."));
        for (int c = 0; c < buffer.channelCount(); ++c) {
            const auto& source = m_file.channels[size_t(std::min(c, m_format.channelCount() - 1))];
            std::copy_n(source.begin() + m_position, count, buffer.channel(c));
        }
        buffer.setFrameLength(count);
        m_position += count;
    }

private:
    FakeAudioFile m_file;
    AudioFormat m_format;
    qint64 m_position = 0;
};

} // namespace

class FakeWriter : public host::AudioFileWriter {
public:
    FakeWriter(FakeHost& host, QString path) : m_host(host), m_path(std::move(path)) {}

    void write(const AudioBuffer& buffer) override
    {
        std::lock_guard lock(m_host.m_mutex);
        FakeWrittenFile& file = m_host.m_written[m_path];
        if (file.channels.size() != size_t(buffer.channelCount()))
            throw HostError(QStringLiteral("Falsche Kanalzahl beim Schreiben."));
        const qint64 already = qint64(file.channels.front().size());
        if (m_host.failWriteAfterFrames &&
            already + buffer.frameLength() > *m_host.failWriteAfterFrames)
            throw HostError(quotedName(m_path) + QStringLiteral(" lässt sich nicht schreiben."));
        for (int c = 0; c < buffer.channelCount(); ++c)
            file.channels[size_t(c)].insert(file.channels[size_t(c)].end(), buffer.channel(c),
                                            buffer.channel(c) + buffer.frameLength());
    }

    void finish() override
    {
        std::lock_guard lock(m_host.m_mutex);
        m_host.m_written[m_path].finished = true;
    }

private:
    FakeHost& m_host;
    QString m_path;
};

// Host --------------------------------------------------------------------

FakeHost::FakeHost() = default;

FakeHost::~FakeHost()
{
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(m_mutex);
            threads.swap(m_threads);
        }
        if (threads.empty())
            break;
        for (std::thread& thread : threads)
            thread.join();
    }
}

void FakeHost::runElsewhere(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    m_threads.emplace_back(std::move(work));
}

void FakeHost::addPlugin(FakePlugin plugin)
{
    std::lock_guard lock(m_mutex);
    m_plugins.push_back(std::move(plugin));
}

void FakeHost::addFile(const QString& path, FakeAudioFile file)
{
    std::lock_guard lock(m_mutex);
    m_files.insert(path, std::move(file));
}

std::optional<FakeWrittenFile> FakeHost::written(const QString& path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_written.find(path);
    if (found == m_written.end())
        return std::nullopt;
    return *found;
}

QList<model::PluginInfo> FakeHost::components(quint32 type)
{
    std::lock_guard lock(m_mutex);
    QList<model::PluginInfo> found;
    for (const FakePlugin& plugin : m_plugins)
        if (plugin.info.codes.type == type)
            found.append(plugin.info);
    return found;
}

void FakeHost::instantiate(const model::PluginId& codes, InstantiationCompletion completion)
{
    std::optional<FakePlugin> plugin;
    {
        std::lock_guard lock(m_mutex);
        for (const FakePlugin& candidate : m_plugins)
            if (candidate.info.codes == codes)
                plugin = candidate;
    }
    const int delay = instantiationDelayMs;
    runElsewhere([this, plugin = std::move(plugin), delay, completion = std::move(completion)] {
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        if (!plugin)
            completion(HostError(QStringLiteral("Das Plugin ist nicht installiert.")));
        else if (plugin->failsToInstantiate)
            completion(HostError(u'„' + plugin->info.name + QStringLiteral("“ startet nicht.")));
        else
            completion(std::make_unique<FakeInstance>(*this, *plugin));
    });
}

std::unique_ptr<host::RealtimeEngine> FakeHost::makeRealtimeEngine()
{
    auto engine = std::make_unique<FakeRealtimeEngine>(*this);
    std::lock_guard lock(m_mutex);
    m_realtimeEngine = engine.get();
    return engine;
}

std::unique_ptr<host::PlayerNode> FakeHost::makePlayerNode()
{
    auto player = std::make_unique<FakePlayerNode>(*this);
    std::lock_guard lock(m_mutex);
    m_player = player.get();
    return player;
}

std::unique_ptr<host::OfflineEngine> FakeHost::makeOfflineEngine()
{
    return std::make_unique<FakeOfflineEngine>(*this);
}

std::unique_ptr<host::AudioFileReader> FakeHost::openForReading(const QString& path)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_files.find(path);
    if (found == m_files.end())
        throw HostError(quotedName(path) + QStringLiteral(" lässt sich nicht öffnen."));
    const auto format = AudioFormat::standard(found->sampleRate, int(found->channels.size()));
    if (!format)
        throw HostError(quotedName(path) + QStringLiteral(" hat kein lesbares Format."));
    return std::make_unique<FakeReader>(*found, *format);
}

std::unique_ptr<host::AudioFileWriter>
FakeHost::openForWriting(const QString& path, const model::WriterSettings& settings)
{
    QFile marker(path);
    if (!marker.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw HostError(quotedName(path) + QStringLiteral(" lässt sich nicht anlegen."));
    std::lock_guard lock(m_mutex);
    FakeWrittenFile file;
    file.settings = settings;
    file.channels.resize(size_t(std::max(settings.channels, 1)));
    m_written.insert(path, std::move(file));
    return std::make_unique<FakeWriter>(*this, path);
}

} // namespace tolvex::testing
