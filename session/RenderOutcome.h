#pragma once

#include "host/AudioHost.h"
#include "model/Status.h"
#include "render/Renderer.h"

#include <stop_token>

namespace tolvex::session {

/// How one file's render ended, as the batch run needs to know it.
struct RenderOutcome {
    /// done with the written file (where it went: a name another process
    /// took meanwhile moves it on in its series), failed with the message,
    /// or waiting when the render was cancelled.
    model::Status status;
    /// After an album's first pass that is done: what it kept (its status
    /// then names the target still to be written).
    std::optional<render::RenderResult::Kept> kept = std::nullopt;
};

/// Runs render::renderFile on the calling thread and turns whatever it
/// throws into the outcome; never throws. Both the in-process renders and
/// the render worker process run a file through this.
RenderOutcome renderOutcome(host::AudioHost& host, const render::RenderJob& job,
                            const render::ProgressCallback& progress, std::stop_token stop);

} // namespace tolvex::session
