#include "cli/LineReport.h"

#include "cli/PlainText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tolvex::cli {

QByteArray LineReport::plainLine(const ExportFile& file)
{
    const QByteArray source = printableUtf8(displayPath(file.source));
    switch (file.phase) {
    case ExportFile::Phase::done:
        return "fertig: " + source + " → " + printableUtf8(displayPath(file.output));
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
