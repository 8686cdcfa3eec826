#include "model/AudioItem.h"

namespace tolvex::model {

AudioItem AudioItem::make(QUrl url, double sampleRate, int channels, qint64 lengthFrames)
{
    AudioItem item;
    item.id = QUuid::createUuid();
    item.url = std::move(url);
    item.sampleRate = sampleRate;
    item.channels = channels;
    item.duration = sampleRate > 0 ? double(lengthFrames) / sampleRate : 0.0;
    return item;
}

} // namespace tolvex::model
