#pragma once

#include "render/RenderJob.h"
#include "session/RenderOutcome.h"

#include <functional>

namespace tolvex::session {

/// Where the batch run's renders happen: on threads of this process, or in
/// render worker processes that a crashing or hanging plugin cannot take
/// the caller down with. Used on the GUI thread only; every callback comes
/// there, never from within a call of this interface.
class RenderLauncher {
public:
    using Progress = std::function<void(double)>;
    using Finished = std::function<void(const RenderOutcome&)>;

    virtual ~RenderLauncher() = default;

    /// A run starts: at most `jobs` renders are launched before one of them
    /// has finished.
    virtual void begin(int jobs) = 0;
    /// Starts rendering `job` now. `progress` takes fractions in 0…1;
    /// `finished` comes exactly once, also after a cancel, unless the
    /// launcher is destroyed first (then nothing comes).
    virtual void launch(render::RenderJob job, Progress progress, Finished finished) = 0;
    /// Every running render stops soon and finishes as waiting (or as done or
    /// failed, if it ended meanwhile); its partial output is removed.
    virtual void cancel() = 0;
    /// The run has ended and nothing runs: what was kept for it may go.
    virtual void end() {}
};

} // namespace tolvex::session
