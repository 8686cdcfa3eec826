#pragma once

#include "host/AudioHost.h"
#include "render/RenderError.h"
#include "render/RenderJob.h"
#include "render/RenderResult.h"

#include <exception>
#include <functional>
#include <stop_token>

namespace tolvex::render {

/// Takes progress fractions in 0...1, about a hundred per file and a final
/// 1.0, besides at least one every 2^20 frames of a pass that runs no plugin
/// (see ProgressSteps); called on the rendering thread.
using ProgressCallback = std::function<void(double)>;

/// Renders the whole job on the calling thread: reads the source, runs it
/// through fresh instances of the job's plugins and writes the target; the
/// encoder writes on a thread of the render's own, ended before it returns.
/// Returns where the file stands: the target, or the name it moved on to
/// when the target was taken meanwhile (see RenderJob::targetNumber); and its
/// loudness, measured as it was written (M4A: on the decoded file after, in
/// the last tenth of the progress; a stop requested then leaves the file in
/// place without figures).
/// An album's first pass (RenderJob::album) writes no output: it returns
/// what it kept in the scratch file; its second runs no plugin.
/// Throws RenderError (also when the source delivers fewer frames than it
/// announced), the host's HostError unchanged, or RenderCancelled when
/// `stop` was requested before a block. On any failure no file is left
/// under the target's name nor any other. Never call it on the GUI thread.
RenderResult renderFile(host::AudioHost& host, const RenderJob& job,
                        const ProgressCallback& progress, std::stop_token stop = {});

} // namespace tolvex::render
