#pragma once

#include <QtGlobal>

#include <memory>

namespace tolvex::host {

/// Where the real-time engine's sound goes: a device, or nowhere at real-time
/// pace. The output owns the real-time thread and asks its renderer for each
/// block.
class AudioOutput {
public:
    /// Called on the output's real-time thread.
    class Renderer {
    public:
        virtual ~Renderer() = default;
        /// Fills `frames` frames of every channel (deinterleaved).
        virtual void renderOutput(float* const* channels, int channelCount,
                                  qint64 frames) noexcept = 0;
        /// The output could not keep up (a block came too late).
        virtual void underrun() noexcept = 0;
    };

    virtual ~AudioOutput() = default;

    /// Opens the output for `channels` channels, at `sampleRate` if it can,
    /// else at a rate of its own; returns the rate opened. Throws HostError
    /// with a German description.
    virtual double open(double sampleRate, int channels, Renderer& renderer) = 0;
    /// Starts calling the renderer. Throws HostError.
    virtual void start() = 0;
    /// Stops; when it returns the renderer is not called any more.
    virtual void stop() = 0;
    virtual void close() = 0;

    /// How long a frame rendered now takes to be heard: the output's buffer
    /// and the device's or server's own latency, as they report them; 0 when
    /// unknown or not open. Not for the real-time thread.
    virtual double latency() const { return 0; }
    /// False for an output that plays into nothing.
    virtual bool audible() const { return true; }
};

} // namespace tolvex::host
