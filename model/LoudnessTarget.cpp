#include "model/LoudnessTarget.h"

#include <algorithm>

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

TargetGain albumGain(const std::vector<AlbumShare>& files, const LoudnessTarget& target)
{
    std::vector<const GatingBlocks*> blocks;
    Loudness together;
    for (const AlbumShare& file : files) {
        blocks.push_back(&file.blocks);
        if (file.truePeak)
            together.truePeak =
                std::max(together.truePeak.value_or(*file.truePeak), *file.truePeak);
    }
    together.integrated = integratedLoudness(blocks);
    return targetGain(together, target);
}

} // namespace tolvex::model
