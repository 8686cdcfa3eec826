#pragma once

#include "model/Status.h"

#include <QUrl>
#include <QUuid>

namespace tolvex::model {

/// One imported audio file: its facts, read once at import, and its export
/// status, the only field that changes afterwards. Items are identified by
/// `id`; two imports of the same file are two items.
struct AudioItem {
    QUuid id;
    QUrl url;
    double duration = 0;   ///< seconds
    double sampleRate = 0; ///< the file's own rate, Hz
    int channels = 0;      ///< the file's own channel count
    Status status;

    /// A new item with a fresh random id, status waiting, and the duration
    /// derived from the length in frames (0 when the rate is not positive).
    static AudioItem make(QUrl url, double sampleRate, int channels, qint64 lengthFrames);

    friend bool operator==(const AudioItem&, const AudioItem&) = default;
};

} // namespace tolvex::model
