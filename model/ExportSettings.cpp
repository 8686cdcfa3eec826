#include "model/ExportSettings.h"

#include <QSettings>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace tolvex::model {

namespace {
const QString formatKey = QStringLiteral("format");
const QString suffixKey = QStringLiteral("suffix");
const QString folderKey = QStringLiteral("folder");
const QString jobsKey = QStringLiteral("jobs");
const QString chainKey = QStringLiteral("chain");
const QString loudnessKey = QStringLiteral("loudnessTarget");
const QString ceilingKey = QStringLiteral("truePeakCeiling");
const QString albumKey = QStringLiteral("loudnessAlbum");
const QString defaultSuffix = QStringLiteral(" – Tolvex");
} // namespace

ExportFormat ExportSettings::format() const
{
    return exportFormatFromRawValue(m_settings.value(formatKey).toString())
        .value_or(ExportFormat::wav24);
}

void ExportSettings::setFormat(ExportFormat format)
{
    m_settings.setValue(formatKey, rawValue(format));
}

QString ExportSettings::suffix() const
{
    return m_settings.contains(suffixKey) ? m_settings.value(suffixKey).toString() : defaultSuffix;
}

void ExportSettings::setSuffix(const QString& suffix)
{
    m_settings.setValue(suffixKey, suffix);
}

QString ExportSettings::folderPath() const
{
    return m_settings.value(folderKey).toString();
}

void ExportSettings::setFolderPath(const QString& path)
{
    m_settings.setValue(folderKey, path);
}

int ExportSettings::jobs() const
{
    bool number = false;
    const int jobs = m_settings.value(jobsKey).toInt(&number);
    if (!number || jobs == 0)
        return std::clamp(QThread::idealThreadCount(), 1, maxJobs);
    return std::clamp(jobs, 1, maxJobs);
}

std::optional<QByteArray> ExportSettings::savedChain() const
{
    if (!m_settings.contains(chainKey))
        return std::nullopt;
    return m_settings.value(chainKey).toByteArray();
}

void ExportSettings::setSavedChain(const QByteArray& chain)
{
    m_settings.setValue(chainKey, chain);
}

std::optional<double> ExportSettings::loudnessLevel() const
{
    bool number = false;
    const double lufs = m_settings.value(loudnessKey).toDouble(&number);
    return number && std::isfinite(lufs) ? std::optional(lufs) : std::nullopt;
}

void ExportSettings::setLoudnessLevel(std::optional<double> lufs)
{
    if (lufs)
        m_settings.setValue(loudnessKey, *lufs);
    else
        m_settings.remove(loudnessKey);
}

double ExportSettings::truePeakCeiling() const
{
    bool number = false;
    const double dbtp = m_settings.value(ceilingKey).toDouble(&number);
    return number && std::isfinite(dbtp) ? dbtp : LoudnessTarget().ceiling;
}

void ExportSettings::setTruePeakCeiling(double dbtp)
{
    m_settings.setValue(ceilingKey, dbtp);
}

bool ExportSettings::loudnessAlbum() const
{
    return m_settings.value(albumKey, false).toBool();
}

void ExportSettings::setLoudnessAlbum(bool album)
{
    m_settings.setValue(albumKey, album);
}

std::optional<LoudnessTarget> ExportSettings::loudnessTarget() const
{
    const auto level = loudnessLevel();
    if (!level)
        return std::nullopt;
    return LoudnessTarget{*level, truePeakCeiling(), loudnessAlbum()};
}

} // namespace tolvex::model
