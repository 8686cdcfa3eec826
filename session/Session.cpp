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
    connect(&m_selection, &QItemSelectionModel::selectionChanged, this, &Session::selectionChanged);
}

Session::~Session()
{
    cancelExport();
}

// The list -------------------------------------------------------------------

QSet<QUuid> Session::selection() const
{
    QSet<QUuid> ids;
    for (const QItemSelectionRange& range : m_selection.selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (const model::AudioItem* item = m_files.item(row))
                ids.insert(item->id);
    return ids;
}

bool Session::isSelected(const QUuid& id) const
{
    const int row = m_files.row(id);
    return row >= 0 && m_selection.isRowSelected(row);
}

void Session::setSelection(const QSet<QUuid>& selection)
{
    QList<int> rows;
    for (const QUuid& id : selection)
        if (const int row = m_files.row(id); row >= 0)
            rows.append(row);
    std::sort(rows.begin(), rows.end());
    // Adjacent rows as one range each: selecting all 10,000 is one range.
    QItemSelection ranges;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        ranges.select(m_files.index(rows[i]), m_files.index(rows[j]));
        i = j + 1;
    }
    m_selection.select(ranges, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty() && !m_selection.isSelected(m_selection.currentIndex()))
        m_selection.setCurrentIndex(m_files.index(rows.first()), QItemSelectionModel::NoUpdate);
}

void Session::add(const QList<QUrl>& locations)
{
    QList<model::AudioItem> added;
    QSet<QUrl> taken;
    int unreadable = 0;
    int undecodable = 0;
    for (const QUrl& location : locations) {
        const FolderContents found = FolderContents::of(localPath(location));
        undecodable += int(found.undecodable.size());
        for (const QUrl& candidate : found.files) {
            if (m_files.contains(candidate) || taken.contains(candidate))
                continue;
            if (auto item = host::readAudioItem(m_host, candidate)) {
                taken.insert(candidate);
                added.append(std::move(*item));
            } else {
                ++unreadable;
            }
        }
    }
    const bool first = !added.isEmpty() && !m_selection.hasSelection();
    m_files.append(std::move(added));
    if (const QString notice = unreadableNotice(unreadable, undecodable); !notice.isEmpty())
        showToast(notice);
    if (first)
        setSelection({m_files.items().first().id});
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
    m_files.removeIf([](const model::AudioItem& item) { return !item.status.isRunning(); });
    m_selection.clear();
}

void Session::removeSelected()
{
    const QSet<QUuid> selected = selection();
    m_files.removeIf([&](const model::AudioItem& item) {
        return selected.contains(item.id) && !item.status.isRunning();
    });
    m_selection.clear();
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

std::optional<model::LoudnessTarget> Session::loudnessTarget() const
{
    return model::ExportSettings(m_settings).loudnessTarget();
}

std::optional<double> Session::loudnessLevel() const
{
    return model::ExportSettings(m_settings).loudnessLevel();
}

void Session::setLoudnessLevel(std::optional<double> lufs)
{
    model::ExportSettings(m_settings).setLoudnessLevel(lufs);
    Q_EMIT loudnessChanged();
}

double Session::truePeakCeiling() const
{
    return model::ExportSettings(m_settings).truePeakCeiling();
}

void Session::setTruePeakCeiling(double dbtp)
{
    model::ExportSettings(m_settings).setTruePeakCeiling(dbtp);
    Q_EMIT loudnessChanged();
}

bool Session::loudnessAlbum() const
{
    return model::ExportSettings(m_settings).loudnessAlbum();
}

void Session::setLoudnessAlbum(bool album)
{
    model::ExportSettings(m_settings).setLoudnessAlbum(album);
    Q_EMIT loudnessChanged();
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
    for (const model::AudioItem& item : m_files.items())
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
    m_export.start(std::move(chosen), std::move(plugins), format(), jobs(), loudnessTarget());
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
    const model::AudioItem* found = m_files.item(m_files.row(id));
    return found ? std::optional(*found) : std::nullopt;
}

void Session::beginExport(const QUuid& id)
{
    const int row = m_files.row(id);
    if (row < 0)
        return;
    m_files.setStatus(row, model::Status::running(0));
    Q_EMIT itemChanged(id);
}

void Session::setStatus(const QUuid& id, const model::Status& status)
{
    const int row = m_files.row(id);
    if (row < 0)
        return;
    if (status.isRunning() && !m_files.item(row)->status.isRunning())
        return; // a late progress report
    m_files.setStatus(row, status);
    Q_EMIT itemChanged(id);
}

QUrl Session::targetURL(const QUrl& source, model::ExportFormat format) const
{
    return freeOutputName(source, format, {folderPath(), suffix()}).url;
}

} // namespace tolvex::session
