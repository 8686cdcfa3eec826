#pragma once

#include "host/AudioOutput.h"

#include <memory>

namespace tolvex::host {

/// Consumes blocks of `blockFrames` frames at real-time pace on a thread of
/// its own: for machines without a sound device, and for the tests. With
/// `forcedRate` > 0 it opens at that rate whatever is asked.
std::unique_ptr<AudioOutput> makeNullOutput(qint64 blockFrames = 256, double forcedRate = 0);

/// The default output device through PortAudio.
std::unique_ptr<AudioOutput> makePortAudioOutput();

/// The session's sound server (PulseAudio, or PipeWire's PulseAudio
/// service), through its client library. Opening throws HostError when no
/// server answers.
std::unique_ptr<AudioOutput> makePulseOutput();

/// The session's PipeWire server, spoken to natively; null when no PipeWire
/// server takes the connection. Opening throws HostError when the server
/// has no sink or refuses the stream.
std::unique_ptr<AudioOutput> makePipeWireOutput();

/// The first output that opens: the session's sound server (PipeWire
/// natively, else through the PulseAudio protocol), else
/// PortAudio's default device (ALSA, JACK), else the null output.
std::unique_ptr<AudioOutput> makeDeviceOutput();

} // namespace tolvex::host
