#include "model/Status.h"

namespace tolvex::model {

double Status::progress() const
{
    const auto* running = std::get_if<Running>(&m_value);
    return running ? running->progress : 0;
}

QUrl Status::file() const
{
    const auto* done = std::get_if<Done>(&m_value);
    return done ? done->file : QUrl();
}

QString Status::message() const
{
    const auto* failed = std::get_if<Failed>(&m_value);
    return failed ? failed->message : QString();
}

std::optional<Loudness> Status::loudness() const
{
    const auto* done = std::get_if<Done>(&m_value);
    return done ? done->loudness : std::nullopt;
}

} // namespace tolvex::model
