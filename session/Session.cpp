#include "session/Session.h"

#include "chain/Chain.h"
#include "model/ExportSettings.h"
#include "session/FileNames.h"
#include "session/FolderContents.h"

#include <QTimer>

#include <algorithm>

namespace tolvex::session {

namespace {

/// The notice for files an import could not take; empty when there are none.
QString unreadableNotice(int unreadable, int undecodable)
{
    if (unreadable > 0 && undecodable > 0)
        return QString::number(unreadable + undecodable) +
               QStringLiteral(" Dateien lassen sich nicht lesen.");
    if (unreadable == 1)
        return QStringLiteral("Eine Datei ist kein lesbares Audio.");
    if (unreadable > 1)
        return QString::number(unreadable) + QStringLiteral(" Dateien sind kein lesbares Audio.");
    if (undecodable == 1)
        return QStringLiteral("Der Name einer Datei ist kein gültiges UTF-8; sie lässt sich "
                              "nicht öffnen.");
    if (undecodable > 1)
        return QStringLiteral("Die Namen von %1 Dateien sind kein gültiges UTF-8; sie lassen "
                              "sich nicht öffnen.")
            .arg(undecodable);
    return {};
}

} // namespace

Session::Session(host::AudioHost& host, QSettings& settings, FilePicker* picker, QObject* parent)
    : QObject(parent), m_host(host), m_settings(settings), m_picker(picker),
      m_export(
          host,
          [this](const QUuid& id) -> std::optional<QUrl> {
              const auto found = item(id);
              return found ? std::optional(found->url) : std::nullopt;
          },
          [this] {
              return OutputPlace{folderPath(), suffix()};
          })
{
    connect(&m_export, &BatchRunner::fileStarted, this,
            [this](const QUuid& id) { beginExport(id); });
    connect(&m_export, &BatchRunner::fileProgress, this, [this](const QUuid& id, double fraction) {
        setStatus(id, model::Status::running(fraction));
    });
    connect(&m_export, &BatchRunner::fileFinished, this,
            [this](const QUuid& id, const model::Status& status) { setStatus(id, status); });
    connect(&m_export, &BatchRunner::finished, this, &Session::exportFinished);
}

Session::~Session()
{
    cancelExport();
}

// The list -------------------------------------------------------------------

void Session::setSelection(const QSet<QUuid>& selection)
{
    m_selection = selection;
    Q_EMIT selectionChanged();
}

void Session::add(const QList<QUrl>& locations)
{
    int added = 0;
    int unreadable = 0;
    int undecodable = 0;
    for (const QUrl& location : locations) {
        const FolderContents found = FolderContents::of(localPath(location));
        undecodable += int(found.undecodable.size());
        for (const QUrl& candidate : found.files) {
            const bool known = std::any_of(m_items.begin(), m_items.end(),
                                           [&](const auto& item) { return item.url == candidate; });
            if (known)
                continue;
            if (auto item = host::readAudioItem(m_host, candidate)) {
                m_items.append(std::move(*item));
                ++added;
            } else {
                ++unreadable;
            }
        }
    }
    if (added > 0)
        Q_EMIT itemsChanged();
    if (const QString notice = unreadableNotice(unreadable, undecodable); !notice.isEmpty())
        showToast(notice);
    if (added > 0 && m_selection.isEmpty() && !m_items.isEmpty())
        setSelection({m_items.first().id});
}

void Session::pickFiles()
{
    if (!m_picker)
        return;
    const QList<QUrl> chosen = m_picker->pickFiles();
    if (!chosen.isEmpty())
        add(chosen);
}

void Session::clearList()
{
    m_items.removeIf([](const model::AudioItem& item) { return !item.status.isRunning(); });
    Q_EMIT itemsChanged();
    setSelection({});
}

void Session::removeSelected()
{
    m_items.removeIf([this](const model::AudioItem& item) {
        return m_selection.contains(item.id) && !item.status.isRunning();
    });
    Q_EMIT itemsChanged();
    setSelection({});
}

// The notice -----------------------------------------------------------------

void Session::setToast(const QString& toast)
{
    m_toast = toast;
    Q_EMIT toastChanged(toast);
}

void Session::showToast(const QString& message)
{
    setToast(message);
    QTimer::singleShot(m_toastDuration, this, [this, message] {
        if (m_toast == message)
            setToast(QString());
    });
}

// Settings -------------------------------------------------------------------

model::ExportFormat Session::format() const
{
    return model::ExportSettings(m_settings).format();
}

void Session::setFormat(model::ExportFormat format)
{
    model::ExportSettings(m_settings).setFormat(format);
    Q_EMIT formatChanged();
}

QString Session::suffix() const
{
    return model::ExportSettings(m_settings).suffix();
}

void Session::setSuffix(const QString& suffix)
{
    model::ExportSettings(m_settings).setSuffix(suffix);
    Q_EMIT suffixChanged();
}

QString Session::folderPath() const
{
    return model::ExportSettings(m_settings).folderPath();
}

void Session::setFolderPath(const QString& path)
{
    model::ExportSettings(m_settings).setFolderPath(path);
    Q_EMIT folderPathChanged();
}

std::optional<QUrl> Session::folder() const
{
    const QString path = folderPath();
    if (path.isEmpty())
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

int Session::jobs() const
{
    return model::ExportSettings(m_settings).jobs();
}

void Session::pickFolder()
{
    if (!m_picker)
        return;
    if (const auto chosen = m_picker->pickFolder(); chosen && !chosen->isEmpty())
        setFolderPath(chosen->toLocalFile());
}

// The batch export ---------------------------------------------------------

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
    m_exporting = true;
    Q_EMIT exportingChanged(true);
    m_export.start(std::move(chosen), std::move(plugins), format(), jobs());
}

void Session::cancelExport()
{
    m_export.cancel();
}

void Session::exportFinished(qint64 exported)
{
    m_exporting = false;
    Q_EMIT exportingChanged(false);
    if (exported == 1)
        showToast(QStringLiteral("1 Datei exportiert."));
    else if (exported > 1)
        showToast(QString::number(exported) + QStringLiteral(" Dateien exportiert."));
}

std::optional<model::AudioItem> Session::item(const QUuid& id) const
{
    const qsizetype index = indexOf(id);
    return index < 0 ? std::nullopt : std::optional(m_items[index]);
}

void Session::beginExport(const QUuid& id)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    m_items[index].status = model::Status::running(0);
    Q_EMIT itemChanged(id);
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
    return freeOutputName(source, format, {folderPath(), suffix()}).url;
}

qsizetype Session::indexOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_items[i].id == id)
            return i;
    return -1;
}

} // namespace tolvex::session
