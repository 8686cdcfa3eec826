#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioEngine.h"
#include "host/AudioFile.h"
#include "host/PluginInstance.h"

#include <vector>

namespace tolvex::render {

// The block routines of the render; the preview uses the first two as well.

/// A buffer for `frames` frames in `format`. Throws RenderError when there
/// is no memory for it.
host::AudioBuffer makeRenderBuffer(const host::AudioFormat& format, qint64 frames);

/// Offers `format` to every instance in order, on input bus 0 and output bus
/// 0 where it has them. False at the first refusal; true for an empty list.
bool applyChainFormat(const host::AudioFormat& format,
                      const std::vector<host::PluginInstance*>& instances);

/// Fills `target` with `frames` frames read from `file` through `readBuffer`:
/// a target channel beyond the file's repeats its last channel, file
/// channels beyond the target's are dropped, and frames past the end of the
/// file are silence. Throws the reader's HostError.
void fillChainBuffer(host::AudioBuffer& target, qint64 frames, host::AudioFileReader& file,
                     host::AudioBuffer& readBuffer);

/// Throws RenderError unless an engine's status says the block was rendered.
void throwOnFailure(host::RenderStatus status);

/// The largest absolute sample over all channels and valid frames; 0 when
/// there are none.
float peakLevel(const host::AudioBuffer& buffer);

/// Copies the render buffer's frames from `skip` on into `write`. With other
/// channel counts every output channel gets the mean of all render channels.
void copyForOutput(const host::AudioBuffer& render, qint64 skip, host::AudioBuffer& write);

} // namespace tolvex::render
