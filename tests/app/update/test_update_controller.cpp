#include "app/update/UpdateController.h"
#include "app/update/UpdateDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using tolvex::app::UpdateCheckResult;
using tolvex::app::UpdateController;
using Outcome = UpdateCheckResult::Outcome;

namespace {

QByteArray feed(const QByteArray& version)
{
    return "<rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
           "<item><title>Tolvex " +
           version +
           "</title><description>Schneller.\nLeiser.</description>"
           "<enclosure url=\"https://tolvex.org/get\" sparkle:version=\"" +
           version + "\"/></item></channel></rss>";
}

QByteArray http(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

/// A one-request HTTP server that answers with `response`; never answers
/// when it is empty, and streams a body without end for "endless".
class FeedServer : public QObject {
public:
    explicit FeedServer(QByteArray response) : m_response(std::move(response))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_request += socket->readAll();
                if (asked())
                    answer(socket);
            });
        });
    }
    bool asked() const { return m_request.contains("\r\n\r\n"); }
    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/a.xml").arg(m_server.serverPort());
    }

private:
    void answer(QTcpSocket* socket)
    {
        if (m_response != "endless") {
            socket->write(m_response);
            if (!m_response.isEmpty())
                socket->disconnectFromHost();
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        const QByteArray chunk(64 * 1024, 'x');
        connect(socket, &QTcpSocket::bytesWritten, this, [socket, chunk] {
            if (socket->bytesToWrite() < chunk.size())
                socket->write(chunk);
        });
        socket->write(chunk);
    }

    QByteArray m_response;
    QByteArray m_request;
    QTcpServer m_server;
};

} // namespace

class TestUpdateController : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void check_data()
    {
        QTest::addColumn<QString>("address"); // empty: the test server, giving `response`
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<Outcome>("outcome");
        const QString server;
        QTest::newRow("newer") << server << http("200 OK", feed("0.2.0")) << Outcome::NewerVersion;
        QTest::newRow("same") << server << http("200 OK", feed("0.1")) << Outcome::UpToDate;
        QTest::newRow("malformed")
            << server << http("200 OK", "<rss><channel><item>") << Outcome::Malformed;
        QTest::newRow("not found") << server << http("404 Not Found", "nope") << Outcome::HttpError;
        QTest::newRow("never answers") << server << QByteArray() << Outcome::Timeout;
        QTest::newRow("endless body") << server << QByteArray("endless") << Outcome::TooLarge;
        QTest::newRow("declared too large")
            << server << http("200 OK", QByteArray(200 * 1024, ' ')) << Outcome::TooLarge;
        QTest::newRow("closed port") << "closed" << QByteArray() << Outcome::Unreachable;
        QTest::newRow("local file") << "file" << feed("0.1.1") << Outcome::NewerVersion;
        QTest::newRow("ftp refused")
            << "ftp://tolvex.org/appcast.xml" << QByteArray() << Outcome::InvalidAddress;
    }

    void check()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, response);
        QFETCH(Outcome, outcome);
        const bool silent = address.isEmpty() && response.isEmpty();
        FeedServer server(response);
        if (address.isEmpty()) {
            address = server.url();
        } else if (address == u"closed") {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost);
            address = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
        } else if (address == u"file") {
            address = m_dir.filePath(QStringLiteral("appcast.xml"));
            QFile file(address);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(response) == response.size());
        }
        QSettings settings(m_dir.filePath(QStringLiteral("check.ini")), QSettings::IniFormat);
        settings.setValue(QLatin1String(UpdateController::feedKey), address);
        UpdateController updates(settings);
        const bool dialog = outcome == Outcome::InvalidAddress; // one row shows it
        updates.setShowsDialog(dialog);
        updates.setCurrentVersion(QStringLiteral("0.1.0"));
        updates.setMaxFeedBytes(100 * 1024);
        // Long enough for a loaded machine, unless the server is meant to be silent.
        updates.setTransferTimeout(std::chrono::milliseconds(silent ? 300 : 60000));
        QList<bool> canCheck;
        std::optional<UpdateCheckResult> result;
        connect(&updates, &UpdateController::canCheckChanged, this,
                [&](bool can) { canCheck << can; });
        connect(&updates, &UpdateController::checkFinished, this,
                [&](const UpdateCheckResult& r) { result = r; });
        updates.checkForUpdates();
        if (outcome != Outcome::InvalidAddress) {
            QVERIFY(!updates.canCheck());
            updates.checkForUpdates(); // ignored while one runs
        }
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 60000);
        QCOMPARE(result->outcome, outcome);
        QCOMPARE(result->failed(), !result->message.isEmpty());
        QCOMPARE(result->currentVersion, QStringLiteral("0.1.0"));
        QVERIFY(updates.canCheck());
        auto* shown = qobject_cast<tolvex::app::UpdateDialog*>(QApplication::activeModalWidget());
        QCOMPARE(shown != nullptr, dialog);
        delete shown;
        const QList<bool> expected =
            outcome == Outcome::InvalidAddress ? QList<bool>{} : QList<bool>{false, true};
        QCOMPARE(canCheck, expected);
    }

    void theDialogShowsAtOnceThatACheckRuns_data()
    {
        QTest::addColumn<bool>("answered"); // else the user cancels
        QTest::newRow("answered") << true;
        QTest::newRow("cancelled") << false;
    }

    void theDialogShowsAtOnceThatACheckRuns()
    {
        QFETCH(bool, answered);
        FeedServer server(answered ? http("200 OK", feed("9.0")) : QByteArray());
        QSettings settings(m_dir.filePath(QStringLiteral("busy.ini")), QSettings::IniFormat);
        settings.setValue(QLatin1String(UpdateController::feedKey), server.url());
        UpdateController updates(settings);
        updates.setCurrentVersion(QStringLiteral("0.1.0"));
        int finished = 0;
        connect(&updates, &UpdateController::checkFinished, this, [&] { ++finished; });
        updates.checkForUpdates();
        auto* dialog = qobject_cast<tolvex::app::UpdateDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog); // before any answer could arrive
        QVERIFY(dialog->isWaiting());
        QVERIFY(dialog->findChild<QProgressBar*>(QStringLiteral("busy")));
        QPointer<tolvex::app::UpdateDialog> shown = dialog;
        if (answered) {
            QTRY_VERIFY_WITH_TIMEOUT(!dialog->isWaiting(), 60000);
            QCOMPARE(QApplication::activeModalWidget(), dialog); // the same dialog, answered
            QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("heading"))->text(),
                     QStringLiteral("Eine neue Version von Tolvex ist verfügbar."));
            QVERIFY(!dialog->findChild<QProgressBar*>(QStringLiteral("busy")));
            QCOMPARE(finished, 1);
            dialog->reject();
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(server.asked(), 20000);
            dialog->reject(); // "Abbrechen"
            QVERIFY(updates.canCheck());
            QTest::qWait(50); // room for a late answer to arrive
            QCOMPARE(finished, 0);
        }
        QTRY_VERIFY(shown.isNull()); // closed and gone
        QVERIFY(updates.canCheck());
    }

    void destroyedDuringCheck()
    {
        FeedServer server({});
        QSettings settings(m_dir.filePath(QStringLiteral("destroy.ini")), QSettings::IniFormat);
        settings.setValue(QLatin1String(UpdateController::feedKey), server.url());
        auto updates = std::make_unique<UpdateController>(settings);
        bool finished = false;
        connect(updates.get(), &UpdateController::checkFinished, this, [&] { finished = true; });
        updates->checkForUpdates();
        const QPointer<QWidget> waiting = QApplication::activeModalWidget();
        QVERIFY(waiting);
        QTRY_VERIFY_WITH_TIMEOUT(server.asked(), 20000);
        updates.reset();
        QVERIFY(waiting.isNull()); // no dialog left waiting for an answer that cannot come
        QTest::qWait(50);          // room for a late answer to arrive, and crash
        QVERIFY(!finished);
    }

    void dialogOffersTheDownloadOnlyForANewerVersion_data()
    {
        QTest::addColumn<UpdateCheckResult>("result");
        UpdateCheckResult newer{Outcome::NewerVersion, QStringLiteral("0.1.0"), {}, {}};
        newer.newest.emplace();
        newer.newest->displayVersion = QStringLiteral("0.2.0");
        newer.newest->notes = QStringLiteral("<ul><li>Vorschau startet sofort</li></ul>");
        newer.newest->download = QUrl(QStringLiteral("https://tolvex.org/download"));
        QTest::newRow("newer") << newer;
        QTest::newRow("current") << UpdateCheckResult{Outcome::UpToDate, "0.1.0", {}, {}};
        QTest::newRow("error") << UpdateCheckResult{
            Outcome::Unreachable, "0.1.0", {}, "Der Update-Server ist nicht erreichbar."};
    }

    void dialogOffersTheDownloadOnlyForANewerVersion()
    {
        QFETCH(UpdateCheckResult, result);
        const tolvex::app::UpdateDialog dialog(result);
        const bool newer = result.outcome == Outcome::NewerVersion;
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("download")) != nullptr, newer);
        QCOMPARE(dialog.findChild<QTextBrowser*>(QStringLiteral("notes")) != nullptr, newer);
        if (result.failed()) // the message says why
            QVERIFY(std::ranges::any_of(dialog.findChildren<QLabel*>(), [&](QLabel* label) {
                return label->text() == result.message;
            }));
    }

    // A feed's 3,000-character version (or title, or a server's message)
    // is cut: the dialog fits on the screen with its buttons.
    void longFeedTextsKeepTheDialogOnTheScreen_data()
    {
        QTest::addColumn<UpdateCheckResult>("result");
        const QString word(3000, u'9');
        const QString words = QStringLiteral("1 ").repeated(1500);
        UpdateCheckResult newer{Outcome::NewerVersion, QStringLiteral("0.1.0"), {}, {}};
        newer.newest.emplace();
        newer.newest->displayVersion = word;
        newer.newest->notes = QStringLiteral("Schneller.");
        newer.newest->download = QUrl(QStringLiteral("https://tolvex.org/download"));
        QTest::newRow("version in one word") << newer;
        newer.newest->displayVersion = words;
        QTest::newRow("version of many words") << newer;
        newer.newest->displayVersion = QStringLiteral("0.2.0");
        newer.newest->title = word;
        QTest::newRow("title") << newer;
        QTest::newRow("message in one word")
            << UpdateCheckResult{Outcome::Unreachable, "0.1.0", {}, "Fehler: " + word};
        QTest::newRow("message of many words")
            << UpdateCheckResult{Outcome::Unreachable, "0.1.0", {}, "Fehler: " + words};
    }
    void longFeedTextsKeepTheDialogOnTheScreen()
    {
        QFETCH(UpdateCheckResult, result);
        tolvex::app::UpdateDialog dialog(result);
        dialog.show();
        const QSize screen = dialog.screen()->availableGeometry().size();
        QVERIFY2(dialog.width() <= screen.width() && dialog.height() <= screen.height(),
                 qPrintable(QStringLiteral("%1 × %2").arg(dialog.width()).arg(dialog.height())));
        QVERIFY(dialog.minimumSizeHint().width() <= screen.width());
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            QVERIFY(
                dialog.rect().contains(QRect(button->mapTo(&dialog, QPoint()), button->size())));
    }
};

QTEST_MAIN(TestUpdateController)
#include "test_update_controller.moc"
