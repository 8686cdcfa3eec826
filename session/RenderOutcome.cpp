#include "session/RenderOutcome.h"

namespace tolvex::session {

namespace {

/// The status a file gets from what its render threw.
model::Status statusOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const render::RenderCancelled&) {
        return model::Status::waiting();
    } catch (const model::UserError& failure) {
        return model::Status::failed(failure.message());
    } catch (const std::exception& failure) {
        return model::Status::failed(QString::fromUtf8(failure.what()));
    } catch (...) {
        return model::Status::failed(QStringLiteral("Unbekannter Fehler beim Export."));
    }
}

} // namespace

RenderOutcome renderOutcome(host::AudioHost& host, const render::RenderJob& job,
                            const render::ProgressCallback& progress, std::stop_token stop)
{
    RenderOutcome outcome;
    try {
        render::RenderResult result = render::renderFile(host, job, progress, stop);
        outcome.status = model::Status::done(std::move(result.file), std::move(result.loudness));
        outcome.kept = std::move(result.kept);
    } catch (...) {
        outcome.status = statusOf(std::current_exception());
    }
    return outcome;
}

} // namespace tolvex::session
