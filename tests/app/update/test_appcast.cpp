#include "app/update/Appcast.h"
#include "app/update/ReleaseNotes.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using tolvex::app::Appcast;
using tolvex::app::AppcastItem;
using tolvex::app::Version;

namespace {

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
           "<channel><title>Tolvex</title>" +
           items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& url = "https://tolvex.org/t.tar.gz")
{
    return "<item><title>Tolvex " + version + "</title><enclosure url=\"" + url +
           "\" sparkle:version=\"" + version + "\" length=\"1\" type=\"application/gzip\"/></item>";
}

} // namespace

class TestAppcast : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newest_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Appcast::Error>("error");
        QTest::addColumn<QString>("found"); // "version download"
        using E = Appcast::Error;
        QTest::newRow("newest of several, numerically")
            << feed(item("0.9") + item("0.10", "https://tolvex.org/ten") + item("0.2")) << E::None
            << "0.10 https://tolvex.org/ten";
        QTest::newRow("elements, short version shown, relative link")
            << feed("<item><sparkle:version>12</sparkle:version><sparkle:shortVersionString>1.2"
                    "</sparkle:shortVersionString><link>dl/1.2</link></item>")
            << E::None << "1.2 https://tolvex.org/dl/1.2";
        QTest::newRow("another system's enclosure skipped")
            << feed(item("0.3") + "<item><enclosure url=\"https://tolvex.org/w.exe\" "
                                  "sparkle:os=\"windows\" sparkle:version=\"9.0\"/></item>")
            << E::None << "0.3 https://tolvex.org/t.tar.gz";
        QTest::newRow("unsafe link") << feed(item("2.0", "javascript:alert(1)")) << E::NoUsableItem;
        QTest::newRow("version without a number") << feed(item("beta")) << E::NoUsableItem;
        QTest::newRow("item without version")
            << feed("<item><title>Neu</title><link>https://tolvex.org</link></item>")
            << E::NoUsableItem;
        QTest::newRow("no items") << feed("") << E::NoItems;
        QTest::newRow("not RSS") << QByteArray("<html><body>404</body></html>") << E::NotAFeed;
        QTest::newRow("truncated XML") << feed(item("1.0")).chopped(20) << E::Malformed;
        QTest::newRow("empty") << QByteArray() << E::Malformed;
    }

    void newest()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Appcast::Error, error);
        const Appcast::Result result =
            Appcast::newest(bytes, QUrl(QStringLiteral("https://tolvex.org/appcast.xml")));
        QCOMPARE(result.error, error);
        QCOMPARE(result.newest.has_value(), error == Appcast::Error::None);
        QCOMPARE(result.message.isEmpty(), error == Appcast::Error::None);
        if (result.newest)
            QTEST(result.newest->displayVersion + ' ' + result.newest->download.toString(),
                  "found");
    }

    void readsNotesDateAndLink()
    {
        const Appcast::Result result = Appcast::newest(
            feed("<item><title>Frühjahr</title><pubDate>Tue, 04 Mar 2025 10:00:00 +0000</pubDate>"
                 "<description><![CDATA[<p>Neu: <b>Limiter</b></p>]]></description>"
                 "<sparkle:releaseNotesLink>https://tolvex.org/notes</sparkle:releaseNotesLink>"
                 "<enclosure url=\"https://tolvex.org/t\" sparkle:version=\"1.0\"/></item>"));
        QVERIFY(result.newest);
        QCOMPARE(result.newest->title, QStringLiteral("Frühjahr"));
        QCOMPARE(result.newest->notes, QStringLiteral("<p>Neu: <b>Limiter</b></p>"));
        QCOMPARE(result.newest->published, QDateTime(QDate(2025, 3, 4), QTime(10, 0), Qt::UTC));
        QCOMPARE(result.newest->notesLink, QUrl(QStringLiteral("https://tolvex.org/notes")));
    }

    void versionOrder_data()
    {
        QTest::addColumn<QString>("order"); // "a < b" or "a = b"
        for (const char* row :
             {"0.9 < 0.10", "1.0 = 1.0.0", "1.99.99 < 2", "1.0-beta < 1.0",
              "1.0-beta2 < 1.0-beta10", "2.0a1 < 2.0b1", "2.0rc3 < 2.0.0", "v1.2+build7 = 1.2"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }

    void versionOrder()
    {
        QFETCH(QString, order);
        const QStringList parts = order.split(' ');
        const auto a = Version::parse(parts[0]);
        const auto b = Version::parse(parts[2]);
        QVERIFY(a && b);
        if (parts[1] == u"=")
            QVERIFY(*a == *b);
        else
            QVERIFY(*a<*b&& * b> * a);
    }

    void notesLoseImagesColoursAndUnsafeLinks()
    {
        const QString html = QStringLiteral(
            "<h1>Neu</h1><p style=\"color:red;font-size:60px\">Rot <b>fett</b>"
            "<img src=\"file:///etc/hostname\"> <a href=\"javascript:alert(1)\">böse</a> "
            "<a href=\"https://tolvex.org\">gut</a></p><ul><li>Punkt</li></ul>");
        std::unique_ptr<QTextDocument> document(
            tolvex::app::ReleaseNotes::document(html, AppcastItem::NotesFormat::Html, nullptr));
        QCOMPARE(document->toPlainText().simplified(),
                 QStringLiteral("Neu Rot fett böse gut Punkt"));
        QStringList links;
        bool bold = false;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                QVERIFY(!format.isImageFormat());
                QVERIFY(format.isAnchor() || !format.hasProperty(QTextFormat::ForegroundBrush));
                QVERIFY(!format.hasProperty(QTextFormat::FontPixelSize));
                bold = bold || format.fontWeight() == QFont::Bold;
                if (format.isAnchor())
                    links << format.anchorHref();
            }
        QVERIFY(bold);
        QCOMPARE(links, QStringList{QStringLiteral("https://tolvex.org")});
        QVERIFY(document->begin().next().next().textList()); // the list stays
    }
};

QTEST_MAIN(TestAppcast)
#include "test_appcast.moc"
