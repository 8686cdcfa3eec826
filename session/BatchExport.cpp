#include "session/BatchExport.h"

#include "render/Renderer.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QPointer>

namespace tolvex::session {

namespace {

/// The status a file gets from what its render threw.
model::Status outcome(std::exception_ptr error)
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

BatchExport::BatchExport(host::AudioHost& host, Session& session, QObject* parent)
    : QObject(parent), m_host(host), m_session(session)
{}

BatchExport::~BatchExport()
{
    cancel();
    m_rendering.waitForFinished();
}

void BatchExport::start(QList<QUuid> ids, QList<model::PluginState> plugins,
                        model::ExportFormat format)
{
    m_stop = std::make_shared<std::stop_source>();
    run(std::move(ids), std::move(plugins), format, m_stop->get_token());
}

void BatchExport::cancel()
{
    if (m_stop)
        m_stop->request_stop();
}

QCoro::Task<> BatchExport::run(QList<QUuid> ids, QList<model::PluginState> plugins,
                               model::ExportFormat format, std::stop_token stop)
{
    const QPointer<BatchExport> alive(this);
    qint64 exported = 0;
    for (const QUuid& id : ids) {
        if (stop.stop_requested())
            continue; // cancelled: the rest keep their status
        auto file = exportFile(id, plugins, format, stop);
        const bool written = co_await file;
        if (!alive)
            co_return;
        exported += written;
    }
    Q_EMIT finished(exported);
}

QCoro::Task<bool> BatchExport::exportFile(QUuid id, QList<model::PluginState> plugins,
                                          model::ExportFormat format, std::stop_token stop)
{
    const auto item = m_session.item(id);
    if (!item)
        co_return false; // removed from the list meanwhile
    const QUrl target = m_session.targetURL(item->url, format);
    m_session.beginExport(id);

    // Progress arrives on the render's thread and is posted here.
    const QPointer<Session> session(&m_session);
    auto progress = [session, id](double fraction) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [session, id, fraction] {
                if (session)
                    session->setStatus(id, model::Status::running(fraction));
            },
            Qt::QueuedConnection);
    };
    const QPointer<BatchExport> alive(this);
    // Named, not temporaries of the co_await expression: GCC 12 destroys
    // those twice.
    render::RenderJob job{item->url, target, std::move(plugins), format};
    auto rendering = render::renderInBackground(m_host, std::move(job), std::move(progress), stop);
    m_rendering = rendering;
    const std::exception_ptr error = co_await rendering;
    if (!alive)
        co_return false;
    m_session.setStatus(id, error ? outcome(error) : model::Status::done(target));
    co_return !error;
}

} // namespace tolvex::session
