#include "model/ExportFormat.h"

namespace tolvex::model {

namespace {

struct FormatFacts {
    const char16_t* rawValue;
    const char16_t* label;
    const char16_t* extension;
};

FormatFacts facts(ExportFormat format)
{
    switch (format) {
    case ExportFormat::wav24:
        return {u"wav24", u"WAV 24 Bit", u"wav"};
    case ExportFormat::wav16:
        return {u"wav16", u"WAV 16 Bit", u"wav"};
    case ExportFormat::wav32f:
        return {u"wav32f", u"WAV 32 Bit Float", u"wav"};
    case ExportFormat::aiff24:
        return {u"aiff24", u"AIFF 24 Bit", u"aif"};
    case ExportFormat::m4a:
        return {u"m4a", u"M4A (AAC 256 kBit/s)", u"m4a"};
    }
    Q_UNREACHABLE();
}

} // namespace

QString rawValue(ExportFormat format)
{
    return QString::fromUtf16(facts(format).rawValue);
}

std::optional<ExportFormat> exportFormatFromRawValue(QStringView text)
{
    for (ExportFormat format : allExportFormats) {
        if (text == QStringView(facts(format).rawValue))
            return format;
    }
    return std::nullopt;
}

QString label(ExportFormat format)
{
    return QString::fromUtf16(facts(format).label);
}

QString fileExtension(ExportFormat format)
{
    return QString::fromUtf16(facts(format).extension);
}

WriterSettings writerSettings(ExportFormat format, int channels, double sampleRate)
{
    WriterSettings settings;
    settings.sampleRate = sampleRate;
    settings.channels = channels;
    if (format == ExportFormat::m4a) {
        settings.formatID = aacFormat;
        settings.encoderBitRate = channels * 128000;
        return settings;
    }
    settings.formatID = linearPCMFormat;
    settings.bitDepth = format == ExportFormat::wav16    ? 16
                        : format == ExportFormat::wav32f ? 32
                                                         : 24;
    settings.isFloat = format == ExportFormat::wav32f;
    settings.isBigEndian = format == ExportFormat::aiff24;
    settings.isNonInterleaved = false;
    return settings;
}

} // namespace tolvex::model
