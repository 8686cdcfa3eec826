#include "session/ProcessLauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace tolvex::session {

namespace {

const QString workerName = QStringLiteral("tolvex-render-worker");

bool isProgram(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

ProcessLauncher::Settings ProcessLauncher::Settings::standard()
{
    Settings settings;
    settings.program = qEnvironmentVariable("TOLVEX_RENDER_WORKER");
    if (settings.program.isEmpty()) {
        const QDir here(QCoreApplication::applicationDirPath());
        settings.program = here.filePath(workerName);
        if (!isProgram(settings.program))
            settings.program = QDir::cleanPath(
                here.filePath(QStringLiteral(TOLVEX_WORKER_FROM_BINARIES "/") + workerName));
    }
    bool number = false;
    const double seconds = qEnvironmentVariable("TOLVEX_RENDER_TIMEOUT").toDouble(&number);
    if (number && seconds > 0)
        settings.timeout = std::chrono::milliseconds(qint64(seconds * 1000));
    return settings;
}

ProcessLauncher::ProcessLauncher(Settings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)),
      m_scratch(QDir::temp().filePath(QStringLiteral("tolvex-render-XXXXXX")))
{}

ProcessLauncher::~ProcessLauncher() = default;

void ProcessLauncher::launch(render::RenderJob job, Progress progress, Finished finished)
{
    // A running worker first: it has its plugin registry loaded already.
    auto available = [](const auto& worker) { return worker->isAvailable(); };
    auto running = [](const auto& worker) { return worker->isAvailable() && worker->isRunning(); };
    auto chosen = std::find_if(m_workers.begin(), m_workers.end(), running);
    if (chosen == m_workers.end())
        chosen = std::find_if(m_workers.begin(), m_workers.end(), available);
    if (chosen == m_workers.end()) {
        m_workers.push_back(
            std::make_unique<WorkerProcess>(m_settings.program, m_settings.timeout,
                                            m_scratch.isValid() ? m_scratch.path() : QString()));
        chosen = std::prev(m_workers.end());
    }
    (*chosen)->render(std::move(job), std::move(progress), std::move(finished));
}

void ProcessLauncher::cancel()
{
    for (auto& worker : m_workers)
        worker->cancel();
}

void ProcessLauncher::end()
{
    for (auto& worker : m_workers)
        worker->stop();
}

} // namespace tolvex::session
