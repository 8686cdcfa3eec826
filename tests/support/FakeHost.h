#pragma once

#include "host/AudioHost.h"
#include "tests/support/ManualOutput.h"

#include <QMap>
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
/// Passes the input and, once it falls silent, puts out `level` for `frames`
/// more frames: a tail of known length.
FakeProcessorFactory ringProcessor(qint64 frames, float level);

/// A plugin the fake host lists and instantiates; its instances have no
/// parameters and no editor view.
struct FakePlugin {
    model::PluginInfo info;
    double latency = 0;               ///< seconds
    double tailTime = 0;              ///< seconds
    std::set<int> acceptedChannels{}; ///< empty takes any
    bool failsToInstantiate = false;
    host::PropertyDictionary state{}; ///< what fullState() reports besides "uri"
    FakeProcessorFactory processor{}; ///< null passes audio through
};

/// A file the fake reader serves from memory, one vector per channel.
struct FakeAudioFile {
    double sampleRate = 48000;
    std::vector<std::vector<float>> channels;
    std::optional<qint64> failReadAt{}; ///< a read that would deliver this frame fails
};

/// What a fake writer received.
struct FakeWrittenFile {
    model::WriterSettings settings;
    std::vector<std::vector<float>> channels;
    bool finished = false;
};

/// An AudioHost held in memory, for the render, chain and session logic. Its
/// engines and player are the real ones running the fake instances; the
/// real-time engine plays into a ManualOutput the test pumps. A finished
/// writer puts an empty marker file at its path, never over anything (as the
/// real host puts its file in place), so tests see which outputs came to be.
/// Completions run on threads of the host's own, joined when it is destroyed.
class FakeHost : public host::AudioHost {
public:
    ~FakeHost() override;

    void addPlugin(FakePlugin plugin);
    void addFile(const QString& path, FakeAudioFile file);
    /// Makes the next offline engines refuse the input they are given.
    bool refuseManualRenderingInput = false;
    /// The offline render call with this index (0-based, per engine) returns
    /// the given status instead of rendering.
    std::optional<std::pair<int, host::RenderStatus>> renderStatusAt;
    /// A writer fails once this many frames have been written to it.
    std::optional<qint64> failWriteAfterFrames;

    std::optional<FakeWrittenFile> written(const QString& path) const;
    int liveInstances() const { return m_liveInstances; }
    /// For each instance made so far, gone ones too, in the order made: the
    /// threads that prepared or ran it.
    std::vector<std::set<std::thread::id>> instanceThreads() const;
    /// The threads preparePluginThread() was called on.
    std::set<std::thread::id> preparedThreads() const;
    /// How many writers openForWriting has made.
    int writersMade() const { return m_writersMade; }
    int runningEngines() const { return m_runningEngines; } ///< offline ones
    /// The output of the real-time engine made last; it lives as long as that engine.
    ManualOutput* output() const { return m_output; }

    QList<model::PluginInfo> components(quint32 type) override;
    void instantiate(const model::PluginId& codes, InstantiationCompletion completion) override;
    std::unique_ptr<host::RealtimeEngine> makeRealtimeEngine() override;
    std::unique_ptr<host::PlayerNode> makePlayerNode() override;
    std::unique_ptr<host::OfflineEngine> makeOfflineEngine() override;
    std::unique_ptr<host::AudioFileReader> openForReading(const QString& path) override;
    std::unique_ptr<host::AudioFileWriter> openForWriting(const QString& path,
                                                          const model::WriterSettings& settings,
                                                          const host::AudioTags& tags) override;
    /// The real meter: what the fake files hold is measured as it is.
    std::unique_ptr<host::LoudnessMeter> makeLoudnessMeter(const host::AudioFormat& format,
                                                           host::MeasuredFor purpose) override;
    /// The real scratch file, beside the fake output's path.
    std::unique_ptr<host::ScratchAudio> makeScratchAudio(const QString& path,
                                                         const host::AudioFormat& format) override;
    /// Notes the thread; nothing to set up.
    std::unique_ptr<host::PluginThread> preparePluginThread() override;
    /// The real leased scratch files, beside the fake output's path.
    std::unique_ptr<host::ScratchLease> leaseScratch(const QString& path) override;
    std::unique_ptr<host::ScratchAudio> openScratchAudio(const QString& scratch,
                                                         const QString& path,
                                                         const host::AudioFormat& format) override;

private:
    friend class FakeInstance;
    friend class FakeOfflineEngine;
    friend class FakeWriter;
    struct ThreadLog;
    /// Runs `work` on a thread of the host's own (joined at destruction).
    void runElsewhere(std::function<void()> work);

    mutable std::mutex m_mutex;
    std::vector<FakePlugin> m_plugins;
    QMap<QString, FakeAudioFile> m_files;
    QMap<QString, FakeWrittenFile> m_written;
    std::vector<std::shared_ptr<ThreadLog>> m_threadLogs;
    std::set<std::thread::id> m_preparedThreads;
    std::vector<std::thread> m_threads;
    std::atomic<int> m_liveInstances{0};
    std::atomic<int> m_runningEngines{0};
    std::atomic<int> m_writersMade{0};
    ManualOutput* m_output = nullptr;
};

} // namespace tolvex::testing
