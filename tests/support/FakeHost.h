#pragma once

#include "host/AudioHost.h"

#include <QMap>
#include <QSize>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace tolvex::testing {

/// How a fake plugin changes audio: called once per block with the block's
/// channels, in place. Each instance gets its own processor from the factory,
/// so processors may keep state (a delay line, a ringing tail).
using FakeProcessor = std::function<void(float* const* channels, int channelCount, qint64 frames)>;
using FakeProcessorFactory = std::function<FakeProcessor()>;

/// Multiplies every sample by `factor`.
FakeProcessorFactory gainProcessor(float factor);
/// Delays every channel by `frames` frames (the first frames come out silent).
FakeProcessorFactory delayProcessor(qint64 frames);
/// Passes the input and, once the input falls silent, keeps putting out
/// `level` for `frames` more frames: a tail of known length.
FakeProcessorFactory ringProcessor(qint64 frames, float level);

/// A plugin the fake registry lists and the fake host instantiates.
struct FakePlugin {
    model::PluginInfo info;
    double latency = 0;  ///< seconds
    double tailTime = 0; ///< seconds
    /// Channel counts the plugin takes on its busses; empty takes any.
    std::set<int> acceptedChannels{};
    /// Sample rates the plugin takes; empty takes any.
    std::set<double> acceptedRates{};
    int inputBusses = 1;
    int outputBusses = 1;
    bool failsToInstantiate = false;
    /// What fullState() reports besides the "uri" entry; nothing reports no state.
    std::optional<host::PropertyDictionary> state = host::PropertyDictionary{};
    /// Null passes audio through unchanged.
    FakeProcessorFactory processor{};
    /// The parameters the instance describes and lets set.
    QList<host::PluginParameter> parameters{};
    /// Whether the plugin hands out an editor view, and its preferred size.
    bool hasEditor = false;
    QSize editorSize{};
};

/// A file the fake reader serves from memory, one vector per channel.
struct FakeAudioFile {
    double sampleRate = 48000;
    std::vector<std::vector<float>> channels;
    /// A read that would deliver this frame fails, when set.
    std::optional<qint64> failReadAt{};
};

/// What a fake writer received.
struct FakeWrittenFile {
    model::WriterSettings settings;
    std::vector<std::vector<float>> channels;
    bool finished = false;
};

/// An AudioHost held entirely in memory, for testing the render, chain and
/// session logic. Plugins, files and failures are set up by the test; the
/// host records what was written and how engines were used. Writers create
/// a real, empty marker file at their path (exclusively, as the real host
/// does), so tests can see whether a partial output was deleted.
///
/// Completions of instantiations and editor requests, and of player buffers,
/// run on threads of the host's own, joined when the host is destroyed.
class FakeHost : public host::AudioHost {
public:
    FakeHost();
    ~FakeHost() override;

    // Set-up, before the code under test runs.
    void addPlugin(FakePlugin plugin);
    void addFile(const QString& path, FakeAudioFile file);
    /// Makes the next offline engines refuse or fail at the given step.
    bool refuseManualRendering = false;
    bool refuseManualRenderingInput = false;
    bool failEngineStart = false;
    /// The offline render call with this index (0-based, per engine) returns
    /// the given status instead of rendering.
    std::optional<std::pair<int, host::RenderStatus>> renderStatusAt;
    /// A writer fails once this many frames have been written to it.
    std::optional<qint64> failWriteAfterFrames;
    /// Delay before an instantiation completes.
    int instantiationDelayMs = 0;

    // Observation.
    std::optional<FakeWrittenFile> written(const QString& path) const;
    int liveInstances() const { return m_liveInstances; }
    int runningEngines() const { return m_runningEngines; }

    /// The real-time engine and player made last (null when none is alive).
    class FakeRealtimeEngine* realtimeEngine() const { return m_realtimeEngine; }
    class FakePlayerNode* player() const { return m_player; }

    // AudioHost
    QList<model::PluginInfo> components(quint32 type) override;
    void instantiate(const model::PluginId& codes, InstantiationCompletion completion) override;
    std::unique_ptr<host::RealtimeEngine> makeRealtimeEngine() override;
    std::unique_ptr<host::PlayerNode> makePlayerNode() override;
    std::unique_ptr<host::OfflineEngine> makeOfflineEngine() override;
    std::unique_ptr<host::AudioFileReader> openForReading(const QString& path) override;
    std::unique_ptr<host::AudioFileWriter>
    openForWriting(const QString& path, const model::WriterSettings& settings) override;

    /// Runs `work` on a thread of the host's own (joined at destruction).
    void runElsewhere(std::function<void()> work);

private:
    friend class FakeInstance;
    friend class FakeOfflineEngine;
    friend class FakeRealtimeEngine;
    friend class FakePlayerNode;
    friend class FakeWriter;

    mutable std::mutex m_mutex;
    std::vector<FakePlugin> m_plugins;
    QMap<QString, FakeAudioFile> m_files;
    QMap<QString, FakeWrittenFile> m_written;
    std::vector<std::thread> m_threads;
    std::atomic<int> m_liveInstances{0};
    std::atomic<int> m_runningEngines{0};
    FakeRealtimeEngine* m_realtimeEngine = nullptr;
    FakePlayerNode* m_player = nullptr;
};

/// A fake plugin instance; processes blocks in place with its processor.
class FakeInstance : public host::PluginInstance {
public:
    FakeInstance(FakeHost& host, FakePlugin plugin);
    ~FakeInstance() override;

    const FakePlugin& plugin() const { return m_plugin; }
    std::optional<host::AudioFormat> inputFormat() const { return m_inputFormat; }
    std::optional<host::AudioFormat> outputFormat() const { return m_outputFormat; }
    void process(float* const* channels, int channelCount, qint64 frames);

    std::optional<host::PropertyDictionary> fullState() const override;
    void setFullState(const host::PropertyDictionary& state) override;
    void setBypass(bool bypass) override { m_bypass = bypass; }
    bool bypass() const override { return m_bypass; }
    int inputBusCount() const override { return m_plugin.inputBusses; }
    int outputBusCount() const override { return m_plugin.outputBusses; }
    bool setInputFormat(int bus, const host::AudioFormat& format) override;
    bool setOutputFormat(int bus, const host::AudioFormat& format) override;
    double latency() const override { return m_plugin.latency; }
    double tailTime() const override { return m_plugin.tailTime; }
    QList<host::PluginParameter> parameters() const override;
    bool setParameter(const QString& symbol, float value) override;
    void requestEditorView(EditorCompletion completion) override;

private:
    bool accepts(const host::AudioFormat& format) const;

    FakeHost& m_host;
    FakePlugin m_plugin;
    std::optional<host::PropertyDictionary> m_state;
    mutable std::mutex m_parameterMutex;
    QList<host::PluginParameter> m_parameters;
    std::atomic<bool> m_bypass{false};
    std::optional<host::AudioFormat> m_inputFormat;
    std::optional<host::AudioFormat> m_outputFormat;
    FakeProcessor m_processor;
};

/// The engines' graph bookkeeping, shared by both fake engines.
class FakeGraph {
public:
    struct NamedNode : host::AudioNode {
        explicit NamedNode(QString n) : name(std::move(n)) {}
        QString name;
    };

    void attach(host::AudioNode& node);
    void detach(host::AudioNode& node);
    void connect(host::AudioNode& from, host::AudioNode& to, const host::AudioFormat& format);
    void disconnectOutput(host::AudioNode& node);
    bool isAttached(const host::AudioNode& node) const;
    /// The node `from` feeds, or null.
    host::AudioNode* next(const host::AudioNode& from) const;
    std::optional<host::AudioFormat> formatFrom(const host::AudioNode& from) const;
    /// Names along the connections from `start`: plugin names, "player",
    /// "input", "mixer".
    QStringList route(const host::AudioNode& start) const;

    NamedNode mixer{QStringLiteral("mixer")};

private:
    struct Edge {
        host::AudioNode* to;
        host::AudioFormat format;
    };
    std::set<const host::AudioNode*> m_attached;
    std::map<const host::AudioNode*, Edge> m_edges;
};

class FakeRealtimeEngine : public host::RealtimeEngine {
public:
    explicit FakeRealtimeEngine(FakeHost& host) : m_host(host) {}
    ~FakeRealtimeEngine() override;

    const FakeGraph& graph() const { return m_graph; }
    bool isRunning() const { return m_running; }
    int starts() const { return m_starts; }

    void attach(host::AudioNode& node) override { m_graph.attach(node); }
    void detach(host::AudioNode& node) override { m_graph.detach(node); }
    void connect(host::AudioNode& from, host::AudioNode& to,
                 const host::AudioFormat& format) override
    {
        m_graph.connect(from, to, format);
    }
    void disconnectOutput(host::AudioNode& node) override { m_graph.disconnectOutput(node); }
    host::AudioNode& mainMixer() override { return m_graph.mixer; }
    void prepare() override {}
    void start() override;
    void stop() override;

private:
    FakeHost& m_host;
    FakeGraph m_graph;
    bool m_running = false;
    int m_starts = 0;
};

/// A player whose buffers play only when the test says so.
class FakePlayerNode : public host::PlayerNode {
public:
    explicit FakePlayerNode(FakeHost& host) : m_host(host) {}
    ~FakePlayerNode() override;

    bool isPlaying() const { return m_playing; }
    int queued() const;
    /// A copy of the samples of queued buffer `index`, one vector per channel.
    std::vector<std::vector<float>> queuedSamples(int index) const;
    /// Plays the first queued buffer to its end: advances the player time and
    /// runs its completion on another thread. False when nothing is queued.
    bool finishNext();
    /// What playerTime() reports.
    void setPlayerTime(std::optional<qint64> frames) { m_time = frames; }

    void schedule(host::AudioBuffer buffer, Completion completion) override;
    void play() override;
    void stop() override;
    std::optional<qint64> playerTime() const override { return m_time; }

private:
    struct Scheduled {
        host::AudioBuffer buffer;
        Completion completion;
    };
    FakeHost& m_host;
    mutable std::mutex m_mutex;
    std::vector<Scheduled> m_queue;
    bool m_playing = false;
    std::optional<qint64> m_time;
};

} // namespace tolvex::testing
