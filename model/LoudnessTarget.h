#pragma once

#include "model/GatingBlocks.h"
#include "model/Loudness.h"

#include <optional>
#include <vector>

namespace tolvex::model {

/// What a run normalises its files to, when asked: an integrated loudness,
/// reached with one gain per file, lowered where needed so that the true
/// peak stays at or below the ceiling. A gain, never a limiter. As an album,
/// the run gives all its files one gain: their loudness measured together
/// meets the target, and their level differences stay as they are.
struct LoudnessTarget {
    double loudness = -16; ///< LUFS
    double ceiling = -1;   ///< dBTP
    bool album = false;

    friend bool operator==(const LoudnessTarget&, const LoudnessTarget&) = default;
};

/// The gain for audio that measures `measured`, and how far the ceiling
/// keeps it below the target.
struct TargetGain {
    double gain = 0;                 ///< dB
    std::optional<double> shortfall; ///< LU below the target; absent when met

    friend bool operator==(const TargetGain&, const TargetGain&) = default;
};

/// The gain that brings `measured` to the target, lowered so that its true
/// peak stays at or below the ceiling; 0 dB for audio without an integrated
/// loudness (too short, or silent).
TargetGain targetGain(const Loudness& measured, const LoudnessTarget& target);

/// What one file brings to an album's gain.
struct AlbumShare {
    GatingBlocks blocks;
    std::optional<double> truePeak; ///< dBTP; none for digital silence

    friend bool operator==(const AlbumShare&, const AlbumShare&) = default;
};

/// The one gain for all the files of an album: the one that brings their
/// integrated loudness measured together (see integratedLoudness) to the
/// target, lowered so that the loudest true peak among them stays at or
/// below the ceiling; 0 dB when together they have no integrated loudness.
TargetGain albumGain(const std::vector<AlbumShare>& files, const LoudnessTarget& target);

} // namespace tolvex::model
