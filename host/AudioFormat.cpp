#include "host/AudioFormat.h"

#include <cmath>

namespace tolvex::host {

std::optional<AudioFormat> AudioFormat::standard(double sampleRate, int channels)
{
    if (!std::isfinite(sampleRate) || sampleRate <= 0 || sampleRate > maxSampleRate)
        return std::nullopt;
    if (channels < 1 || channels > maxChannels)
        return std::nullopt;
    return AudioFormat(sampleRate, channels);
}

} // namespace tolvex::host
