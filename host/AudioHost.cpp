#include "host/AudioHost.h"

namespace tolvex::host {

std::optional<model::AudioItem> readAudioItem(AudioHost& host, const QUrl& url)
{
    try {
        const auto reader = host.openForReading(url.toLocalFile());
        const AudioFormat format = reader->processingFormat();
        return model::AudioItem::make(url, format.sampleRate(), format.channelCount(),
                                      reader->length());
    } catch (const HostError&) {
        return std::nullopt;
    }
}

} // namespace tolvex::host
