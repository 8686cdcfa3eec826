#pragma once

#include "model/Loudness.h"

#include <optional>

namespace tolvex::model {

/// What a run normalises its files to, when asked: an integrated loudness,
/// reached with one gain per file, lowered where needed so that the true
/// peak stays at or below the ceiling. A gain, never a limiter.
struct LoudnessTarget {
    double loudness = -16; ///< LUFS
    double ceiling = -1;   ///< dBTP

    friend bool operator==(const LoudnessTarget&, const LoudnessTarget&) = default;
};

/// The gain for audio that measures `measured`, and how far the ceiling
/// keeps it below the target.
struct TargetGain {
    double gain = 0;                 ///< dB
    std::optional<double> shortfall; ///< LU below the target; absent when met
};

/// The gain that brings `measured` to the target, lowered so that its true
/// peak stays at or below the ceiling; 0 dB for audio without an integrated
/// loudness (too short, or silent).
TargetGain targetGain(const Loudness& measured, const LoudnessTarget& target);

} // namespace tolvex::model
