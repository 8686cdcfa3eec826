#include "app/UpdateController.h"
#include "app/UpdateDialog.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

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

/// A one-request HTTP server: answers with a canned response, never answers,
/// or streams a body without end until the client gives up.
class FeedServer : public QObject {
public:
    enum class Mode { Answer, Silent, Endless };

    FeedServer(Mode mode, QByteArray response) : m_mode(mode), m_response(std::move(response))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_request += socket->readAll();
                if (m_request.contains("\r\n\r\n"))
                    answer(socket);
            });
        });
    }
    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/a.xml").arg(m_server.serverPort());
    }

private:
    void answer(QTcpSocket* socket)
    {
        if (m_mode == Mode::Answer) {
            socket->write(m_response);
            socket->disconnectFromHost();
        } else if (m_mode == Mode::Endless) {
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            const QByteArray chunk(64 * 1024, 'x');
            connect(socket, &QTcpSocket::bytesWritten, this, [socket, chunk] {
                if (socket->bytesToWrite() < chunk.size())
                    socket->write(chunk);
            });
            socket->write(chunk);
        }
    }

    Mode m_mode;
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
        QTest::addColumn<FeedServer::Mode>("mode");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("address"); // empty: the test server
        QTest::addColumn<Outcome>("outcome");
        using Mode = FeedServer::Mode;
        QTest::newRow("newer") << Mode::Answer << http("200 OK", feed("0.2.0")) << QString()
                               << Outcome::NewerVersion;
        QTest::newRow("same") << Mode::Answer << http("200 OK", feed("0.1")) << QString()
                              << Outcome::UpToDate;
        QTest::newRow("malformed") << Mode::Answer << http("200 OK", "<rss><channel><item>")
                                   << QString() << Outcome::Malformed;
        QTest::newRow("not found")
            << Mode::Answer << http("404 Not Found", "nope") << QString() << Outcome::HttpError;
        QTest::newRow("never answers")
            << Mode::Silent << QByteArray() << QString() << Outcome::Timeout;
        QTest::newRow("endless body")
            << Mode::Endless << QByteArray() << QString() << Outcome::TooLarge;
        QTest::newRow("declared too large")
            << Mode::Answer << http("200 OK", QByteArray(200 * 1024, ' ')) << QString()
            << Outcome::TooLarge;
        QTest::newRow("closed port")
            << Mode::Answer << QByteArray() << "closed" << Outcome::Unreachable;
        QTest::newRow("local file")
            << Mode::Answer << feed("0.1.1") << "file" << Outcome::NewerVersion;
        QTest::newRow("ftp refused") << Mode::Answer << QByteArray()
                                     << "ftp://tolvex.org/appcast.xml" << Outcome::InvalidAddress;
    }

    void check()
    {
        QFETCH(FeedServer::Mode, mode);
        QFETCH(QByteArray, response);
        QFETCH(QString, address);
        QFETCH(Outcome, outcome);
        FeedServer server(mode, response);
        if (address.isEmpty()) {
            address = server.url();
        } else if (address == QLatin1String("closed")) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost);
            address = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
        } else if (address == QLatin1String("file")) {
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
        updates.setTransferTimeout(
            std::chrono::milliseconds(mode == FeedServer::Mode::Silent ? 300 : 60000));
        QList<bool> canCheck;
        std::optional<UpdateCheckResult> result;
        connect(&updates, &UpdateController::canCheckChanged, this,
                [&](bool can) { canCheck << can; });
        connect(&updates, &UpdateController::checkFinished, this, [&](const UpdateCheckResult& r) {
            QVERIFY(updates.canCheck());
            result = r;
        });
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

    void destroyedDuringCheck()
    {
        FeedServer server(FeedServer::Mode::Silent, {});
        QSettings settings(m_dir.filePath(QStringLiteral("destroy.ini")), QSettings::IniFormat);
        settings.setValue(QLatin1String(UpdateController::feedKey), server.url());
        auto updates = std::make_unique<UpdateController>(settings);
        bool finished = false;
        connect(updates.get(), &UpdateController::checkFinished, this, [&] { finished = true; });
        updates->checkForUpdates();
        QTest::qWait(50); // let the connection open
        updates.reset();
        QTest::qWait(50);
        QVERIFY(!finished);
    }

    void dialog_data()
    {
        QTest::addColumn<UpdateCheckResult>("result");
        QTest::addColumn<QString>("heading");
        UpdateCheckResult newer{Outcome::NewerVersion, QStringLiteral("0.1.0"), {}, {}};
        newer.newest.emplace();
        newer.newest->displayVersion = QStringLiteral("0.2.0");
        newer.newest->title = QStringLiteral("Tolvex 0.2.0 – Frühjahrsausgabe");
        newer.newest->notes = QStringLiteral(
            "<h2>Neu</h2><ul><li>Vorschau startet sofort</li><li>Limiter <b>dpl</b> "
            "unterstützt</li></ul><p>Mehr auf <a href=\"https://tolvex.org\">tolvex.org</a>."
            "<img src=\"https://tracker.example/pixel.png\"></p>");
        newer.newest->published = QDateTime(QDate(2025, 3, 4), QTime(10, 0), Qt::UTC);
        newer.newest->notesLink = QUrl(QStringLiteral("https://tolvex.org/notes/0.2.0"));
        newer.newest->download = QUrl(QStringLiteral("https://tolvex.org/download"));
        QTest::newRow("newer") << newer << "Eine neue Version von Tolvex ist verfügbar.";
        QTest::newRow("current") << UpdateCheckResult{Outcome::UpToDate,
                                                      QStringLiteral("0.1.0"),
                                                      {},
                                                      {}}
                                 << "Tolvex ist auf dem neuesten Stand.";
        QTest::newRow("error")
            << UpdateCheckResult{Outcome::Unreachable,
                                 QStringLiteral("0.1.0"),
                                 {},
                                 QStringLiteral("Der Update-Server „tolvex.org“ ist nicht "
                                                "erreichbar: die Verbindung wurde abgelehnt.")}
            << "Die Suche nach Updates ist fehlgeschlagen.";
    }

    void dialog()
    {
        QFETCH(UpdateCheckResult, result);
        tolvex::app::UpdateDialog dialog(result);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTEST(dialog.findChild<QLabel*>(QStringLiteral("heading"))->text(), "heading");
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("download")) != nullptr,
                 result.outcome == Outcome::NewerVersion);
        // Set TOLVEX_GRAB_DIR to look at the dialogs.
        if (const QString dir = qEnvironmentVariable("TOLVEX_GRAB_DIR"); !dir.isEmpty())
            dialog.grab().save(QDir(dir).filePath(
                QStringLiteral("update-%1.png").arg(QLatin1String(QTest::currentDataTag()))));
    }
};

QTEST_MAIN(TestUpdateController)
#include "test_update_controller.moc"
