#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioFormat.h"
#include "host/AudioNode.h"

#include <QtGlobal>

#include <functional>
#include <optional>

namespace tolvex::host {

/// A graph of nodes that pulls audio from its sources through the connected
/// nodes into its main mixer. Graph changes are made with the engine
/// stopped. Graph calls come from one thread: the one that made the engine.
class AudioEngine {
public:
    virtual ~AudioEngine() = default;

    virtual void attach(AudioNode& node) = 0;
    /// Detaching also drops every connection of the node.
    virtual void detach(AudioNode& node) = 0;
    /// Feeds the output of `from` into the input of `to`, in `format`.
    /// Throws HostError when the nodes cannot be connected.
    virtual void connect(AudioNode& from, AudioNode& to, const AudioFormat& format) = 0;
    virtual void disconnectOutput(AudioNode& node) = 0;
    /// The engine's mixer, the end of every graph.
    virtual AudioNode& mainMixer() = 0;

    /// Throws HostError with a German description when the engine cannot start.
    virtual void start() = 0;
    /// Harmless when the engine is not running.
    virtual void stop() = 0;
};

/// Plays scheduled buffers, one after another, into its connection.
class PlayerNode : public AudioNode {
public:
    /// Called exactly once per scheduled buffer, on a thread other than the
    /// GUI thread: after the buffer has played, or when stop() dropped it.
    using Completion = std::function<void()>;

    /// Queues a buffer in the connection's format behind all earlier ones.
    virtual void schedule(AudioBuffer buffer, Completion completion) = 0;
    virtual void play() = 0;
    /// Stops playing and drops every queued buffer (their completions still run).
    virtual void stop() = 0;
    /// Frames played since play(), or nothing before the first render after it.
    virtual std::optional<qint64> playerTime() const = 0;
};

/// The engine behind the preview: its main mixer plays through the output
/// device it was made with.
class RealtimeEngine : public AudioEngine {
public:
    /// Gets the graph ready to start without a glitch.
    virtual void prepare() = 0;
    /// False while started on an output that plays into nothing: no sound
    /// server answered and no device opened.
    virtual bool audible() const { return true; }
};

/// Outcome of one offline render call.
enum class RenderStatus {
    success,
    insufficientInput, ///< the input block delivered fewer frames than asked for
    cannotDoNow,       ///< the engine cannot render in the current context
    error,
};

/// The engine behind the export: the caller pulls blocks from it on its own
/// thread, as fast as the plugins allow. render() may be called from another
/// thread than the graph calls, provided the calls never overlap.
class OfflineEngine : public AudioEngine {
public:
    /// Hands over the block the engine reads its input from; the frame count
    /// asked for is passed but may be ignored. Returning nothing means no input.
    using InputBlock = std::function<const AudioBuffer*(qint64 frameCount)>;

    /// Switches to manual rendering of at most maximumFrameCount frames per
    /// call. Throws HostError when refused. Called before start().
    virtual void enableManualRendering(const AudioFormat& format, qint64 maximumFrameCount) = 0;
    /// The format render() delivers; valid after enableManualRendering().
    virtual AudioFormat manualRenderingFormat() const = 0;
    /// The node that delivers what the input block hands over.
    virtual AudioNode& inputNode() = 0;
    /// False when the input node cannot take the format.
    virtual bool setManualRenderingInput(const AudioFormat& format, InputBlock block) = 0;
    /// Renders frameCount frames into `buffer` (manual-rendering format) and
    /// sets its frame length. Throws HostError when the engine reports an error
    /// of its own; a plugin failing inside the graph gives RenderStatus::error.
    virtual RenderStatus render(qint64 frameCount, AudioBuffer& buffer) = 0;
    /// Where this engine's first node stands in the render's whole chain,
    /// when the chain is split over several engines: the positions the
    /// engine reports as running (to a crash handler, a watchdog) count from
    /// there. 0 unless set; called before start().
    virtual void setChainPosition(int first) { (void)first; }
};

} // namespace tolvex::host
