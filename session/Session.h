#pragma once

#include "host/AudioHost.h"
#include "model/AudioItem.h"
#include "model/ExportFormat.h"
#include "session/BatchRunner.h"
#include "session/FileList.h"
#include "session/FilePicker.h"

#include <QItemSelectionModel>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSettings>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

namespace tolvex::chain {
class Chain;
}

namespace tolvex::session {

/// The work to be done: the list of files, the selection, the persisted
/// export settings, the transient notice and the batch export. Lives on the
/// GUI thread; every operation runs there.
class Session : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(QString toast READ toast NOTIFY toastChanged)
    Q_PROPERTY(QString suffix READ suffix WRITE setSuffix NOTIFY suffixChanged)
    Q_PROPERTY(QString folderPath READ folderPath WRITE setFolderPath NOTIFY folderPathChanged)

public:
    /// `picker` may be null where no dialogs are shown.
    Session(host::AudioHost& host, QSettings& settings, FilePicker* picker = nullptr,
            QObject* parent = nullptr);
    ~Session() override;

    // The list, and which of its rows are selected: views show the model
    // and share the selection model.
    FileList& files() { return m_files; }
    const FileList& files() const { return m_files; }
    const QList<model::AudioItem>& items() const { return m_files.items(); }
    QItemSelectionModel& selectionModel() { return m_selection; }
    /// The selected items' ids.
    QSet<QUuid> selection() const;
    /// Selects these items alone; the current row moves to the first of
    /// them unless it is one of them already.
    void setSelection(const QSet<QUuid>& selection);
    bool isSelected(const QUuid& id) const;
    /// Adds the audio files at `locations` (see FolderContents) that are not
    /// in the list yet; files that cannot be read, and audio files whose
    /// names are not valid UTF-8, are counted in one notice.
    void add(const QList<QUrl>& locations);
    void pickFiles();
    void clearList();
    void removeSelected();

    // The notice
    QString toast() const { return m_toast; }
    void showToast(const QString& message);
    /// How long a notice stays; 3 s.
    void setToastDuration(int milliseconds) { m_toastDuration = milliseconds; }

    // Settings, read from and written to the store at once
    model::ExportFormat format() const;
    void setFormat(model::ExportFormat format);
    QString suffix() const;
    void setSuffix(const QString& suffix);
    QString folderPath() const;
    void setFolderPath(const QString& path);
    /// Files exported at once: the "jobs" setting, by default the number of
    /// cores (see model::ExportSettings::jobs).
    int jobs() const;
    /// The export's loudness target (see model::ExportSettings); none: off.
    std::optional<model::LoudnessTarget> loudnessTarget() const;
    std::optional<double> loudnessLevel() const;
    void setLoudnessLevel(std::optional<double> lufs);
    double truePeakCeiling() const;
    void setTruePeakCeiling(double dbtp);
    /// One gain for all the files of an export (see BatchRunner).
    bool loudnessAlbum() const;
    void setLoudnessAlbum(bool album);
    /// The output folder, or nothing for "next to the source".
    std::optional<QUrl> folder() const;
    void pickFolder();

    // The batch export
    /// Renders through `launcher` from the next export on (by default on
    /// threads of this process, with the session's host).
    void setRenderLauncher(std::unique_ptr<RenderLauncher> launcher)
    {
        m_export.setLauncher(std::move(launcher));
    }
    bool exporting() const { return m_exporting; }
    void startExport(chain::Chain& chain, std::optional<QSet<QUuid>> ids = std::nullopt);
    /// Cancels the running export, if any: the files being rendered stop at
    /// their next block and go back to waiting; every later one is skipped.
    void cancelExport();
    /// Sets an item's status; a running status is taken only by an item that
    /// is running already, so a late progress report never overwrites done,
    /// failed or waiting.
    void setStatus(const QUuid& id, const model::Status& status);
    /// A free output location for the source: in the output folder or next
    /// to the source, base name + suffix, then " 2", " 3", … as needed.
    QUrl targetURL(const QUrl& source, model::ExportFormat format) const;

Q_SIGNALS:
    /// An item's status changed; the list announces it to views in folds.
    void itemChanged(const QUuid& id);
    void selectionChanged();
    void exportingChanged(bool exporting);
    void toastChanged(const QString& toast);
    void formatChanged();
    void suffixChanged();
    void folderPathChanged();
    /// The loudness level, ceiling or album setting changed.
    void loudnessChanged();

private:
    /// The item with this id, if it is still in the list.
    std::optional<model::AudioItem> item(const QUuid& id) const;
    /// The file's turn has come: running from 0, whatever it was before.
    void beginExport(const QUuid& id);
    void exportFinished(qint64 exported);
    void setToast(const QString& toast);

    host::AudioHost& m_host;
    QSettings& m_settings;
    FilePicker* m_picker;
    FileList m_files;
    QItemSelectionModel m_selection{&m_files};
    bool m_exporting = false;
    QString m_toast;
    int m_toastDuration = 3000;
    BatchRunner m_export; // last: its run refers to the fields above
};

} // namespace tolvex::session
