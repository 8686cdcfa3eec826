#include "session/WorkerProcess.h"

#include <QFile>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace tolvex::session {

namespace {

using namespace std::chrono_literals;

/// How long a cancelled render may take to end before its worker is killed.
constexpr std::chrono::milliseconds cancelGrace = 3s;

/// "„Name“ …" for the plugin at `stage` of the job, else the general text.
QString aboutPlugin(const render::RenderJob& job, int stage, const QString& pluginText,
                    const QString& generalText)
{
    if (stage < 0 || stage >= job.plugins.size())
        return generalText;
    return u'„' + job.plugins[stage].name + QStringLiteral("“ ") + pluginText;
}

} // namespace

WorkerProcess::WorkerProcess(QString program, std::chrono::milliseconds timeout,
                             const QString& scratch, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_timeout(timeout)
{
    if (!scratch.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), scratch);
        m_process.setProcessEnvironment(environment);
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // In a group of its own: a Ctrl+C in the terminal reaches the parent, which
    // cancels, and not the worker, which would die of it.
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    m_watchdog.setSingleShot(true);
    m_cancelGrace.setSingleShot(true);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &WorkerProcess::readReports);
    connect(&m_process, &QProcess::finished, this, &WorkerProcess::died);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_failedToStart = true;
            died();
        }
    });
    connect(&m_watchdog, &QTimer::timeout, this, &WorkerProcess::hung);
    connect(&m_cancelGrace, &QTimer::timeout, &m_process, &QProcess::kill);
}

WorkerProcess::~WorkerProcess()
{
    if (!isRunning())
        return;
    m_process.disconnect(this); // the waits below deliver its signals
    if (isBusy())
        m_process.write(writeRequest(CancelRequest{}));
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(int(std::min(m_timeout, cancelGrace).count()))) {
        m_process.kill();
        m_process.waitForFinished();
    }
    if (!isBusy())
        return;
    // What the worker said before it went: whether the render has ended,
    // or else which file it had created.
    while (m_process.canReadLine()) {
        const auto report = readReport(m_process.readLine());
        if (report && std::holds_alternative<EndedReport>(*report))
            return;
        if (const auto* created = report ? std::get_if<CreatedReport>(&*report) : nullptr)
            m_created = *created;
    }
    removeCreated();
}

void WorkerProcess::render(render::RenderJob job, RenderLauncher::Progress progress,
                           RenderLauncher::Finished finished)
{
    m_progress = std::move(progress);
    m_finished = std::move(finished);
    m_stage = -1;
    m_created.reset();
    m_crashStage.reset();
    m_cancelled = false;
    m_hung = false;
    m_failedToStart = false;
    m_job = std::move(job);
    if (!isRunning()) {
        m_ready = false;
        m_blocks = 0;
        m_process.start(m_program, {});
        if (!isBusy() || !isRunning())
            return; // failed to start, the render has ended
    }
    m_process.write(writeRequest(*m_job));
    if (m_ready)
        armWatchdog();
}

void WorkerProcess::cancel()
{
    if (!isBusy() || m_cancelled)
        return;
    m_cancelled = true;
    m_process.write(writeRequest(CancelRequest{}));
    m_cancelGrace.start(std::min(m_timeout, cancelGrace));
}

void WorkerProcess::stop()
{
    if (isAvailable() && isRunning()) {
        m_stopping = true;
        m_process.closeWriteChannel();
    }
}

void WorkerProcess::readReports()
{
    while (m_process.canReadLine())
        if (const auto report = readReport(m_process.readLine()))
            take(*report);
}

void WorkerProcess::take(const WorkerReport& report)
{
    if (std::holds_alternative<ReadyReport>(report)) {
        m_ready = true;
        if (isBusy())
            armWatchdog();
    } else if (const auto* tick = std::get_if<TickReport>(&report)) {
        m_stage = tick->stage;
        if (tick->blocks != m_blocks && isBusy())
            armWatchdog();
        m_blocks = tick->blocks;
    } else if (!isBusy()) {
        return; // late news of a render that has ended
    } else if (const auto* progress = std::get_if<ProgressReport>(&report)) {
        armWatchdog();
        m_progress(progress->fraction);
    } else if (const auto* created = std::get_if<CreatedReport>(&report)) {
        m_created = *created;
    } else if (const auto* ended = std::get_if<EndedReport>(&report)) {
        finish(ended->outcome);
    } else if (const auto* crashed = std::get_if<CrashedReport>(&report)) {
        m_crashStage = crashed->stage;
    }
}

void WorkerProcess::armWatchdog()
{
    if (!m_cancelled)
        m_watchdog.start(m_timeout);
}

void WorkerProcess::hung()
{
    m_hung = true;
    m_process.kill(); // reported as its death
}

void WorkerProcess::died()
{
    readReports(); // what it said before it went
    m_ready = false;
    m_stopping = false;
    if (!isBusy())
        return;
    removeCreated();
    if (m_cancelled)
        finish({model::Status::waiting()});
    else
        finish({model::Status::failed(deathMessage())});
}

void WorkerProcess::finish(const RenderOutcome& outcome)
{
    m_watchdog.stop();
    m_cancelGrace.stop();
    m_job.reset();
    m_progress = nullptr;
    // Posted, so that the caller may start the next render from it.
    QMetaObject::invokeMethod(
        this, [finished = std::exchange(m_finished, nullptr), outcome] { finished(outcome); },
        Qt::QueuedConnection);
}

QString WorkerProcess::deathMessage() const
{
    if (m_failedToStart)
        return QStringLiteral("Das Rechenprogramm „") + m_program +
               QStringLiteral("“ lässt sich nicht starten.");
    if (m_hung)
        return aboutPlugin(*m_job, m_stage, QStringLiteral("antwortet nicht mehr."),
                           QStringLiteral("Der Export antwortet nicht mehr."));
    return aboutPlugin(*m_job, m_crashStage.value_or(-1),
                       QStringLiteral("ist beim Rechnen abgestürzt."),
                       QStringLiteral("Der Export ist abgestürzt."));
}

void WorkerProcess::removeCreated() const
{
    if (!m_created)
        return;
    const QByteArray path = QFile::encodeName(m_created->path);
    struct stat status {};
    if (::lstat(path.constData(), &status) == 0 && quint64(status.st_dev) == m_created->device &&
        quint64(status.st_ino) == m_created->inode)
        ::unlink(path.constData());
}

} // namespace tolvex::session
