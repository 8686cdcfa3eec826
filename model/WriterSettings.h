#pragma once

#include "model/PluginInfo.h"

#include <optional>

namespace tolvex::model {

/// Format code of linear PCM ("lpcm").
inline constexpr quint32 linearPCMFormat = fourCC("lpcm");
/// Format code of AAC ("aac ").
inline constexpr quint32 aacFormat = fourCC("aac ");

/// What the audio file writer is told to produce. The container follows from
/// the target's extension; these settings only say what goes into it. Fields
/// that do not apply to a format are absent: AAC carries a bit rate and no
/// PCM fields; PCM carries the four PCM fields and no bit rate.
struct WriterSettings {
    double sampleRate = 0;
    int channels = 0;
    quint32 formatID = linearPCMFormat;
    std::optional<int> encoderBitRate;    ///< bit/s, AAC only
    std::optional<int> bitDepth;          ///< PCM only
    std::optional<bool> isFloat;          ///< PCM only
    std::optional<bool> isBigEndian;      ///< PCM only
    std::optional<bool> isNonInterleaved; ///< PCM only; always false

    friend bool operator==(const WriterSettings&, const WriterSettings&) = default;
};

} // namespace tolvex::model
