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
    std::unique_ptr<AlbumPasses> album; ///< for a target as an album
};

BatchRunner::BatchRunner(host::AudioHost& host, SourceLookup source, PlaceLookup place,
                         QObject* parent)
    : QObject(parent), m_host(host), m_source(std::move(source)), m_place(std::move(place)),
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
    if (loudness && loudness->album)
        m_run->album = std::make_unique<AlbumPasses>();
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
    while (m_run && m_run->running < m_run->jobs && !m_run->cancelled) {
        if (m_run->next < m_run->ids.size())
            startNext();
        else if (!startSecondPass())
            break;
    }
    if (m_run && m_run->running == 0)
        endRun();
}

void BatchRunner::startNext()
{
    Pass pass;
    pass.id = m_run->ids[m_run->next++];
    const std::optional<QUrl> source = m_source(pass.id);
    if (!source)
        return; // removed from the list meanwhile
    pass.source = *source;
    pass.target = freeOutputName(*source, m_run->format, m_place(), m_run->taken);
    pass.threads = threadsForNext();
    pass.clock.start();
    m_run->taken.insert(pass.target.url.toLocalFile());
    Q_EMIT fileStarted(pass.id, pass.target.url);
    if (m_run && m_run->album) {
        try {
            pass.album =
                m_run->album->begin(m_host, {pass.id, pass.source, pass.target, pass.clock});
        } catch (const host::HostError& error) {
            fileLeft(pass, model::Status::failed(error.message()));
            return;
        }
    }
    launch(pass);
}

bool BatchRunner::startSecondPass()
{
    if (!m_run->album)
        return false;
    if (!m_run->album->hasGain()) {
        if (m_run->running > 0)
            return false; // first passes still measure
        m_run->album->fixGain(*m_run->loudness);
    }
    auto next = m_run->album->nextSecondPass();
    if (!next)
        return false;
    const auto& [file, album] = *next;
    launch({file.id, file.source, file.target, 1, file.clock, album});
    return true;
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

void BatchRunner::launch(const Pass& pass)
{
    ++m_run->running;
    m_run->busy += pass.threads;
    // A name another process takes while the file is written is left at
    // the end, for the next free one of its series: no file renders twice.
    render::RenderJob job{pass.source,        pass.target.url, m_run->plugins, m_run->format,
                          pass.target.number, pass.threads,    m_run->loudness};
    job.album = pass.album;
    m_launcher->launch(
        std::move(job),
        [this, id = pass.id](double fraction) { Q_EMIT fileProgress(id, fraction); },
        [this, pass](const RenderOutcome& outcome) { fileEnded(pass, outcome); });
}

void BatchRunner::fileEnded(const Pass& pass, const RenderOutcome& outcome)
{
    --m_run->running;
    m_run->busy -= pass.threads;
    const bool firstPass = pass.album && !pass.album->gain;
    if (firstPass && outcome.status.isDone() && outcome.kept) {
        m_run->album->keep(pass.id, *outcome.kept); // waits for the album's gain
    } else if (firstPass && outcome.status.isDone()) {
        fileLeft(pass, model::Status::failed(QStringLiteral("Der Export hat nichts gemessen.")));
    } else {
        fileLeft(pass, outcome.status);
    }
    fill();
}

void BatchRunner::fileLeft(const Pass& pass, const model::Status& status)
{
    m_run->taken.remove(pass.target.url.toLocalFile());
    if (m_run->album)
        m_run->album->leave(pass.id);
    m_run->exported += status.isDone();
    Q_EMIT fileFinished(pass.id, status, double(pass.clock.nsecsElapsed()) / 1e9);
}

/// Files of a cancelled album that wait between their passes end as waiting.
void BatchRunner::endRun()
{
    if (m_run->album)
        for (const QUuid& id : m_run->album->waiting())
            if (const auto file = m_run->album->leave(id))
                fileLeft({file->id, file->source, file->target, 1, file->clock, std::nullopt},
                         model::Status::waiting());
    if (!m_run)
        return;
    const qint64 exported = m_run->exported;
    m_run.reset();
    m_launcher->end();
    Q_EMIT finished(exported);
}

} // namespace tolvex::session
