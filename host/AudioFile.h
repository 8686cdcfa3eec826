#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioFormat.h"
#include "host/AudioTags.h"

#include <QtGlobal>

namespace tolvex::host {

/// An audio file open for reading, decoded to the standard format at the
/// file's own rate and channel count. Used by one thread at a time.
class AudioFileReader {
public:
    virtual ~AudioFileReader() = default;

    /// The format reads deliver; its rate and channel count are the file's own.
    virtual AudioFormat processingFormat() const = 0;
    /// Length in frames, as a listener hears it: without the encoder delay
    /// and padding the container or stream signals. A stream that ends early
    /// (a length its header only estimated) shortens it when the end is read.
    virtual qint64 length() const = 0;
    /// The next frame a read delivers.
    virtual qint64 framePosition() const = 0;
    /// What the file says about its recording; read when asked, so only
    /// callers that copy tags pay for them. None by default.
    virtual AudioTags tags() const { return {}; }
    /// Moves the read position, sample-accurately; limited to 0...length().
    /// Throws HostError when a damaged file cannot be positioned.
    virtual void setFramePosition(qint64 frame) = 0;
    /// Reads up to `frames` frames (at most the buffer's capacity) into the
    /// buffer, sets its frame length to what was delivered and advances the
    /// position by it; 0 frames at the end. Throws HostError.
    virtual void read(AudioBuffer& buffer, qint64 frames) = 0;
};

/// An audio file being written from standard-format buffers. Nothing stands
/// under the file's name until finish() has completed it: all or nothing,
/// also after a crash or a power cut, and never over an existing file. A
/// writer released before its file is in place removes what it wrote.
class AudioFileWriter {
public:
    virtual ~AudioFileWriter() = default;

    /// Appends the buffer's valid frames. Non-finite samples (NaN, ±Inf) are
    /// written as 0. Throws HostError.
    virtual void write(const AudioBuffer& buffer) = 0;
    /// Writes what remains (headers, trailer), makes the file durable and
    /// puts it in place under the path it was created for. Throws NameTaken
    /// when something took that name meanwhile: the complete file then waits
    /// for placeAt(). Throws HostError on any other failure.
    virtual void finish() = 0;
    /// After finish() threw NameTaken: puts the complete file in place under
    /// the file name of `path` in the same folder instead. Throws NameTaken
    /// when that name is taken too, HostError on any other failure.
    virtual void placeAt(const QString& path) = 0;
};

} // namespace tolvex::host
