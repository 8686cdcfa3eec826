#include "model/LoudnessTarget.h"

namespace tolvex::model {

namespace {

/// Shortfalls below this count as meeting the target.
constexpr double tolerance = 0.005;

} // namespace

TargetGain targetGain(const Loudness& measured, const LoudnessTarget& target)
{
    if (!measured.integrated)
        return {};
    const double wanted = target.loudness - *measured.integrated;
    if (!measured.truePeak || *measured.truePeak + wanted <= target.ceiling)
        return {wanted, std::nullopt};
    const double gain = target.ceiling - *measured.truePeak;
    const double shortfall = wanted - gain;
    return {gain, shortfall >= tolerance ? std::optional(shortfall) : std::nullopt};
}

} // namespace tolvex::model
