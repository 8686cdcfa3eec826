// The batch export: the list's files through the chain, one after another.
#include "session/Session.h"

#include "chain/Chain.h"
#include "host/HostError.h"
#include "render/Renderer.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace tolvex::session {

namespace {

/// Whether anything, even a dangling link, stands at the path.
bool occupied(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

/// The user-facing description of what a render threw.
model::Status outcome(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const render::RenderCancelled&) {
        return model::Status::waiting();
    } catch (const render::RenderError& failure) {
        return model::Status::failed(failure.message());
    } catch (const host::HostError& failure) {
        return model::Status::failed(failure.description());
    } catch (const std::exception& failure) {
        return model::Status::failed(QString::fromUtf8(failure.what()));
    } catch (...) {
        return model::Status::failed(QStringLiteral("Unbekannter Fehler beim Export."));
    }
}

} // namespace

void Session::setExporting(bool exporting)
{
    m_exporting = exporting;
    Q_EMIT exportingChanged(exporting);
}

void Session::startExport(chain::Chain& chain, std::optional<QSet<QUuid>> ids)
{
    if (m_exporting)
        return;
    chain.save();
    QList<model::PluginState> plugins = chain.renderStates();
    QList<QUuid> chosen;
    for (const model::AudioItem& item : m_items)
        if (!ids || ids->contains(item.id))
            chosen.append(item.id);
    if (chosen.isEmpty()) {
        showToast(QStringLiteral("Zieh zuerst Audiodateien ins Fenster."));
        return;
    }
    if (plugins.isEmpty())
        showToast(QStringLiteral("Die Kette ist leer – die Dateien werden nur umgewandelt."));
    setExporting(true);
    m_exportStop = std::make_shared<std::stop_source>();
    run(std::move(chosen), std::move(plugins), format(), m_exportStop->get_token());
}

void Session::cancelExport()
{
    if (m_exportStop)
        m_exportStop->request_stop();
}

QCoro::Task<> Session::run(QList<QUuid> ids, QList<model::PluginState> plugins,
                           model::ExportFormat format, std::stop_token stop)
{
    const QPointer<Session> alive(this);
    qint64 exported = 0;
    for (const QUuid& id : ids) {
        if (stop.stop_requested())
            continue;
        const qsizetype index = indexOf(id);
        if (index < 0)
            continue; // removed meanwhile
        const QUrl source = m_items[index].url;
        const QUrl target = targetURL(source, format);
        // Set directly: setStatus ignores running reports for an item that
        // is not running yet.
        m_items[index].status = model::Status::running(0);
        Q_EMIT itemChanged(id);

        render::RenderJob job{source, target, plugins, format};
        // Progress arrives on the render's thread and is posted here.
        const QPointer<Session> session(this);
        auto progress = [session, id](double fraction) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [session, id, fraction] {
                    if (session)
                        session->setStatus(id, model::Status::running(fraction));
                },
                Qt::QueuedConnection);
        };
        const std::exception_ptr error =
            co_await render::renderInBackground(m_host, std::move(job), progress, stop);
        if (!alive)
            co_return;
        if (!error) {
            setStatus(id, model::Status::done(target));
            ++exported;
        } else {
            setStatus(id, outcome(error));
        }
    }
    setExporting(false);
    if (exported == 1)
        showToast(QStringLiteral("1 Datei exportiert."));
    else if (exported > 1)
        showToast(QString::number(exported) + QStringLiteral(" Dateien exportiert."));
}

void Session::setStatus(const QUuid& id, const model::Status& status)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    model::AudioItem& item = m_items[index];
    if (status.isRunning() && !item.status.isRunning())
        return; // a late progress report
    item.status = status;
    Q_EMIT itemChanged(id);
}

QUrl Session::targetURL(const QUrl& source, model::ExportFormat format) const
{
    const QFileInfo sourceInfo(source.toLocalFile());
    const QString folderPath = this->folderPath();
    const QDir folder(folderPath.isEmpty() ? sourceInfo.absolutePath() : folderPath);
    const QString base = sourceInfo.completeBaseName() + suffix();
    const QString extension = u'.' + model::fileExtension(format);
    QString candidate = folder.filePath(base + extension);
    for (int n = 2; occupied(candidate); ++n)
        candidate = folder.filePath(base + u' ' + QString::number(n) + extension);
    return QUrl::fromLocalFile(candidate);
}

} // namespace tolvex::session
