#pragma once

#include "host/AudioFormat.h"

#include <QString>

namespace tolvex::host {

/// The lowest rate an audio file is taken to have. Below it the header is
/// damaged: a zeroed AIFF rate reads as 1 Hz and would list a second of
/// sound as half a day.
constexpr double minimumFileRate = 1000;

/// The processing format for a file being opened, from the rate and channel
/// count its header gives. Throws HostError naming the file and both values
/// when audio files do not have them.
AudioFormat fileFormat(const QString& path, int sampleRate, int channels);

} // namespace tolvex::host
