#include "session/BatchRunner.h"

#include "render/Renderer.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <stop_token>

namespace tolvex::session {

namespace {

const QString jobsKey = QStringLiteral("jobs");

/// The status a file gets from what its render threw.
model::Status statusOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const render::RenderCancelled&) {
        return model::Status::waiting();
    } catch (const model::UserError& failure) {
        return model::Status::failed(failure.message());
    } catch (const std::exception& failure) {
        return model::Status::failed(QString::fromUtf8(failure.what()));
    } catch (...) {
        return model::Status::failed(QStringLiteral("Unbekannter Fehler beim Export."));
    }
}

} // namespace

/// One run's fixed order and what it has counted so far. GUI thread only.
struct BatchRunner::Run {
    QList<QUuid> ids;
    QList<model::PluginState> plugins;
    model::ExportFormat format = model::ExportFormat::wav24;
    int jobs = 1;
    qsizetype next = 0;
    int running = 0;
    qint64 exported = 0;
    QSet<QString> taken; ///< output paths of the files being written
    std::stop_source stop;
};

/// What a worker hands back for one file.
struct BatchRunner::Outcome {
    model::Status status;
    double seconds = 0;
};

BatchRunner::BatchRunner(host::AudioHost& host, SourceLookup source, PlaceLookup place,
                         QObject* parent)
    : QObject(parent), m_host(host), m_source(std::move(source)), m_place(std::move(place))
{}

BatchRunner::~BatchRunner()
{
    cancel();
    m_workers.waitForDone(); // posted results to this object die with it
}

int BatchRunner::jobsSetting(const QSettings& settings)
{
    bool number = false;
    const int jobs = settings.value(jobsKey).toInt(&number);
    if (!number || jobs == 0)
        return std::clamp(QThread::idealThreadCount(), 1, maxJobs);
    return std::clamp(jobs, 1, maxJobs);
}

bool BatchRunner::isCancelled() const
{
    return m_run && m_run->stop.stop_requested();
}

void BatchRunner::start(QList<QUuid> ids, QList<model::PluginState> plugins,
                        model::ExportFormat format, int jobs)
{
    if (m_run)
        return;
    m_run = std::make_unique<Run>();
    m_run->ids = std::move(ids);
    m_run->plugins = std::move(plugins);
    m_run->format = format;
    m_run->jobs = std::clamp(jobs, 1, maxJobs);
    m_workers.setMaxThreadCount(m_run->jobs);
    fill();
}

void BatchRunner::cancel()
{
    if (m_run)
        m_run->stop.request_stop();
}

void BatchRunner::fill()
{
    // Signals emitted here may cancel the run: it is checked before each file.
    while (m_run && m_run->running < m_run->jobs && m_run->next < m_run->ids.size() &&
           !m_run->stop.stop_requested()) {
        const QUuid id = m_run->ids[m_run->next++];
        const std::optional<QUrl> source = m_source(id);
        if (!source)
            continue; // removed from the list meanwhile
        const OutputName target = freeOutputName(*source, m_run->format, m_place(), m_run->taken);
        m_run->taken.insert(target.url.toLocalFile());
        ++m_run->running;
        Q_EMIT fileStarted(id, target.url);
        launch(id, *source, target);
    }
    if (m_run && m_run->running == 0) {
        const qint64 exported = m_run->exported;
        m_run.reset();
        Q_EMIT finished(exported);
    }
}

void BatchRunner::launch(const QUuid& id, const QUrl& source, const OutputName& target)
{
    // Progress arrives on the worker and is posted here; the worker itself
    // ends before this object does (see the destructor).
    auto progress = [this, id](double fraction) {
        QMetaObject::invokeMethod(
            this, [this, id, fraction] { Q_EMIT fileProgress(id, fraction); },
            Qt::QueuedConnection);
    };
    // A name another process takes while the file is written is left at the
    // end, for the next free one of its series: the render never runs twice.
    render::RenderJob job{source, target.url, m_run->plugins, m_run->format, target.number};
    m_workers.start([this, id, job = std::move(job), progress = std::move(progress),
                     stop = m_run->stop.get_token()] {
        QElapsedTimer timer;
        timer.start();
        Outcome outcome;
        try {
            outcome.status = model::Status::done(render::renderFile(m_host, job, progress, stop));
        } catch (...) {
            outcome.status = statusOf(std::current_exception());
        }
        outcome.seconds = double(timer.nsecsElapsed()) / 1e9;
        QMetaObject::invokeMethod(
            this, [this, id, target = job.target, outcome] { fileEnded(id, target, outcome); },
            Qt::QueuedConnection);
    });
}

void BatchRunner::fileEnded(const QUuid& id, const QUrl& target, const Outcome& outcome)
{
    m_run->taken.remove(target.toLocalFile());
    --m_run->running;
    m_run->exported += outcome.status.isDone();
    Q_EMIT fileFinished(id, outcome.status, outcome.seconds);
    fill();
}

} // namespace tolvex::session
