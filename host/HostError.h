#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace tolvex::host {

/// A failure of the audio host, with a German description for the user that
/// names the file or plugin concerned. Shown unchanged where it surfaces.
class HostError : public std::exception {
public:
    explicit HostError(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {}

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace tolvex::host
