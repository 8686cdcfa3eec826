#pragma once

#include "app/update/UpdateCheckResult.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace tolvex::app {

/// One transfer of an update feed, bounded in size and time: the body is
/// refused as soon as it grows past the limit (not after it has arrived), and
/// the whole transfer is given up when it has not finished within the timeout.
/// Emits exactly one of `succeeded` or `failed`, never from its constructor;
/// destroying it first cancels the transfer silently. GUI thread only.
class FeedDownload : public QObject {
    Q_OBJECT

public:
    FeedDownload(QNetworkAccessManager& network, const QUrl& url, std::chrono::milliseconds timeout,
                 qint64 maxBytes, QObject* parent = nullptr);
    ~FeedDownload() override;

Q_SIGNALS:
    void succeeded(const QByteArray& body);
    /// `message` is German and names the address.
    void failed(tolvex::app::UpdateCheckResult::Outcome outcome, const QString& message);

private:
    void checkDeclaredSize();
    void takeData();
    void onFinished();
    void failTooLarge();
    void fail(UpdateCheckResult::Outcome outcome, const QString& message);
    void release();
    QString place() const;
    QString networkFailure() const;

    QUrl m_url;
    std::chrono::milliseconds m_timeout;
    qint64 m_maxBytes;
    QNetworkReply* m_reply = nullptr;
    QTimer m_deadline;
    QByteArray m_body;
};

} // namespace tolvex::app
