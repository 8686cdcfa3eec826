#pragma once

#include "cli/CliOptions.h"
#include "cli/ExportFile.h"
#include "cli/ExportReport.h"
#include "host/lv2/Lv2AudioHost.h"
#include "session/BatchRunner.h"
#include "session/QuitSignals.h"
#include "session/Session.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSettings>
#include <QUuid>

#include <memory>

namespace tolvex::cli {

/// `tolvex-cli export`: imports the paths as the window's file list does,
/// exports them with the batch runner and reports each file. Runs on the
/// main thread; the host must outlive it.
class ExportCommand : public QObject {
    Q_OBJECT

public:
    ExportCommand(host::Lv2AudioHost& host, QSettings& settings, CliOptions options,
                  QObject* parent = nullptr);
    ~ExportCommand() override;

    /// Loads the chain, imports the files, runs the export to its end and
    /// returns the exit status: 0 all written, 1 some not, 130 cancelled by
    /// one of `stops` (also when it came before the export started, which
    /// then writes nothing). Throws UsageError (status 2) before touching
    /// any file.
    int run(session::QuitSignals& stops);

private:
    void importPaths();
    void start(QList<model::PluginState> plugins);
    void fileStarted(const QUuid& id, const QUrl& target);
    void fileFinished(const QUuid& id, const model::Status& status, double seconds);
    void runFinished(qint64 exported);
    session::OutputPlace place() const;
    /// The options' loudness target (as an album with --album), else the
    /// window's (with its album setting).
    std::optional<model::LoudnessTarget> loudnessTarget() const;
    ExportFile& file(const QUuid& id) { return m_files[m_index.value(id)]; }

    host::Lv2AudioHost& m_host;
    QSettings& m_settings;
    CliOptions m_options;
    session::Session m_session;
    QList<ExportFile> m_files; ///< the run's files, then the unreadable inputs
    QHash<QUuid, qsizetype> m_index;
    int m_failed = 0;
    bool m_interrupted = false;
    int m_status = 0;
    std::unique_ptr<ExportReport> m_report;
    session::BatchRunner m_runner; // last: its workers use the host until it goes
};

} // namespace tolvex::cli
