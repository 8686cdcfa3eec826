#pragma once

#include "host/AudioOutput.h"

#include <memory>

namespace tolvex::host {

/// Consumes blocks of `blockFrames` frames at real-time pace on a thread of
/// its own: for machines without a sound device, and for the tests. With
/// `forcedRate` > 0 it opens at that rate whatever is asked.
std::unique_ptr<AudioOutput> makeNullOutput(qint64 blockFrames = 256, double forcedRate = 0);

/// The default output device through PortAudio, with a low-latency buffer.
std::unique_ptr<AudioOutput> makePortAudioOutput();

/// The default output device, or the null output when no device opens.
std::unique_ptr<AudioOutput> makeDeviceOutput();

} // namespace tolvex::host
