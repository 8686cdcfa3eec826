#pragma once

#include "model/WriterSettings.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tolvex::model {

/// The five output formats, in the order the format picker lists them.
enum class ExportFormat { wav24, wav16, wav32f, aiff24, m4a };

inline constexpr std::array<ExportFormat, 5> allExportFormats{
    ExportFormat::wav24, ExportFormat::wav16, ExportFormat::wav32f, ExportFormat::aiff24,
    ExportFormat::m4a};

/// The stored name of a format ("wav24", …), as the "format" setting keeps it.
QString rawValue(ExportFormat format);
/// Exact, case-sensitive match against the five raw values; nothing otherwise.
std::optional<ExportFormat> exportFormatFromRawValue(QStringView text);

/// The text shown in the format picker, e.g. "WAV 24 Bit".
QString label(ExportFormat format);
/// The extension of the written file without the dot: "wav", "aif" or "m4a".
QString fileExtension(ExportFormat format);
/// The writer settings for a file of the given channel count and rate.
WriterSettings writerSettings(ExportFormat format, int channels, double sampleRate);

} // namespace tolvex::model
