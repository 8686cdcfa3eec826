#pragma once

#include "host/AudioBuffer.h"
#include "model/GatingBlocks.h"
#include "model/Loudness.h"

namespace tolvex::host {

/// What a meter measures for: its own stream's loudness only, or also the
/// stream's share of a loudness measured over several streams together (an
/// album), for which it keeps the gating blocks. Keeping them takes another
/// pass over every 0.4 s of the audio, so a meter keeps them only when asked.
enum class MeasuredFor { itself, withOthers };

/// Measures the loudness of one stream of audio as it passes: integrated
/// loudness and loudness range (ITU-R BS.1770, EBU R 128, with the standard
/// channel weights) and the true peak, 4× oversampled. Used by one thread at
/// a time.
class LoudnessMeter {
public:
    virtual ~LoudnessMeter() = default;

    /// Adds the buffer's valid frames, in the format the meter was made for.
    /// Throws HostError when the meter cannot take them (out of memory).
    virtual void add(const AudioBuffer& buffer) = 0;
    /// The figures for everything added so far.
    virtual model::Loudness result() const = 0;
    /// The gating blocks of everything added so far, for a loudness measured
    /// over this stream and others together (model::integratedLoudness).
    /// None from a meter made for the stream itself.
    virtual const model::GatingBlocks& gatingBlocks() const = 0;
};

} // namespace tolvex::host
