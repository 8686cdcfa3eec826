#include "host/AudioHost.h"

#include <future>

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

Instantiation instantiateAndWait(AudioHost& host, const model::PluginId& codes)
{
    std::promise<Instantiation> promise;
    auto result = promise.get_future();
    host.instantiate(codes, [&promise](Instantiation made) { promise.set_value(std::move(made)); });
    return result.get();
}

} // namespace tolvex::host
