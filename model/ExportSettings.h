#pragma once

#include "model/ExportFormat.h"
#include "model/LoudnessTarget.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QSettings;

namespace tolvex::model {

/// The export settings the window and tolvex-cli share, as the user's
/// settings keep them: one place for their keys and their defaults.
class ExportSettings {
public:
    /// The most files rendered at once.
    static constexpr int maxJobs = 64;

    explicit ExportSettings(QSettings& settings) : m_settings(settings) {}

    /// WAV 24-bit when none was chosen, or the stored one is unknown.
    ExportFormat format() const;
    void setFormat(ExportFormat format);
    /// " – Tolvex" when none was chosen; an empty suffix is a choice.
    QString suffix() const;
    void setSuffix(const QString& suffix);
    /// The chosen output folder; empty: next to each source.
    QString folderPath() const;
    void setFolderPath(const QString& path);
    /// Files rendered at once: the stored number, else one per core; in
    /// 1…maxJobs.
    int jobs() const;
    /// The chain the window keeps between runs, as stored; none before the
    /// first save.
    std::optional<QByteArray> savedChain() const;
    void setSavedChain(const QByteArray& chain);
    /// The integrated loudness files are normalised to, LUFS; none (the
    /// default): they keep the chain's own level.
    std::optional<double> loudnessLevel() const;
    void setLoudnessLevel(std::optional<double> lufs);
    /// The true-peak ceiling of the normalisation, dBTP; −1 by default.
    double truePeakCeiling() const;
    void setTruePeakCeiling(double dbtp);
    /// Whether the target is met by the files of a run together, with one
    /// gain for all of them (an album); off by default.
    bool loudnessAlbum() const;
    void setLoudnessAlbum(bool album);
    /// The three together; none when no level is chosen.
    std::optional<LoudnessTarget> loudnessTarget() const;

private:
    QSettings& m_settings;
};

} // namespace tolvex::model
