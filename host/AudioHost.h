#pragma once

#include "host/AudioEngine.h"
#include "host/AudioFile.h"
#include "host/HostError.h"
#include "host/LoudnessMeter.h"
#include "host/PluginInstance.h"
#include "host/PluginThread.h"
#include "host/ScratchAudio.h"
#include "host/ScratchLease.h"
#include "model/AudioItem.h"
#include "model/PluginInfo.h"
#include "model/WriterSettings.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace tolvex::host {

/// What an instantiation delivers: the instance, or why there is none.
using Instantiation = std::variant<std::unique_ptr<PluginInstance>, HostError>;

/// Everything the program asks of the audio system: the plugin registry and
/// instances, the real-time and the offline engine, audio files and loudness
/// meters. The renderer, the chain and the session know only this interface;
/// the real host (LV2, libsndfile, FFmpeg, PortAudio, libebur128) and the
/// tests' fake implement it.
///
/// Thread rules: components() is called on the GUI thread. instantiate() and
/// the file and engine factories may be called from any thread; what they
/// return is then used by one thread at a time.
class AudioHost {
public:
    virtual ~AudioHost() = default;

    /// The installed effect plugins of one component type, synchronously, in
    /// the registry's own order.
    virtual QList<model::PluginInfo> components(quint32 type) = 0;

    /// Queries the installed plugins afresh: components() lists from then on
    /// what is installed now, newly installed plugins included and removed
    /// ones gone. Synchronous, on the GUI thread. Instances made before stay
    /// valid and keep working. The first components() needs no rescan before
    /// it. By default nothing: a registry that is always current.
    virtual void rescan() {}

    /// Makes a new instance. The completion runs exactly once, on a thread
    /// other than the caller's, with the instance or a HostError.
    using InstantiationCompletion = std::function<void(Instantiation)>;
    virtual void instantiate(const model::PluginId& codes, InstantiationCompletion completion) = 0;

    virtual std::unique_ptr<RealtimeEngine> makeRealtimeEngine() = 0;
    virtual std::unique_ptr<PlayerNode> makePlayerNode() = 0;
    virtual std::unique_ptr<OfflineEngine> makeOfflineEngine() = 0;

    /// Opens an audio file for reading. Throws HostError naming the file.
    virtual std::unique_ptr<AudioFileReader> openForReading(const QString& path) = 0;
    /// Starts a new audio file for `path` (container by its extension: "wav",
    /// "aif", "m4a"); it takes that name when finished, never over anything
    /// standing there (see AudioFileWriter). The tags go into the file as far
    /// as its container holds them. Throws HostError naming the file.
    virtual std::unique_ptr<AudioFileWriter> openForWriting(const QString& path,
                                                            const model::WriterSettings& settings,
                                                            const AudioTags& tags) = 0;
    /// A fresh loudness meter for audio in `format`, measuring `purpose`.
    /// Throws HostError.
    virtual std::unique_ptr<LoudnessMeter> makeLoudnessMeter(const AudioFormat& format,
                                                             MeasuredFor purpose) = 0;
    /// Scratch audio in `format` beside the output `path`, for a render in
    /// two passes. Throws HostError naming `path`.
    virtual std::unique_ptr<ScratchAudio> makeScratchAudio(const QString& path,
                                                           const AudioFormat& format) = 0;

    /// Sets up the calling thread to run plugins, before it runs any: the
    /// thread keeps what this returns while it runs them. The render calls
    /// it on each thread it starts for plugins (the stages of a chain); the
    /// thread that renders gets the same from whoever starts the render. By
    /// default nothing: a plain thread will do.
    virtual std::unique_ptr<PluginThread> preparePluginThread() { return nullptr; }
    /// A scratch file beside the output `path` that this process holds for
    /// renders whose passes run apart (see ScratchLease). Throws HostError
    /// naming `path`.
    virtual std::unique_ptr<ScratchLease> leaseScratch(const QString& path) = 0;
    /// Scratch audio in `format` in the leased file at `scratch`, for the
    /// output `path` (its errors name that): what the file holds is read
    /// back from its first frame, and what is written goes after it. The
    /// file stays when the object goes: removing it is the lease's business.
    /// Throws HostError.
    virtual std::unique_ptr<ScratchAudio>
    openScratchAudio(const QString& scratch, const QString& path, const AudioFormat& format) = 0;
};

/// An item for the file list, read through the host: the file's rate,
/// channel count and duration, a fresh id, status waiting. Nothing when the
/// file cannot be opened as audio.
std::optional<model::AudioItem> readAudioItem(AudioHost& host, const QUrl& url);

/// Makes a new instance and waits for it on this thread: for worker and
/// command-line threads, never the GUI thread, whose event loop may be what
/// the completion needs.
Instantiation instantiateAndWait(AudioHost& host, const model::PluginId& codes);

} // namespace tolvex::host
