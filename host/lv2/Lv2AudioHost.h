#pragma once

#include "host/AudioHost.h"
#include "host/engine/Outputs.h"

#include <functional>
#include <memory>

namespace tolvex::host {

/// The real audio host: LV2 plugins through lilv (the plugins on LV2_PATH,
/// or lilv's default folders), audio files through libsndfile and FFmpeg,
/// loudness meters through libebur128, the offline engine of the export, and
/// the real-time engine of the preview, which plays through the output
/// `makeOutput` gives it (the app gives the sound device, tests the null
/// output). One per process.
///
/// The installed plugins are scanned when first asked about and again on
/// each rescan(). Files plugins make for their state live in a temporary
/// folder that goes when the host and the last of its instances have gone.
class Lv2AudioHost : public AudioHost {
public:
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

    explicit Lv2AudioHost(OutputFactory makeOutput = [] { return makeNullOutput(); });
    ~Lv2AudioHost() override;

    /// The catalogue entry of the plugin with this URI; nothing when it is
    /// not installed or not listed.
    std::optional<model::PluginInfo> find(const QString& uri);
    /// The URI of the listed plugin with these codes; empty when there is none.
    QString uri(const model::PluginId& codes);

    QList<model::PluginInfo> components(quint32 type) override;
    void rescan() override;
    void instantiate(const model::PluginId& codes, InstantiationCompletion completion) override;
    std::unique_ptr<RealtimeEngine> makeRealtimeEngine() override;
    std::unique_ptr<PlayerNode> makePlayerNode() override;
    std::unique_ptr<OfflineEngine> makeOfflineEngine() override;
    std::unique_ptr<AudioFileReader> openForReading(const QString& path) override;
    std::unique_ptr<AudioFileWriter> openForWriting(const QString& path,
                                                    const model::WriterSettings& settings,
                                                    const AudioTags& tags) override;
    std::unique_ptr<LoudnessMeter> makeLoudnessMeter(const AudioFormat& format,
                                                     MeasuredFor purpose) override;
    std::unique_ptr<ScratchAudio> makeScratchAudio(const QString& path,
                                                   const AudioFormat& format) override;
    std::unique_ptr<ScratchLease> leaseScratch(const QString& path) override;
    std::unique_ptr<ScratchAudio> openScratchAudio(const QString& scratch, const QString& path,
                                                   const AudioFormat& format) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace tolvex::host
