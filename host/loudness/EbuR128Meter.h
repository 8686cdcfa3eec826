#pragma once

#include "host/LoudnessMeter.h"

#include <memory>

namespace tolvex::host {

/// A loudness meter for audio in `format`: the loudness on libebur128, the
/// true peak 4× oversampled (2× from 96 kHz on) by TruePeak. Channels are
/// weighted as BS.1770 asks for the file layouts the writers make: 1 and 2
/// channels as left and right, 3 as left, right, centre, 5 and 6 as 5.0 and
/// 5.1 (the LFE channel not counted); other layouts count their first five
/// channels so. Throws HostError when libebur128 cannot be set up.
std::unique_ptr<LoudnessMeter> makeEbuR128Meter(const AudioFormat& format, MeasuredFor purpose);

} // namespace tolvex::host
