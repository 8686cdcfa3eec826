#pragma once

#include <QString>

#include <optional>

namespace tolvex::model {

/// The loudness of one written file, as it holds it: integrated loudness,
/// loudness range and true peak after ITU-R BS.1770 and EBU R 128. A figure
/// that is not defined for the file is absent.
struct Loudness {
    /// Integrated loudness, LUFS; absent for a file shorter than one gating
    /// block of 0.4 s (see tooShort) and for one that is silent throughout.
    std::optional<double> integrated;
    /// Loudness range, LU; absent where the integrated loudness is.
    std::optional<double> range;
    /// True peak, 4× oversampled, dBTP; absent for digital silence.
    std::optional<double> truePeak;
    /// Shorter than 0.4 s: too short for an integrated loudness.
    bool tooShort = false;
    /// When the file was normalised to a loudness target and the true-peak
    /// ceiling kept it below: by how much, LU.
    std::optional<double> belowTarget = std::nullopt;

    friend bool operator==(const Loudness&, const Loudness&) = default;
};

/// A level in German notation with one decimal: "−16,0", "0,0", "3,1"
/// (the minus sign U+2212; values that round to zero have none).
QString levelText(double value);

/// The figures for people: "−16,0 LUFS · LRA 4,2 LU · −1,2 dBTP";
/// "zu kurz für eine Lautheit · −3,0 dBTP" for a file under 0.4 s, "Stille"
/// for a silent one. The range is left out where it is absent. A file the
/// true-peak ceiling kept below its target ends in "· 1,3 LU unter dem Ziel
/// (True-Peak-Grenze)".
QString loudnessText(const Loudness& loudness);

} // namespace tolvex::model
