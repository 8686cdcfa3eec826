#pragma once

#include "session/RenderLauncher.h"
#include "session/WorkerProcess.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <vector>

namespace tolvex::session {

/// Renders in worker processes, one per job slot: started for a slot's
/// first file, kept for its next ones, started anew after a crash or a
/// hang, ended when the run ends (a new run's workers load the plugins
/// installed then). Nothing a plugin does during a render
/// reaches this process; the worker runs the real host of its own.
class ProcessLauncher : public QObject, public RenderLauncher {
    Q_OBJECT

public:
    struct Settings {
        /// The worker program.
        QString program;
        /// A render that finishes no block for this long counts as hung.
        std::chrono::milliseconds timeout{60000};

        /// The installed worker and 60 s. The program is taken from
        /// TOLVEX_RENDER_WORKER when set, else the first of
        /// "tolvex-render-worker" beside the running program and in the
        /// installed helper folder that exists (the latter also when none
        /// does, for the message). TOLVEX_RENDER_TIMEOUT may give the timeout
        /// in seconds.
        static Settings standard();
    };

    explicit ProcessLauncher(Settings settings = Settings::standard(), QObject* parent = nullptr);
    /// Ends every worker (see ~WorkerProcess).
    ~ProcessLauncher() override;

    /// Workers are started as files need them.
    void begin(int) override {}
    void launch(render::RenderJob job, Progress progress, Finished finished) override;
    void cancel() override;
    void end() override;

private:
    Settings m_settings;
    /// The workers' folder for temporary files (the plugins' state files among
    /// them), removed with the launcher, also what dead workers left there.
    QTemporaryDir m_scratch;
    std::vector<std::unique_ptr<WorkerProcess>> m_workers; // before the folder goes
};

} // namespace tolvex::session
