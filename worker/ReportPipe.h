#pragma once

#include "session/WorkerProtocol.h"

#include <mutex>

namespace tolvex::worker {

/// The worker's standard output, where its reports to the parent go. Any
/// thread may send; each report is written whole before the next.
class ReportPipe {
public:
    /// Writes the report; false when the parent is gone (from then on
    /// always false).
    bool send(const session::WorkerReport& report);

private:
    std::mutex m_mutex;
    bool m_broken = false;
};

} // namespace tolvex::worker
