#include "session/WorkerProtocol.h"

#include "model/ChainDocument.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>

namespace tolvex::session {

namespace {

QByteArray line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> object(QByteArrayView line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

/// 64-bit numbers travel as decimal text: JSON numbers are doubles.
std::optional<quint64> number(const QJsonValue& value)
{
    bool ok = false;
    const quint64 result = value.toString().toULongLong(&ok);
    return ok ? std::optional(result) : std::nullopt;
}

QJsonValue writeTarget(const std::optional<model::LoudnessTarget>& target)
{
    if (!target)
        return QJsonValue::Null;
    return QJsonObject{
        {"level", target->loudness}, {"ceiling", target->ceiling}, {"album", target->album}};
}

std::optional<model::LoudnessTarget> readTarget(const QJsonValue& value)
{
    const QJsonObject target = value.toObject();
    if (!target["level"].isDouble() || !target["ceiling"].isDouble())
        return std::nullopt;
    return model::LoudnessTarget{target["level"].toDouble(), target["ceiling"].toDouble(),
                                 target["album"].toBool()};
}

QJsonValue optionalNumber(const std::optional<double>& value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

std::optional<double> optionalNumber(const QJsonValue& value)
{
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

QJsonValue writeAlbum(const std::optional<render::RenderJob::AlbumPass>& album)
{
    if (!album)
        return QJsonValue::Null;
    QJsonObject object{{"scratch", album->scratch}, {"channels", album->channels}};
    if (album->gain)
        object["gain"] = QJsonObject{{"dB", album->gain->gain},
                                     {"shortfall", optionalNumber(album->gain->shortfall)}};
    return object;
}

std::optional<render::RenderJob::AlbumPass> readAlbum(const QJsonValue& value)
{
    const QJsonObject album = value.toObject();
    if (!album["scratch"].isString())
        return std::nullopt;
    render::RenderJob::AlbumPass pass{album["scratch"].toString(), std::nullopt,
                                      album["channels"].toInt()};
    const QJsonObject gain = album["gain"].toObject();
    if (gain["dB"].isDouble())
        pass.gain = model::TargetGain{gain["dB"].toDouble(), optionalNumber(gain["shortfall"])};
    return pass;
}

/// The blocks as the bytes of their doubles in Base64: exact, and a third of
/// JSON's decimals. Parent and worker run on one machine: its byte order.
QString writeBlocks(const model::GatingBlocks& blocks)
{
    const QByteArray bytes(reinterpret_cast<const char*>(blocks.data()),
                           qsizetype(blocks.size() * sizeof(double)));
    return QString::fromLatin1(bytes.toBase64());
}

std::optional<model::GatingBlocks> readBlocks(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromBase64(value.toString().toLatin1());
    if (bytes.size() % qsizetype(sizeof(double)) != 0)
        return std::nullopt;
    model::GatingBlocks blocks(size_t(bytes.size()) / sizeof(double));
    std::memcpy(blocks.data(), bytes.constData(), size_t(bytes.size()));
    return blocks;
}

QJsonValue writeKept(const std::optional<render::RenderResult::Kept>& kept)
{
    if (!kept)
        return QJsonValue::Null;
    return QJsonObject{{"blocks", writeBlocks(kept->share.blocks)},
                       {"truePeak", optionalNumber(kept->share.truePeak)},
                       {"channels", kept->channels}};
}

std::optional<render::RenderResult::Kept> readKept(const QJsonValue& value)
{
    const QJsonObject kept = value.toObject();
    auto blocks = readBlocks(kept["blocks"]);
    if (!blocks || !kept["channels"].isDouble())
        return std::nullopt;
    return render::RenderResult::Kept{{std::move(*blocks), optionalNumber(kept["truePeak"])},
                                      kept["channels"].toInt()};
}

QJsonObject writeJob(const render::RenderJob& job)
{
    return {{"source", job.source.toLocalFile()},
            {"target", job.target.toLocalFile()},
            {"format", model::rawValue(job.format)},
            {"chain", QString::fromUtf8(model::encodeChain(job.plugins))},
            {"number", job.targetNumber},
            {"threads", job.threads},
            {"loudness", writeTarget(job.loudnessTarget)},
            {"album", writeAlbum(job.album)}};
}

std::optional<render::RenderJob> readJob(const QJsonObject& object)
{
    const auto format = model::exportFormatFromRawValue(object["format"].toString());
    auto plugins = model::decodeChain(object["chain"].toString().toUtf8());
    const QString source = object["source"].toString();
    const QString target = object["target"].toString();
    if (!format || !plugins || source.isEmpty() || target.isEmpty())
        return std::nullopt;
    render::RenderJob job{QUrl::fromLocalFile(source), QUrl::fromLocalFile(target),
                          std::move(*plugins),         *format,
                          object["number"].toInt(),    std::max(object["threads"].toInt(1), 1)};
    job.loudnessTarget = readTarget(object["loudness"]);
    job.album = readAlbum(object["album"]);
    return job;
}

QJsonValue writeLoudness(const std::optional<model::Loudness>& loudness)
{
    if (!loudness)
        return QJsonValue::Null;
    return QJsonObject{{"integrated", optionalNumber(loudness->integrated)},
                       {"range", optionalNumber(loudness->range)},
                       {"truePeak", optionalNumber(loudness->truePeak)},
                       {"tooShort", loudness->tooShort},
                       {"belowTarget", optionalNumber(loudness->belowTarget)}};
}

std::optional<model::Loudness> readLoudness(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    return model::Loudness{optionalNumber(object["integrated"]), optionalNumber(object["range"]),
                           optionalNumber(object["truePeak"]), object["tooShort"].toBool(),
                           optionalNumber(object["belowTarget"])};
}

QJsonObject writeOutcome(const RenderOutcome& outcome)
{
    const model::Status& status = outcome.status;
    if (status.isDone())
        return {{"status", "done"},
                {"file", status.file().toLocalFile()},
                {"loudness", writeLoudness(status.loudness())},
                {"kept", writeKept(outcome.kept)}};
    if (status.isFailed())
        return {{"status", "failed"}, {"message", status.message()}};
    return {{"status", "cancelled"}};
}

std::optional<RenderOutcome> readOutcome(const QJsonObject& object)
{
    const QString status = object["status"].toString();
    if (status == u"done" && object["file"].isString())
        return RenderOutcome{model::Status::done(QUrl::fromLocalFile(object["file"].toString()),
                                                 readLoudness(object["loudness"])),
                             readKept(object["kept"])};
    if (status == u"failed" && object["message"].isString())
        return RenderOutcome{model::Status::failed(object["message"].toString())};
    if (status == u"cancelled")
        return RenderOutcome{model::Status::waiting()};
    return std::nullopt;
}

struct ReportWriter {
    QJsonObject operator()(const ReadyReport&) const { return {{"ready", true}}; }
    QJsonObject operator()(const ProgressReport& report) const
    {
        return {{"progress", report.fraction}};
    }
    QJsonObject operator()(const TickReport& report) const
    {
        return {{"tick",
                 QJsonObject{{"blocks", QString::number(report.blocks)}, {"stage", report.stage}}}};
    }
    QJsonObject operator()(const CreatedReport& report) const
    {
        return {{"created", QJsonObject{{"path", report.path},
                                        {"device", QString::number(report.device)},
                                        {"inode", QString::number(report.inode)}}}};
    }
    QJsonObject operator()(const EndedReport& report) const
    {
        return {{"ended", writeOutcome(report.outcome)}};
    }
    QJsonObject operator()(const CrashedReport& report) const
    {
        return {{"crashed", report.stage}};
    }
};

std::optional<WorkerReport> readTick(const QJsonObject& tick)
{
    const auto blocks = number(tick["blocks"]);
    if (!blocks || !tick["stage"].isDouble())
        return std::nullopt;
    return TickReport{*blocks, tick["stage"].toInt(-1)};
}

std::optional<WorkerReport> readCreated(const QJsonObject& created)
{
    const auto device = number(created["device"]);
    const auto inode = number(created["inode"]);
    if (!device || !inode || !created["path"].isString())
        return std::nullopt;
    return CreatedReport{created["path"].toString(), *device, *inode};
}

} // namespace

QByteArray writeRequest(const WorkerRequest& request)
{
    if (const auto* job = std::get_if<render::RenderJob>(&request))
        return line({{"render", writeJob(*job)}});
    return line({{"cancel", true}});
}

std::optional<WorkerRequest> readRequest(QByteArrayView text)
{
    const auto message = object(text);
    if (!message)
        return std::nullopt;
    if (message->value("cancel") == true)
        return CancelRequest{};
    if (auto job = readJob(message->value("render").toObject()))
        return std::move(*job);
    return std::nullopt;
}

QByteArray writeReport(const WorkerReport& report)
{
    return line(std::visit(ReportWriter{}, report));
}

std::optional<WorkerReport> readReport(QByteArrayView text)
{
    const auto message = object(text);
    if (!message || message->size() != 1)
        return std::nullopt;
    const QString kind = message->begin().key();
    const QJsonValue value = message->begin().value();
    if (kind == u"ready")
        return ReadyReport{};
    if (kind == u"progress" && value.isDouble())
        return ProgressReport{value.toDouble()};
    if (kind == u"tick")
        return readTick(value.toObject());
    if (kind == u"created")
        return readCreated(value.toObject());
    if (kind == u"ended") {
        if (auto outcome = readOutcome(value.toObject()))
            return EndedReport{std::move(*outcome)};
        return std::nullopt;
    }
    if (kind == u"crashed" && value.isDouble())
        return CrashedReport{value.toInt(-1)};
    return std::nullopt;
}

} // namespace tolvex::session
