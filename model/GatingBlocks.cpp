#include "model/GatingBlocks.h"

#include <cmath>

namespace tolvex::model {

namespace {

/// BS.1770's offset between a mean square and its loudness.
constexpr double offset = -0.691;
constexpr double absoluteGate = -70;
constexpr double relativeGate = -10;

} // namespace

double blockEnergy(double lufs)
{
    return std::pow(10.0, (lufs - offset) / 10.0);
}

double blockLoudness(double energy)
{
    return offset + 10.0 * std::log10(energy);
}

double absoluteGateEnergy()
{
    return blockEnergy(absoluteGate);
}

std::optional<double> integratedLoudness(const std::vector<const GatingBlocks*>& stretches)
{
    double sum = 0;
    long long count = 0;
    for (const GatingBlocks* blocks : stretches)
        for (double energy : *blocks) {
            sum += energy;
            ++count;
        }
    if (count == 0)
        return std::nullopt;
    const double threshold = sum / double(count) * std::pow(10.0, relativeGate / 10.0);
    sum = 0;
    count = 0;
    for (const GatingBlocks* blocks : stretches)
        for (double energy : *blocks)
            if (energy >= threshold) {
                sum += energy;
                ++count;
            }
    if (count == 0)
        return std::nullopt;
    return blockLoudness(sum / double(count));
}

} // namespace tolvex::model
