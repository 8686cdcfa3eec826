#include "session/BatchRunner.h"

#include "session/ThreadLauncher.h"

#include <algorithm>

namespace tolvex::session {

/// One run's fixed order and what it has counted so far. GUI thread only.
struct BatchRunner::Run {
    QList<QUuid> ids;
    QList<model::PluginState> plugins;
    model::ExportFormat format = model::ExportFormat::wav24;
    std::optional<model::LoudnessTarget> loudness;
    int jobs = 1;
    qsizetype next = 0;
    int running = 0;
    int busy = 0; ///< threads held by the running files
    qint64 exported = 0;
    QSet<QString> taken; ///< output paths of the files being written
    bool cancelled = false;
};

BatchRunner::BatchRunner(host::AudioHost& host, SourceLookup source, PlaceLookup place,
                         QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_place(std::move(place)),
      m_launcher(std::make_unique<ThreadLauncher>(host))
{}

BatchRunner::~BatchRunner()
{
    cancel();
    m_launcher.reset(); // waits for the renders; nothing is reported to this object any more
}

void BatchRunner::setLauncher(std::unique_ptr<RenderLauncher> launcher)
{
    if (!m_run)
        m_launcher = std::move(launcher);
}

void BatchRunner::start(QList<QUuid> ids, QList<model::PluginState> plugins,
                        model::ExportFormat format, int jobs,
                        std::optional<model::LoudnessTarget> loudness)
{
    if (m_run)
        return;
    m_run = std::make_unique<Run>();
    m_run->ids = std::move(ids);
    m_run->plugins = std::move(plugins);
    m_run->format = format;
    m_run->loudness = loudness;
    m_run->jobs = std::clamp(jobs, 1, maxJobs);
    m_launcher->begin(m_run->jobs);
    fill();
}

void BatchRunner::cancel()
{
    if (m_run && !m_run->cancelled) {
        m_run->cancelled = true;
        m_launcher->cancel();
    }
}

void BatchRunner::fill()
{
    // Signals emitted here may cancel the run: it is checked before each file.
    while (m_run && m_run->running < m_run->jobs && m_run->next < m_run->ids.size() &&
           !m_run->cancelled) {
        const QUuid id = m_run->ids[m_run->next++];
        const std::optional<QUrl> source = m_source(id);
        if (!source)
            continue; // removed from the list meanwhile
        const OutputName target = freeOutputName(*source, m_run->format, m_place(), m_run->taken);
        m_run->taken.insert(target.url.toLocalFile());
        const int threads = threadsForNext();
        ++m_run->running;
        m_run->busy += threads;
        Q_EMIT fileStarted(id, target.url);
        launch(id, *source, target, threads);
    }
    if (m_run && m_run->running == 0) {
        const qint64 exported = m_run->exported;
        m_run.reset();
        m_launcher->end();
        Q_EMIT finished(exported);
    }
}

int BatchRunner::threadsForNext() const
{
    // The free slots are shared among this file and those that start right
    // after it; while more files wait than slots are free, each gets one.
    const int free = m_run->jobs - m_run->busy;
    const qsizetype waiting = m_run->ids.size() - m_run->next;
    if (free <= 1 || waiting >= free)
        return 1;
    return free / int(1 + waiting);
}

void BatchRunner::launch(const QUuid& id, const QUrl& source, const OutputName& target, int threads)
{
    QElapsedTimer timer;
    timer.start();
    m_launcher->launch(
        // A name another process takes while the file is written is left at
        // the end, for the next free one of its series: no file renders twice.
        render::RenderJob{source, target.url, m_run->plugins, m_run->format, target.number, threads,
                          m_run->loudness},
        [this, id](double fraction) { Q_EMIT fileProgress(id, fraction); },
        [this, id, target = target.url, threads, timer](const RenderOutcome& outcome) {
            fileEnded(id, target, threads, outcome, timer);
        });
}

void BatchRunner::fileEnded(const QUuid& id, const QUrl& target, int threads,
                            const RenderOutcome& outcome, const QElapsedTimer& timer)
{
    m_run->taken.remove(target.toLocalFile());
    --m_run->running;
    m_run->busy -= threads;
    m_run->exported += outcome.status.isDone();
    Q_EMIT fileFinished(id, outcome.status, double(timer.nsecsElapsed()) / 1e9);
    fill();
}

} // namespace tolvex::session
