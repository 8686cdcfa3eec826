#include "worker/WorkerLoop.h"

#include "host/engine/RenderActivity.h"
#include "session/RenderOutcome.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace tolvex::worker {

namespace {

/// Between ticks: often enough for a watchdog of a second or two.
constexpr int tickMilliseconds = 250;

} // namespace

WorkerLoop::~WorkerLoop()
{
    m_stop.request_stop();
    if (m_render.joinable())
        m_render.join();
}

int WorkerLoop::run()
{
    for (;;) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&input, 1, tickMilliseconds);
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready > 0) {
            char buffer[65536];
            const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN))
                return 0; // the destructor cancels what still runs
            if (count > 0)
                m_input.append(buffer, count);
            for (qsizetype end; (end = m_input.indexOf('\n')) >= 0; m_input.remove(0, end + 1))
                take(QByteArrayView(m_input).first(end));
        }
        collect();
        tick();
    }
}

void WorkerLoop::take(QByteArrayView line)
{
    const auto request = session::readRequest(line);
    if (!request)
        return;
    if (auto* job = std::get_if<render::RenderJob>(&*request))
        startRender(std::move(*job));
    else
        m_stop.request_stop();
}

void WorkerLoop::startRender(render::RenderJob job)
{
    // The parent sends a job once the last one has reported its end; the
    // thread that rendered it may still be on its way out.
    if (m_render.joinable())
        m_render.join();
    m_stop = std::stop_source();
    m_ended = false;
    m_render = std::thread([this, job = std::move(job), stop = m_stop]() mutable {
        const auto prepared = m_host.preparePluginThread(); // as the render's own threads are
        auto progress = [this, &stop](double fraction) {
            if (!m_reports.send(session::ProgressReport{fraction}))
                stop.request_stop(); // the parent is gone
        };
        const session::RenderOutcome outcome =
            session::renderOutcome(m_host, job, progress, stop.get_token());
        m_reports.send(session::EndedReport{outcome});
        m_ended = true;
    });
}

void WorkerLoop::collect()
{
    if (m_render.joinable() && m_ended)
        m_render.join();
}

void WorkerLoop::tick()
{
    if (!m_render.joinable())
        return;
    const session::TickReport tick{host::RenderActivity::blocks.load(std::memory_order_relaxed),
                                   host::RenderActivity::runningPosition()};
    if (!m_reports.send(tick))
        m_stop.request_stop();
}

} // namespace tolvex::worker
