#include "cli/ExportCommand.h"

#include "cli/ChainLoading.h"
#include "cli/LineReport.h"
#include "cli/TerminalProgress.h"
#include "cli/UsageError.h"
#include "session/FileNames.h"
#include "session/FolderContents.h"
#include "session/ProcessLauncher.h"
#include "session/QuitSignals.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSet>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvex::cli {

namespace {

QString absolute(const QString& path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

ExportFile unreadableFile(const QString& path, const QString& message)
{
    ExportFile file;
    file.source = path;
    file.phase = ExportFile::Phase::failed;
    file.message = message;
    return file;
}

const QString undecodableName =
    QStringLiteral("Der Name ist kein gültiges UTF-8; die Datei lässt sich nicht öffnen.");

/// Whether anything stands at `path`, a broken link included.
bool exists(const QString& path)
{
    struct stat info {};
    return ::lstat(session::encodeFileName(path).constData(), &info) == 0;
}

void tell(const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

} // namespace

ExportCommand::ExportCommand(host::Lv2AudioHost& host, QSettings& settings, CliOptions options,
                             QObject* parent)
    : QObject(parent), m_host(host), m_settings(settings), m_options(std::move(options)),
      m_session(host, settings), m_runner(
                                     host,
                                     [this](const QUuid& id) -> std::optional<QUrl> {
                                         if (!m_index.contains(id))
                                             return std::nullopt;
                                         return QUrl::fromLocalFile(file(id).source);
                                     },
                                     [this] { return place(); })
{
    // A plugin that crashes or hangs takes only its file with it.
    m_runner.setLauncher(std::make_unique<session::ProcessLauncher>());
    connect(&m_runner, &session::BatchRunner::fileStarted, this, &ExportCommand::fileStarted);
    connect(&m_runner, &session::BatchRunner::fileProgress, this,
            [this](const QUuid& id, double fraction) {
                ExportFile& running = file(id);
                running.progress = fraction;
                m_report->progressed(running);
            });
    connect(&m_runner, &session::BatchRunner::fileFinished, this, &ExportCommand::fileFinished);
    connect(&m_runner, &session::BatchRunner::finished, this, &ExportCommand::runFinished);
}

ExportCommand::~ExportCommand() = default;

int ExportCommand::run(session::QuitSignals& stops)
{
    QList<model::PluginState> plugins =
        loadChain(m_host, model::ExportSettings(m_settings), m_options);
    if (m_options.outputDir && session::hasUndecodableBytes(*m_options.outputDir))
        throw UsageError(QStringLiteral("Der Name des Ordners „") + *m_options.outputDir +
                         QStringLiteral("“ ist kein gültiges UTF-8."));
    if (m_options.outputDir && !QFileInfo(*m_options.outputDir).isDir())
        throw UsageError(QStringLiteral("Den Ordner „") + *m_options.outputDir +
                         QStringLiteral("“ gibt es nicht."));
    if (m_options.json)
        m_report = std::make_unique<LineReport>(stdout, true);
    else if (::isatty(STDOUT_FILENO))
        m_report = std::make_unique<TerminalProgress>(m_files);
    else
        m_report = std::make_unique<LineReport>(stdout, false);

    // Said before the live display starts, which owns the terminal from then on.
    if (plugins.isEmpty())
        tell(QStringLiteral("Die Kette ist leer – die Dateien werden nur umgewandelt."));
    importPaths();
    if (m_index.isEmpty()) {
        if (m_failed == 0)
            tell(QStringLiteral("Keine Audiodateien gefunden."));
        return 1;
    }

    connect(&stops, &session::QuitSignals::received, this, [this] {
        m_interrupted = true;
        m_runner.cancel();
    });
    if (stops.arrived()) { // while the chain loaded or the files were read
        runFinished(0);
        return m_status;
    }
    QEventLoop loop;
    connect(&m_runner, &session::BatchRunner::finished, &loop, &QEventLoop::quit);
    start(std::move(plugins));
    if (m_runner.isRunning())
        loop.exec();
    return m_status;
}

void ExportCommand::importPaths()
{
    QList<QUrl> candidates;
    QSet<QUrl> seen;
    QList<ExportFile> unreadable;
    for (const QString& path : m_options.paths) {
        const QString location = absolute(path);
        if (!exists(location)) {
            unreadable.append(unreadableFile(location, QStringLiteral("Gibt es nicht.")));
            continue;
        }
        const session::FolderContents found = session::FolderContents::of(location);
        for (const QString& name : found.undecodable)
            unreadable.append(unreadableFile(name, undecodableName));
        for (const QUrl& candidate : found.files)
            if (!seen.contains(candidate)) {
                seen.insert(candidate);
                candidates.append(candidate);
            }
    }
    m_session.add(candidates);
    QSet<QUrl> added;
    for (const model::AudioItem& item : m_session.items()) {
        added.insert(item.url);
        m_index.insert(item.id, m_files.size());
        ExportFile entry;
        entry.source = item.url.toLocalFile();
        entry.duration = item.duration;
        m_files.append(entry);
    }
    for (const QUrl& candidate : candidates)
        if (!added.contains(candidate))
            unreadable.append(
                unreadableFile(candidate.toLocalFile(), QStringLiteral("Kein lesbares Audio.")));
    for (const ExportFile& entry : unreadable) {
        m_files.append(entry);
        m_report->ended(entry);
        ++m_failed;
    }
}

void ExportCommand::start(QList<model::PluginState> plugins)
{
    const model::ExportFormat format = m_options.format.value_or(m_session.format());
    const int jobs = m_options.jobs.value_or(m_session.jobs());
    QList<QUuid> ids;
    for (const model::AudioItem& item : m_session.items())
        ids.append(item.id);
    m_runner.start(std::move(ids), std::move(plugins), format, jobs, loudnessTarget());
}

std::optional<model::LoudnessTarget> ExportCommand::loudnessTarget() const
{
    if (!m_options.loudness)
        return m_session.loudnessTarget();
    if (!*m_options.loudness)
        return std::nullopt;
    return model::LoudnessTarget{**m_options.loudness,
                                 m_options.truePeak.value_or(m_session.truePeakCeiling()),
                                 m_options.album};
}

session::OutputPlace ExportCommand::place() const
{
    // Read as each file starts, as the window does with its settings.
    return {m_options.outputDir ? absolute(*m_options.outputDir) : m_session.folderPath(),
            m_options.suffix.value_or(m_session.suffix())};
}

void ExportCommand::fileStarted(const QUuid& id, const QUrl& target)
{
    ExportFile& started = file(id);
    started.phase = ExportFile::Phase::running;
    started.output = target.toLocalFile();
    started.progress = 0;
    started.clock.start();
    m_report->started(started);
}

void ExportCommand::fileFinished(const QUuid& id, const model::Status& status, double seconds)
{
    ExportFile& ended = file(id);
    ended.seconds = seconds;
    if (status.isDone()) {
        ended.phase = ExportFile::Phase::done;
        ended.output = status.file().toLocalFile();
        ended.loudness = status.loudness();
    } else if (status.isFailed()) {
        ended.phase = ExportFile::Phase::failed;
        ended.message = status.message();
        ++m_failed;
    } else {
        ended.phase = ExportFile::Phase::cancelled;
    }
    m_report->ended(ended);
}

void ExportCommand::runFinished(qint64 exported)
{
    for (ExportFile& skipped : m_files)
        if (skipped.phase == ExportFile::Phase::waiting) {
            skipped.phase = ExportFile::Phase::cancelled;
            m_report->ended(skipped);
        }
    QString notice;
    if (exported == 1)
        notice = QStringLiteral("1 Datei exportiert.");
    else if (exported > 1)
        notice = QString::number(exported) + QStringLiteral(" Dateien exportiert.");
    m_report->closing(notice);
    m_status = m_interrupted ? 130 : m_failed > 0 ? 1 : 0;
}

} // namespace tolvex::cli
