#include "tests/support/FakeHost.h"

#include "host/ProcessingNode.h"
#include "host/engine/OfflineGraphEngine.h"
#include "host/engine/RealtimeGraphEngine.h"
#include "host/engine/RealtimePlayer.h"
#include "host/files/ScratchFile.h"
#include "host/loudness/EbuR128Meter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <deque>

namespace tolvex::testing {

using host::AudioBuffer;
using host::AudioFormat;
using host::HostError;

namespace {

HostError fileError(const QString& path, const char* what)
{
    return HostError(u'„' + QFileInfo(path).fileName() + u'“' + QString::fromUtf8(what));
}

class FakeReader : public host::AudioFileReader {
public:
    FakeReader(FakeAudioFile file, AudioFormat format) : m_file(std::move(file)), m_format(format)
    {}

    AudioFormat processingFormat() const override { return m_format; }
    qint64 length() const override { return qint64(m_file.channels.front().size()); }
    qint64 framePosition() const override { return m_position; }
    host::AudioTags tags() const override { return {}; }
    void setFramePosition(qint64 frame) override { m_position = std::clamp(frame, 0ll, length()); }
    void read(AudioBuffer& buffer, qint64 frames) override
    {
        const qint64 count =
            std::max(0ll, std::min({frames, buffer.frameCapacity(), length() - m_position}));
        const auto fail = m_file.failReadAt.value_or(-1);
        if (fail >= m_position && fail < m_position + std::max(count, 1ll))
            throw HostError(QStringLiteral("Die Datei lässt sich nicht weiterlesen."));
        for (int c = 0; c < buffer.channelCount(); ++c)
            std::copy_n(m_file.channels[size_t(std::min(c, m_format.channelCount() - 1))].begin() +
                            m_position,
                        count, buffer.channel(c));
        buffer.setFrameLength(count);
        m_position += count;
    }

private:
    FakeAudioFile m_file;
    AudioFormat m_format;
    qint64 m_position = 0;
};

} // namespace

FakeProcessorFactory gainProcessor(float factor)
{
    return [factor] {
        return [factor](float* const* channels, int count, qint64 frames) {
            for (int c = 0; c < count; ++c)
                for (qint64 i = 0; i < frames; ++i)
                    channels[c][i] *= factor;
        };
    };
}

FakeProcessorFactory delayProcessor(qint64 frames)
{
    return [frames] {
        return [frames, lines = std::vector<std::deque<float>>()](float* const* channels, int count,
                                                                  qint64 n) mutable {
            lines.resize(size_t(count), std::deque<float>(size_t(frames), 0.0f));
            for (int c = 0; c < count; ++c)
                for (qint64 i = 0; i < n; ++i) {
                    lines[size_t(c)].push_back(channels[c][i]);
                    channels[c][i] = lines[size_t(c)].front();
                    lines[size_t(c)].pop_front();
                }
        };
    };
}

FakeProcessorFactory ringProcessor(qint64 frames, float level)
{
    return [=] {
        return [=, left = qint64(0)](float* const* channels, int count, qint64 n) mutable {
            for (qint64 i = 0; i < n; ++i) {
                bool silent = true;
                for (int c = 0; c < count; ++c)
                    silent = silent && channels[c][i] == 0.0f;
                if (!silent)
                    left = frames;
                else if (left > 0 && left--)
                    for (int c = 0; c < count; ++c)
                        channels[c][i] = level;
            }
        };
    };
}

/// The threads one instance was prepared or run on.
struct FakeHost::ThreadLog {
    void note()
    {
        std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
    }

    std::mutex mutex;
    std::set<std::thread::id> threads;
};

/// A fake plugin instance, run by the engines as a processing node that
/// takes any format: the processor works on the output in place.
class FakeInstance : public host::PluginInstance, public host::ProcessingNode {
public:
    FakeInstance(FakeHost& host, FakePlugin plugin)
        : m_host(host), m_plugin(std::move(plugin)), m_state(m_plugin.state),
          m_processor(m_plugin.processor ? m_plugin.processor() : nullptr),
          m_threads(std::make_shared<FakeHost::ThreadLog>())
    {
        ++m_host.m_liveInstances;
        std::lock_guard lock(m_host.m_mutex);
        m_host.m_threadLogs.push_back(m_threads);
    }
    ~FakeInstance() override { --m_host.m_liveInstances; }

    void prepare(const AudioFormat&, const AudioFormat&, qint64, bool) override
    {
        m_threads->note();
    }
    void process(const AudioBuffer& input, AudioBuffer& output, qint64 frames) noexcept override
    {
        m_threads->note();
        for (int c = 0; c < output.channelCount(); ++c)
            std::copy_n(input.channel(std::min(c, input.channelCount() - 1)), frames,
                        output.channel(c));
        output.setFrameLength(frames);
        if (!m_bypass && m_processor)
            m_processor(output.channels(), output.channelCount(), frames);
    }

    std::optional<host::PropertyDictionary> fullState() const override
    {
        auto state = m_state;
        state.insert(QStringLiteral("uri"), m_plugin.info.id());
        return state;
    }
    void setFullState(const host::PropertyDictionary& state) override
    {
        m_state = state;
        m_state.remove(QStringLiteral("uri"));
    }
    void setBypass(bool bypass) override { m_bypass = bypass; }
    bool bypass() const override { return m_bypass; }
    int inputBusCount() const override { return 1; }
    int outputBusCount() const override { return 1; }
    bool setInputFormat(int bus, const AudioFormat& format) override
    {
        return accepts(bus, format);
    }
    bool setOutputFormat(int bus, const AudioFormat& format) override
    {
        return accepts(bus, format);
    }
    double latency() const override { return m_plugin.latency; }
    double tailTime() const override { return m_plugin.tailTime; }
    QList<host::PluginParameter> parameters() const override { return {}; }
    bool setParameter(const QString&, float) override { return false; }
    void requestEditorView(EditorCompletion completion) override
    {
        m_host.runElsewhere([completion = std::move(completion)] { completion(nullptr); });
    }

private:
    bool accepts(int bus, const AudioFormat& format) const
    {
        const auto& channels = m_plugin.acceptedChannels;
        return bus == 0 && (channels.empty() || channels.contains(format.channelCount()));
    }

    FakeHost& m_host;
    FakePlugin m_plugin;
    host::PropertyDictionary m_state;
    std::atomic<bool> m_bypass{false};
    FakeProcessor m_processor;
    std::shared_ptr<FakeHost::ThreadLog> m_threads;
};

/// The real offline engine with the host's failures injected and its
/// running engines counted.
class FakeOfflineEngine : public host::OfflineGraphEngine {
public:
    explicit FakeOfflineEngine(FakeHost& host) : m_host(host) {}
    ~FakeOfflineEngine() override { stop(); }

    bool setManualRenderingInput(const AudioFormat& format, InputBlock block) override
    {
        return !m_host.refuseManualRenderingInput &&
               OfflineGraphEngine::setManualRenderingInput(format, std::move(block));
    }
    void start() override
    {
        OfflineGraphEngine::start();
        m_host.m_runningEngines += !std::exchange(m_running, true);
    }
    void stop() override
    {
        OfflineGraphEngine::stop();
        m_host.m_runningEngines -= std::exchange(m_running, false);
    }
    host::RenderStatus render(qint64 frameCount, AudioBuffer& buffer) override
    {
        if (m_host.renderStatusAt && m_host.renderStatusAt->first == m_calls++)
            return m_host.renderStatusAt->second;
        return OfflineGraphEngine::render(frameCount, buffer);
    }

private:
    FakeHost& m_host;
    bool m_running = false;
    int m_calls = 0;
};

class FakeWriter : public host::AudioFileWriter {
public:
    FakeWriter(FakeHost& host, QString path) : m_host(host), m_path(std::move(path)) {}

    void write(const AudioBuffer& buffer) override
    {
        std::lock_guard lock(m_host.m_mutex);
        FakeWrittenFile& file = m_host.m_written[m_path];
        if (file.channels.size() != size_t(buffer.channelCount()))
            throw HostError(QStringLiteral("Falsche Kanalzahl beim Schreiben."));
        const qint64 total = qint64(file.channels.front().size()) + buffer.frameLength();
        if (total > m_host.failWriteAfterFrames.value_or(total))
            throw fileError(m_path, " lässt sich nicht schreiben.");
        for (int c = 0; c < buffer.channelCount(); ++c)
            file.channels[size_t(c)].insert(file.channels[size_t(c)].end(), buffer.channel(c),
                                            buffer.channel(c) + buffer.frameLength());
    }
    void finish() override { place(m_path); }
    void placeAt(const QString& path) override { place(path); }

private:
    /// The marker goes in place exclusively, as the real file would.
    void place(const QString& path)
    {
        if (m_placed)
            return;
        QFile marker(path);
        if (!marker.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw host::NameTaken(fileError(path, " gibt es schon.").message());
        std::lock_guard lock(m_host.m_mutex);
        FakeWrittenFile file = m_host.m_written.take(m_path);
        file.finished = true;
        m_host.m_written.insert(path, std::move(file));
        m_path = path;
        m_placed = true;
    }

    FakeHost& m_host;
    QString m_path;
    bool m_placed = false;
};

FakeHost::~FakeHost()
{
    // Completions may start more work: join until none is left.
    for (std::vector<std::thread> threads;;) {
        {
            std::lock_guard lock(m_mutex);
            threads = std::exchange(m_threads, {});
        }
        if (threads.empty())
            return;
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
    return found == m_written.end() ? std::nullopt : std::optional(*found);
}

std::vector<std::set<std::thread::id>> FakeHost::instanceThreads() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::set<std::thread::id>> threads;
    for (const auto& log : m_threadLogs) {
        std::lock_guard logLock(log->mutex);
        threads.push_back(log->threads);
    }
    return threads;
}

std::set<std::thread::id> FakeHost::preparedThreads() const
{
    std::lock_guard lock(m_mutex);
    return m_preparedThreads;
}

std::unique_ptr<host::PluginThread> FakeHost::preparePluginThread()
{
    std::lock_guard lock(m_mutex);
    m_preparedThreads.insert(std::this_thread::get_id());
    return nullptr;
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
    runElsewhere([this, plugin, completion = std::move(completion)] {
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
    auto output = std::make_unique<ManualOutput>();
    m_output = output.get();
    return std::make_unique<host::RealtimeGraphEngine>(std::move(output));
}

std::unique_ptr<host::PlayerNode> FakeHost::makePlayerNode()
{
    return std::make_unique<host::RealtimePlayer>();
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
        throw fileError(path, " lässt sich nicht öffnen.");
    const auto format = AudioFormat::standard(found->sampleRate, int(found->channels.size()));
    if (!format)
        throw fileError(path, " hat kein lesbares Format.");
    return std::make_unique<FakeReader>(*found, *format);
}

std::unique_ptr<host::AudioFileWriter>
FakeHost::openForWriting(const QString& path, const model::WriterSettings& settings,
                         const host::AudioTags&)
{
    std::lock_guard lock(m_mutex);
    ++m_writersMade;
    FakeWrittenFile file{settings, {}, false};
    file.channels.resize(size_t(std::max(settings.channels, 1)));
    m_written.insert(path, std::move(file));
    return std::make_unique<FakeWriter>(*this, path);
}

std::unique_ptr<host::LoudnessMeter> FakeHost::makeLoudnessMeter(const host::AudioFormat& format,
                                                                 host::MeasuredFor purpose)
{
    return host::makeEbuR128Meter(format, purpose);
}

std::unique_ptr<host::ScratchAudio> FakeHost::makeScratchAudio(const QString& path,
                                                               const host::AudioFormat& format)
{
    return host::createScratchFile(path, format);
}

std::unique_ptr<host::ScratchLease> FakeHost::leaseScratch(const QString& path)
{
    return host::leaseScratchFile(path);
}

std::unique_ptr<host::ScratchAudio> FakeHost::openScratchAudio(const QString& scratch,
                                                               const QString& path,
                                                               const host::AudioFormat& format)
{
    return host::openScratchFile(scratch, path, format);
}

} // namespace tolvex::testing
