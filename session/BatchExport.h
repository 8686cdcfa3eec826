#pragma once

#include "host/AudioHost.h"
#include "model/ExportFormat.h"
#include "model/PluginState.h"

#include <QCoroTask>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QUuid>

#include <exception>
#include <memory>
#include <stop_token>

namespace tolvex::session {

class Session;

/// A batch export run: the chosen files of the session's list, one after
/// another in list order, through the offline renderer, each file's status
/// kept up to date. Lives on the GUI thread, owned by the Session; each
/// render runs on a worker thread and posts its progress back here. The
/// worker uses the host: destroying the BatchExport cancels the run and
/// waits for the worker, so the host may go right after it.
class BatchExport : public QObject {
    Q_OBJECT

public:
    BatchExport(host::AudioHost& host, Session& session, QObject* parent = nullptr);
    /// Cancels the run and waits until its worker has let go of the host;
    /// the render removes its unfinished output before that.
    ~BatchExport() override;

    /// Starts a run over `ids` with the plugins and format fixed now; the
    /// suffix and folder are read again for every file. One run at a time:
    /// the caller starts the next only after `finished`.
    void start(QList<QUuid> ids, QList<model::PluginState> plugins, model::ExportFormat format);
    /// Cancels the latest run: the file being rendered stops at its next
    /// block and goes back to waiting; every later file is skipped. No
    /// effect on a finished run.
    void cancel();

Q_SIGNALS:
    /// The run has handled its last id; `exported` files were written.
    void finished(qint64 exported);

private:
    QCoro::Task<> run(QList<QUuid> ids, QList<model::PluginState> plugins,
                      model::ExportFormat format, std::stop_token stop);
    /// Renders one file of the list and sets its final status; true when
    /// the file was written.
    QCoro::Task<bool> exportFile(QUuid id, QList<model::PluginState> plugins,
                                 model::ExportFormat format, std::stop_token stop);

    host::AudioHost& m_host;
    Session& m_session;
    std::shared_ptr<std::stop_source> m_stop;
    QFuture<std::exception_ptr> m_rendering; // the file on the worker now, if any
};

} // namespace tolvex::session
