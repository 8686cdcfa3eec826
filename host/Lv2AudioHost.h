#pragma once

#include "host/AudioHost.h"

#include <memory>

namespace tolvex::host {

/// The real audio host: LV2 plugins through lilv (the plugins on LV2_PATH,
/// or lilv's default folders), audio files through libsndfile and FFmpeg,
/// the offline engine of the export. One per process.
class Lv2AudioHost : public AudioHost {
public:
    Lv2AudioHost();
    ~Lv2AudioHost() override;

    QList<model::PluginInfo> components(quint32 type) override;
    void instantiate(const ComponentDescription& description,
                     InstantiationCompletion completion) override;
    std::unique_ptr<RealtimeEngine> makeRealtimeEngine() override;
    std::unique_ptr<PlayerNode> makePlayerNode() override;
    std::unique_ptr<OfflineEngine> makeOfflineEngine() override;
    std::unique_ptr<AudioFileReader> openForReading(const QString& path) override;
    std::unique_ptr<AudioFileWriter> openForWriting(const QString& path,
                                                    const model::WriterSettings& settings) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace tolvex::host
