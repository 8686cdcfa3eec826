#pragma once

#include "app/update/UpdateCheckResult.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QSettings;
class QWidget;

namespace tolvex::app {

class UpdateDialog;

class FeedDownload;

/// Checks for a newer Tolvex when the user asks: reads the update feed named by
/// the per-user setting "updateFeed" (or the built-in address), compares its
/// newest release with the running version and shows the result in a dialog.
/// No check ever starts on its own. `canCheck` is false from the start of a
/// check until it has ended, true otherwise. GUI thread only.
class UpdateController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheck READ canCheck NOTIFY canCheckChanged)

public:
    /// The settings key of the feed address.
    static constexpr const char* feedKey = "updateFeed";
    /// The feed read when the setting is absent or empty.
    static QUrl defaultFeed();

    explicit UpdateController(QSettings& settings, QWidget* dialogParent = nullptr,
                              QObject* parent = nullptr);
    ~UpdateController() override;

    bool canCheck() const { return m_canCheck; }

    /// Starts a check; does nothing while one is under way. Returns at once:
    /// the result comes through `checkFinished` and, unless turned off, a dialog.
    void checkForUpdates();

    /// The address a check reads now: the setting, or the default.
    QUrl feedUrl() const;

    /// The running version; by default the application's version, else the build's.
    QString currentVersion() const;
    void setCurrentVersion(const QString& version) { m_currentVersion = version; }
    /// The longest a transfer may take; 15 s by default.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    /// The largest feed accepted; 1 MiB by default.
    void setMaxFeedBytes(qint64 bytes) { m_maxFeedBytes = bytes; }
    /// Whether a check ends in a dialog (on by default; tests turn it off).
    void setShowsDialog(bool shows) { m_showsDialog = shows; }

Q_SIGNALS:
    void canCheckChanged(bool canCheck);
    /// A check ended; emitted after `canCheck` is true again.
    void checkFinished(const tolvex::app::UpdateCheckResult& result);

private:
    void onFeed(const QByteArray& body, const QUrl& url);
    void finish(UpdateCheckResult result);
    /// The user closed the dialog while the check ran: it ends, unheard.
    void cancel();
    void setCanCheck(bool canCheck);

    QSettings& m_settings;
    QPointer<QWidget> m_dialogParent;
    QNetworkAccessManager* m_network = nullptr; // made on the first check
    FeedDownload* m_download = nullptr;         // the check under way
    QPointer<UpdateDialog> m_dialog;            // showing it, until it closes
    bool m_canCheck = true;
    bool m_showsDialog = true;
    QString m_currentVersion;
    std::chrono::milliseconds m_timeout{15000};
    qint64 m_maxFeedBytes = 1 << 20;
};

} // namespace tolvex::app
