#include "host/PropertyList.h"

#include <QDateTime>
#include <QTest>

using namespace tolvex::host;

class TestPropertyList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void binaryRoundTripKeepsEveryValueType()
    {
        const QDateTime date(QDate(2024, 2, 29), QTime(13, 14, 15, 250), Qt::UTC);
        const PropertyDictionary nested{
            {QStringLiteral("level"), 0.25},
            {QStringLiteral("list"), QVariantList{1, QStringLiteral("zwei")}}};
        const PropertyDictionary dictionary{
            {QStringLiteral("text"), QStringLiteral("Grüße 🎛")},
            {QStringLiteral("integer"), qint64(-42)},
            {QStringLiteral("big"), qint64(1) << 40},
            {QStringLiteral("real"), 3.5},
            {QStringLiteral("yes"), true},
            {QStringLiteral("no"), false},
            {QStringLiteral("data"), QByteArray("\x00\x01\xfe\xff", 4)},
            {QStringLiteral("date"), date},
            {QStringLiteral("array"), QVariantList{QStringLiteral("a"), 2, QVariantList{}}},
            {QStringLiteral("nested"), nested},
            {QStringLiteral(""), QStringLiteral("empty key")},
        };
        const auto bytes = writeBinaryPropertyList(dictionary);
        QVERIFY(bytes);
        QVERIFY(bytes->startsWith("bplist00"));

        const auto read = readPropertyList(*bytes);
        QVERIFY(read);
        QCOMPARE(read->keys(), dictionary.keys());
        QCOMPARE(read->value("text").toString(), QStringLiteral("Grüße 🎛"));
        QCOMPARE(read->value("integer").toLongLong(), -42);
        QCOMPARE(read->value("big").toLongLong(), qint64(1) << 40);
        QCOMPARE(read->value("real").toDouble(), 3.5);
        QCOMPARE(read->value("yes").metaType().id(), QMetaType::Bool);
        QCOMPARE(read->value("yes").toBool(), true);
        QCOMPARE(read->value("no").toBool(), false);
        QCOMPARE(read->value("data").toByteArray(), QByteArray("\x00\x01\xfe\xff", 4));
        QCOMPARE(read->value("date").toDateTime(), date);
        QCOMPARE(read->value("array").toList().size(), 3);
        QCOMPARE(read->value("array").toList().at(1).toLongLong(), 2);
        QCOMPARE(read->value("nested").toMap().value("list").toList().at(1).toString(),
                 QStringLiteral("zwei"));
        QCOMPARE(read->value("").toString(), QStringLiteral("empty key"));
    }

    void emptyDictionary()
    {
        const auto bytes = writeBinaryPropertyList({});
        QVERIFY(bytes);
        const auto read = readPropertyList(*bytes);
        QVERIFY(read);
        QVERIFY(read->isEmpty());
    }

    void readsXml()
    {
        const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                               "<plist version=\"1.0\"><dict>\n"
                               "  <key>name</key><string>Hall</string>\n"
                               "  <key>gain</key><real>-6.5</real>\n"
                               "  <key>steps</key><integer>12</integer>\n"
                               "  <key>on</key><true/>\n"
                               "  <key>blob</key><data>AAEC</data>\n"
                               "</dict></plist>\n";
        const auto read = readPropertyList(xml);
        QVERIFY(read);
        QCOMPARE(read->value("name").toString(), QStringLiteral("Hall"));
        QCOMPARE(read->value("gain").toDouble(), -6.5);
        QCOMPARE(read->value("steps").toLongLong(), 12);
        QCOMPARE(read->value("on").toBool(), true);
        QCOMPARE(read->value("blob").toByteArray(), QByteArray("\x00\x01\x02", 3));
    }

    void rejectsWhatIsNotADictionary_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("definitely not a property list");
        QTest::newRow("truncated binary") << writeBinaryPropertyList({{"a", 1}})->left(20);
        QTest::newRow("json") << QByteArray(R"({"a": 1})");
        QTest::newRow("xml array")
            << QByteArray("<?xml version=\"1.0\"?><plist "
                          "version=\"1.0\"><array><string>a</string></array></plist>");
        QTest::newRow("xml string") << QByteArray(
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>a</string></plist>");
    }
    void rejectsWhatIsNotADictionary()
    {
        QFETCH(QByteArray, data);
        QVERIFY(!readPropertyList(data));
    }

    void refusesValuesAPropertyListCannotHold_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("invalid") << QVariant();
        QTest::newRow("url") << QVariant(QUrl(QStringLiteral("file:///x")));
        QTest::newRow("nested invalid") << QVariant(QVariantList{1, QVariant()});
        QTest::newRow("date out of range")
            << QVariant(QDateTime(QDate(2200, 1, 1), QTime(0, 0), Qt::UTC));
    }
    void refusesValuesAPropertyListCannotHold()
    {
        QFETCH(QVariant, value);
        QVERIFY(!writeBinaryPropertyList({{QStringLiteral("key"), value}}));
    }
};

QTEST_GUILESS_MAIN(TestPropertyList)
#include "test_property_list.moc"
