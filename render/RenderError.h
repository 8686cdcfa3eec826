#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace tolvex::render {

/// The renderer's own failure; its description for the user is `message`,
/// shown unchanged.
class RenderError : public std::exception {
public:
    explicit RenderError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

/// A render ended because its task was cancelled. Not a failure of the file.
class RenderCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "render cancelled"; }
};

} // namespace tolvex::render
