#include "cli/LineReport.h"

#include "cli/PlainText.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tolvex::cli {

namespace {

/// A figure to two decimals, or null where it is undefined.
QJsonValue figure(const std::optional<model::Loudness>& loudness,
                  std::optional<double> model::Loudness::*field)
{
    if (!loudness || !((*loudness).*field))
        return QJsonValue::Null;
    return std::round(*((*loudness).*field) * 100.0) / 100.0;
}

} // namespace

QByteArray LineReport::plainLine(const ExportFile& file)
{
    const QByteArray source = printableUtf8(displayPath(file.source));
    switch (file.phase) {
    case ExportFile::Phase::done: {
        QByteArray line = "fertig: " + source + " → " + printableUtf8(displayPath(file.output));
        if (file.loudness)
            line += " (" + model::loudnessText(*file.loudness).toUtf8() + ')';
        return line;
    }
    case ExportFile::Phase::failed:
        return "Fehler: " + source + ": " + printableUtf8(file.message);
    default:
        return "abgebrochen: " + source;
    }
}

QByteArray LineReport::jsonLine(const ExportFile& file)
{
    static const char* const statuses[] = {"cancelled", "cancelled", "done", "failed", "cancelled"};
    QJsonObject object{
        {"source", file.source},
        {"output", file.phase == ExportFile::Phase::done ? QJsonValue(file.output)
                                                         : QJsonValue(QJsonValue::Null)},
        {"status", QString::fromLatin1(statuses[int(file.phase)])},
        {"message", file.message},
        {"seconds", qRound64(file.seconds * 1000) / 1000.0},
        {"loudness", figure(file.loudness, &model::Loudness::integrated)},
        {"range", figure(file.loudness, &model::Loudness::range)},
        {"truePeak", figure(file.loudness, &model::Loudness::truePeak)},
        {"belowTarget", figure(file.loudness, &model::Loudness::belowTarget)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void LineReport::ended(const ExportFile& file)
{
    const QByteArray line = (m_json ? jsonLine(file) : plainLine(file)) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), m_stream);
    std::fflush(m_stream);
}

void LineReport::closing(const QString& notice)
{
    if (m_json || notice.isEmpty())
        return;
    std::fprintf(m_stream, "%s\n", notice.toUtf8().constData());
    std::fflush(m_stream);
}

} // namespace tolvex::cli
