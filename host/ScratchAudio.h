#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioFile.h"

#include <memory>

namespace tolvex::host {

/// A temporary file of 32-bit float samples beside an output, written once
/// and then read back: the intermediate of a render in two passes. It has no
/// name anyone sees and is removed when the object goes; after a crash, by
/// the next output made in its folder. Used by one thread at a time.
class ScratchAudio {
public:
    virtual ~ScratchAudio() = default;

    /// Appends the buffer's valid frames exactly as they are. Throws HostError.
    virtual void write(const AudioBuffer& buffer) = 0;
    /// Ends writing and reads from the first frame; the reader is valid while
    /// this object lives. Throws HostError.
    virtual std::unique_ptr<AudioFileReader> read() = 0;
};

} // namespace tolvex::host
