#include "app/update/FeedDownload.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cmath>

namespace tolvex::app {

using Outcome = UpdateCheckResult::Outcome;

namespace {

/// Why a transfer failed, in German, for the reasons a user can act on.
QString describe(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("die Verbindung wurde abgelehnt");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("der Server hat die Verbindung geschlossen");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("der Server wurde nicht gefunden");
    case QNetworkReply::TimeoutError:
        return QStringLiteral("die Verbindung hat zu lange gedauert");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("keine sichere Verbindung möglich");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("kein Netzwerk verfügbar");
    case QNetworkReply::TooManyRedirectsError:
        return QStringLiteral("zu viele Weiterleitungen");
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("Weiterleitung auf eine unsichere Adresse");
    case QNetworkReply::ContentNotFoundError:
        return QStringLiteral("die Datei gibt es nicht");
    case QNetworkReply::ContentAccessDenied:
        return QStringLiteral("der Zugriff wurde verweigert");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return QStringLiteral("der Proxy-Server ist nicht erreichbar");
    default:
        return QStringLiteral("Netzwerkfehler %1").arg(int(error));
    }
}

} // namespace

FeedDownload::FeedDownload(QNetworkAccessManager& network, const QUrl& url,
                           std::chrono::milliseconds timeout, qint64 maxBytes, QObject* parent)
    : QObject(parent), m_url(url), m_timeout(timeout), m_maxBytes(maxBytes)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    m_reply = network.get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &FeedDownload::checkDeclaredSize);
    connect(m_reply, &QNetworkReply::readyRead, this, &FeedDownload::takeData);
    connect(m_reply, &QNetworkReply::finished, this, &FeedDownload::onFinished);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        const auto seconds = std::ceil(m_timeout.count() / 1000.0);
        fail(Outcome::Timeout,
             QStringLiteral("%1 hat nicht innerhalb von %2 geantwortet.")
                 .arg(place(), seconds == 1 ? QStringLiteral("einer Sekunde")
                                            : QStringLiteral("%1 Sekunden").arg(seconds)));
    });
    m_deadline.start(m_timeout);
}

FeedDownload::~FeedDownload()
{
    release();
}

void FeedDownload::checkDeclaredSize()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBytes)
        failTooLarge();
}

void FeedDownload::takeData()
{
    // Read at most one byte past the limit: enough to know it was passed.
    m_body += m_reply->read(m_maxBytes + 1 - m_body.size());
    if (m_body.size() > m_maxBytes)
        failTooLarge();
}

void FeedDownload::onFinished()
{
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        const QString reason =
            m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return fail(Outcome::HttpError,
                    QStringLiteral("%1 antwortete mit dem HTTP-Status %2%3.")
                        .arg(place())
                        .arg(status.toInt())
                        .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
    }
    if (m_reply->error() != QNetworkReply::NoError)
        return fail(Outcome::Unreachable, networkFailure());
    takeData();
    if (!m_reply) // the rest was too much
        return;
    const QByteArray body = std::move(m_body);
    release();
    Q_EMIT succeeded(body);
}

void FeedDownload::failTooLarge()
{
    const QString limit = QLocale(QLocale::German).formattedDataSize(m_maxBytes, 0);
    fail(Outcome::TooLarge,
         QStringLiteral("Der Update-Feed ist größer als %1 und wurde nicht geladen.").arg(limit));
}

void FeedDownload::fail(Outcome outcome, const QString& message)
{
    release();
    Q_EMIT failed(outcome, message);
}

/// Ends the transfer without letting the reply call back.
void FeedDownload::release()
{
    m_deadline.stop();
    if (!m_reply)
        return;
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

/// The feed's place as the user knows it: the server, or the local file.
QString FeedDownload::place() const
{
    if (m_url.isLocalFile())
        return QStringLiteral("Die Datei „%1“").arg(m_url.toLocalFile());
    return QStringLiteral("Der Update-Server „%1“").arg(m_url.host());
}

QString FeedDownload::networkFailure() const
{
    const QString reason = describe(m_reply->error());
    if (m_url.isLocalFile())
        return QStringLiteral("%1 ist nicht lesbar: %2.").arg(place(), reason);
    return QStringLiteral("%1 ist nicht erreichbar: %2.").arg(place(), reason);
}

} // namespace tolvex::app
