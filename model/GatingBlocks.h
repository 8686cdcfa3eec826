#pragma once

#include <optional>
#include <vector>

namespace tolvex::model {

/// The gating blocks of a stretch of audio (ITU-R BS.1770-4: 400 ms, each
/// 100 ms after the last) that pass the absolute gate of −70 LUFS, each as
/// its channel-weighted mean square after the K filter: what the integrated
/// loudness of several stretches measured as one is made of. In the order
/// they were measured.
using GatingBlocks = std::vector<double>;

/// The integrated loudness of all the blocks together, LUFS: the relative
/// gate (10 LU below their mean) applied over the union of every stretch's
/// blocks, as libebur128's ebur128_loudness_global_multiple does. None
/// without a block.
std::optional<double> integratedLoudness(const std::vector<const GatingBlocks*>& stretches);

/// The mean square of a block that measures `lufs`, and back.
double blockEnergy(double lufs);
double blockLoudness(double energy);

/// The absolute gate as a block's mean square.
double absoluteGateEnergy();

} // namespace tolvex::model
