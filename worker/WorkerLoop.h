#pragma once

#include "host/AudioHost.h"
#include "render/RenderJob.h"
#include "worker/ReportPipe.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <stop_token>
#include <thread>

namespace tolvex::worker {

/// The worker's life: reads requests from standard input, renders one file
/// at a time on a thread of its own and reports on the pipe, ticking a few
/// times a second while a render goes on (see TickReport). Runs on the main
/// thread.
class WorkerLoop {
public:
    WorkerLoop(host::AudioHost& host, ReportPipe& reports) : m_host(host), m_reports(reports) {}
    /// Cancels a render going on and waits for it.
    ~WorkerLoop();

    /// Runs until standard input ends (the parent closed it or is gone); a
    /// render going on then is cancelled, its output removed. Returns the
    /// exit status.
    int run();

private:
    void take(QByteArrayView line);
    void startRender(render::RenderJob job);
    /// Joins the rendering thread once its render has ended.
    void collect();
    void tick();

    host::AudioHost& m_host;
    ReportPipe& m_reports;
    QByteArray m_input; ///< read, not yet a whole line
    std::stop_source m_stop;
    std::atomic<bool> m_ended{false};
    std::thread m_render; // last: joined before the rest goes
};

} // namespace tolvex::worker
