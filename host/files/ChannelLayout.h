#pragma once

#include <QtGlobal>

namespace tolvex::host {

/// The speaker positions written for a file of `channels` channels, as a
/// WAVE_FORMAT_EXTENSIBLE channel mask (bit 0 front left, 1 front right,
/// 2 front centre, 3 LFE, 4 back left, 5 back right, 8 back centre, 9 side
/// left, 10 side right). 1 is mono (centre), 2 stereo, up to 8 channels the
/// common surround layouts (3.0, 4.0, 5.0, 5.1, 6.1, 7.1); 0 beyond.
quint64 defaultChannelMask(int channels);

} // namespace tolvex::host
