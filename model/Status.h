#pragma once

#include "model/Loudness.h"

#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

namespace tolvex::model {

/// Export state of one file in the list. Cases, in order: running (progress
/// 0...1), done (the written file and its loudness), failed (the message shown in the row) and
/// waiting (new, or cancelled). Equal when case and payload are equal.
class Status {
public:
    struct Running {
        double progress = 0;
        friend bool operator==(const Running&, const Running&) = default;
    };
    struct Done {
        QUrl file;
        /// What the written file measures; absent where it was not measured.
        std::optional<Loudness> loudness;
        friend bool operator==(const Done&, const Done&) = default;
    };
    struct Failed {
        QString message;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    struct Waiting {
        friend bool operator==(const Waiting&, const Waiting&) = default;
    };

    Status() = default; // waiting
    static Status running(double progress) { return Status(Running{progress}); }
    static Status done(QUrl file, std::optional<Loudness> loudness = std::nullopt)
    {
        return Status(Done{std::move(file), std::move(loudness)});
    }
    static Status failed(QString message) { return Status(Failed{std::move(message)}); }
    static Status waiting() { return {}; }

    bool isRunning() const { return std::holds_alternative<Running>(m_value); }
    bool isDone() const { return std::holds_alternative<Done>(m_value); }
    bool isFailed() const { return std::holds_alternative<Failed>(m_value); }
    bool isWaiting() const { return std::holds_alternative<Waiting>(m_value); }

    /// The payloads; each is only meaningful in its own case (0, an empty URL
    /// or an empty text otherwise).
    double progress() const;
    QUrl file() const;
    QString message() const;
    std::optional<Loudness> loudness() const;

    const std::variant<Running, Done, Failed, Waiting>& value() const { return m_value; }

    friend bool operator==(const Status&, const Status&) = default;

private:
    template <typename Case>
    explicit Status(Case value) : m_value(std::move(value))
    {}

    std::variant<Running, Done, Failed, Waiting> m_value{Waiting{}};
};

} // namespace tolvex::model
