#pragma once

namespace tolvex::host {

/// Something an engine can attach and connect: a plugin instance, a player,
/// or one of the engine's own nodes (input, main mixer). A node is owned by
/// whoever made it and must be detached from its engine before it dies.
class AudioNode {
public:
    virtual ~AudioNode() = default;

protected:
    AudioNode() = default;
    AudioNode(const AudioNode&) = delete;
    AudioNode& operator=(const AudioNode&) = delete;
};

} // namespace tolvex::host
