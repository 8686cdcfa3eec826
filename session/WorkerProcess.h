#pragma once

#include "session/RenderLauncher.h"
#include "session/WorkerProtocol.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <optional>

namespace tolvex::session {

/// One render worker process and the file it renders, seen from the parent:
/// started for the first file, kept for the next ones, started anew for the
/// next file after it has died. Whatever the worker does, this process only
/// learns of it: a crash or a hang fails the file with a message naming the
/// plugin that was running, and the partial output is removed.
///
/// The watchdog: a render that finishes no block for `timeout` counts as
/// hung, and its worker is killed. Lives on the GUI thread; the callbacks of
/// a render come there, never from within a call of this class.
class WorkerProcess : public QObject {
    Q_OBJECT

public:
    /// Runs `program` for the worker, with `scratch` (unless empty) as its
    /// folder for temporary files: what a worker that dies leaves there goes
    /// with the folder.
    WorkerProcess(QString program, std::chrono::milliseconds timeout, const QString& scratch,
                  QObject* parent = nullptr);
    /// Ends the worker: a render going on is cancelled and, if it does not
    /// end within the cancel's grace, killed and its output removed. No
    /// callback comes any more.
    ~WorkerProcess() override;

    /// Whether a render is going on.
    bool isBusy() const { return m_job.has_value(); }
    /// Whether the worker process runs (idle or busy).
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    /// Whether it takes a render now: not busy, and not ending after stop().
    bool isAvailable() const { return !isBusy() && !m_stopping; }

    /// Renders `job`, starting the worker first if it does not run. Only
    /// while available.
    void render(render::RenderJob job, RenderLauncher::Progress progress,
                RenderLauncher::Finished finished);
    /// Stops the render going on: the worker removes its partial output and
    /// reports it cancelled; a worker that has not ended the render within
    /// a few seconds is killed.
    void cancel();
    /// Ends an idle worker; it exits once it has read to the end of its input.
    void stop();

private:
    void readReports();
    void take(const WorkerReport& report);
    void armWatchdog();
    void hung();
    void died();
    /// Ends the render going on with `outcome`; the callback is posted.
    void finish(const RenderOutcome& outcome);
    /// The failure of a render whose worker died before it ended.
    QString deathMessage() const;
    /// Removes the output the worker reported created, if it is still the
    /// same file.
    void removeCreated() const;

    QString m_program;
    std::chrono::milliseconds m_timeout;
    QProcess m_process;
    QTimer m_watchdog;
    QTimer m_cancelGrace;
    bool m_ready = false;    ///< the worker has said it reads requests
    bool m_stopping = false; ///< its input is closed, its end not yet seen

    // The render going on, if any.
    std::optional<render::RenderJob> m_job;
    RenderLauncher::Progress m_progress;
    RenderLauncher::Finished m_finished;
    quint64 m_blocks = 0;
    int m_stage = -1;
    std::optional<CreatedReport> m_created;
    std::optional<int> m_crashStage;
    bool m_cancelled = false;
    bool m_hung = false;
    bool m_failedToStart = false;
};

} // namespace tolvex::session
