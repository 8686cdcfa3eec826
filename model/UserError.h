#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace tolvex::model {

/// A failure the user is told about: its German message names the file or
/// plugin concerned and is shown unchanged where the failure surfaces.
/// what() gives the same text as UTF-8.
class UserError : public std::exception {
public:
    explicit UserError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace tolvex::model
