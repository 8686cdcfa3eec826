#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioFile.h"

#include <QString>

#include <vector>

namespace tolvex::render {

/// The source's frames for the chain, block after block, in the chain's
/// format (see fillChainBuffer). The first blocks may be read ahead and
/// kept, to measure the chain on them; they are handed out again first.
///
/// The render counts on the length the reader gives before the first read.
/// A stream that ends sooner was cut while it was read, or is damaged:
/// that fails the render, for silence must not stand in for it.
class SourceFeed {
public:
    /// Reads `source`, named `name` in messages, in blocks of up to
    /// `blockFrames`. Throws RenderError when there is no memory to read.
    SourceFeed(host::AudioFileReader& source, QString name, qint64 blockFrames);

    /// The source's length in frames, as the render counts it.
    qint64 length() const { return m_length; }

    /// Reads up to `blocks` whole blocks ahead in `format` (fewer when the
    /// source is shorter; frames past its end are silence) and keeps them.
    /// Before the first fill(). Throws RenderError or the reader's HostError.
    void readAhead(const host::AudioFormat& format, qint64 blocks);
    /// The blocks read ahead.
    const std::vector<host::AudioBuffer>& ahead() const { return m_ahead; }

    /// Fills `target` with the next n frames, n at most a block: from the
    /// blocks read ahead while they last, then from the source. Throws
    /// RenderError or the reader's HostError.
    void fill(host::AudioBuffer& target, qint64 n);

private:
    void read(host::AudioBuffer& target, qint64 n);

    host::AudioFileReader& m_source;
    QString m_name;
    qint64 m_blockFrames;
    qint64 m_length;
    host::AudioBuffer m_read; // the source's frames as read
    std::vector<host::AudioBuffer> m_ahead;
    qint64 m_filled = 0; // frames filled in for the chain so far
};

} // namespace tolvex::render
