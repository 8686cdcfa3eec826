#pragma once

#include "host/AudioBuffer.h"

namespace tolvex::host {

/// A node the engines run block by block: a plugin instance of the real
/// host. Configuration calls come while no engine renders the node; process
/// runs on the rendering (or audio) thread.
class ProcessingNode {
public:
    virtual ~ProcessingNode() = default;

    /// Gets ready for blocks of up to maxFrames frames from `input` into
    /// `output`. Throws HostError when the node cannot work in these formats.
    /// `realtime` tells whether process will run on the real-time thread.
    virtual void prepare(const AudioFormat& input, const AudioFormat& output, qint64 maxFrames,
                         bool realtime) = 0;

    /// Processes `frames` frames of `input` into `output` (separate buffers in
    /// the prepared formats). Never allocates, locks or waits when prepared
    /// for real time.
    virtual void process(const AudioBuffer& input, AudioBuffer& output, qint64 frames) noexcept = 0;
};

} // namespace tolvex::host
