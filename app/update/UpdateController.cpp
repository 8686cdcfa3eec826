#include "app/update/UpdateController.h"

#include "app/update/Appcast.h"
#include "app/update/FeedDownload.h"
#include "app/update/UpdateDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QWidget>

namespace tolvex::app {

using Outcome = UpdateCheckResult::Outcome;

QUrl UpdateController::defaultFeed()
{
    return QUrl(QStringLiteral("https://tolvex.org/appcast.xml"));
}

UpdateController::UpdateController(QSettings& settings, QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_settings(settings), m_dialogParent(dialogParent)
{}

UpdateController::~UpdateController()
{
    delete m_download; // cancels silently, before the network goes
    if (m_dialog && m_dialog->isWaiting())
        delete m_dialog; // nothing is left that could answer it
}

QUrl UpdateController::feedUrl() const
{
    const QString text = m_settings.value(QLatin1String(feedKey)).toString().trimmed();
    if (text.isEmpty())
        return defaultFeed();
    if (QDir::isAbsolutePath(text))
        return QUrl::fromLocalFile(text);
    return QUrl(text, QUrl::StrictMode);
}

QString UpdateController::currentVersion() const
{
    if (!m_currentVersion.isEmpty())
        return m_currentVersion;
    const QString application = QCoreApplication::applicationVersion();
    return application.isEmpty() ? QStringLiteral(TOLVEX_VERSION) : application;
}

void UpdateController::checkForUpdates()
{
    if (!m_canCheck)
        return;
    const QUrl url = feedUrl();
    const QString scheme = url.scheme();
    const bool web = scheme == QLatin1String("https") || scheme == QLatin1String("http");
    if (!url.isValid() || (web && url.host().isEmpty()) ||
        (!web && scheme != QLatin1String("file"))) {
        UpdateCheckResult result;
        result.outcome = Outcome::InvalidAddress;
        result.message = QStringLiteral("Die Update-Adresse „%1“ ist ungültig: erlaubt sind "
                                        "https-, http- und Datei-Adressen.")
                             .arg(m_settings.value(QLatin1String(feedKey)).toString());
        return finish(std::move(result));
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    setCanCheck(false);
    if (m_showsDialog) {
        m_dialog = new UpdateDialog(m_dialogParent);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_dialog, &QDialog::rejected, this, &UpdateController::cancel);
        m_dialog->open();
    }
    m_download = new FeedDownload(*m_network, url, m_timeout, m_maxFeedBytes, this);
    connect(m_download, &FeedDownload::succeeded, this,
            [this, url](const QByteArray& body) { onFeed(body, url); });
    connect(m_download, &FeedDownload::failed, this,
            [this](Outcome outcome, const QString& message) {
                UpdateCheckResult result;
                result.outcome = outcome;
                result.message = message;
                finish(std::move(result));
            });
}

void UpdateController::onFeed(const QByteArray& body, const QUrl& url)
{
    Appcast::Result feed = Appcast::newest(body, url);
    UpdateCheckResult result;
    if (!feed.newest) {
        result.outcome =
            feed.error == Appcast::Error::Malformed || feed.error == Appcast::Error::NotAFeed
                ? Outcome::Malformed
                : Outcome::NoUsableItem;
        result.message = feed.message;
        return finish(std::move(result));
    }
    const std::optional<Version> running = Version::parse(currentVersion());
    result.outcome =
        !running || feed.newest->version > *running ? Outcome::NewerVersion : Outcome::UpToDate;
    result.newest = std::move(feed.newest);
    finish(std::move(result));
}

void UpdateController::finish(UpdateCheckResult result)
{
    if (m_download) // called from its signal: let it return first
        std::exchange(m_download, nullptr)->deleteLater();
    result.currentVersion = currentVersion();
    setCanCheck(true);
    Q_EMIT checkFinished(result);
    if (m_dialog) {
        m_dialog->showResult(result);
    } else if (m_showsDialog) {
        auto* dialog = new UpdateDialog(result, m_dialogParent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    }
}

void UpdateController::cancel()
{
    if (!m_download)
        return;
    delete std::exchange(m_download, nullptr); // its reply is aborted with it
    setCanCheck(true);
}

void UpdateController::setCanCheck(bool canCheck)
{
    if (m_canCheck == canCheck)
        return;
    m_canCheck = canCheck;
    Q_EMIT canCheckChanged(canCheck);
}

} // namespace tolvex::app
