#include "session/ThreadLauncher.h"

namespace tolvex::session {

ThreadLauncher::ThreadLauncher(host::AudioHost& host, QObject* parent)
    : QObject(parent), m_host(host)
{}

ThreadLauncher::~ThreadLauncher()
{
    m_stop.request_stop();
    m_workers.waitForDone(); // results posted to this object die with it
}

void ThreadLauncher::begin(int jobs)
{
    m_stop = std::stop_source();
    m_workers.setMaxThreadCount(jobs);
}

void ThreadLauncher::launch(render::RenderJob job, Progress progress, Finished finished)
{
    // Progress and the outcome arrive on the worker and are posted here; the
    // worker itself ends before this object does (see the destructor).
    auto post = [this, progress = std::move(progress)](double fraction) {
        QMetaObject::invokeMethod(
            this, [progress, fraction] { progress(fraction); }, Qt::QueuedConnection);
    };
    m_workers.start([this, job = std::move(job), post = std::move(post),
                     finished = std::move(finished), stop = m_stop.get_token()] {
        const RenderOutcome outcome = renderOutcome(m_host, job, post, stop);
        QMetaObject::invokeMethod(
            this, [finished, outcome] { finished(outcome); }, Qt::QueuedConnection);
    });
}

} // namespace tolvex::session
