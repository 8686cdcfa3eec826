#include "host/PropertyList.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QTest>

using namespace tolvex::host;

class TestPropertyList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void binaryRoundTripKeepsEveryValueType_data()
    {
        QTest::addColumn<PropertyDictionary>("dictionary");
        QTest::addColumn<bool>("writable");
        const PropertyDictionary nested{{"level", 0.25}, {"list", QVariantList{1, "zwei"}}};
        QTest::newRow("every type")
            << PropertyDictionary{{"text", QStringLiteral("Grüße 🎛")},
                                  {"integer", qint64(-42)},
                                  {"big", qint64(1) << 40},
                                  {"real", 3.5},
                                  {"yes", true},
                                  {"no", false},
                                  {"data", QByteArray("\x00\x01\xfe\xff", 4)},
                                  {"date",
                                   QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 663), Qt::UTC)},
                                  {"array", QVariantList{"a", 2, QVariantList{}}},
                                  {"nested", nested},
                                  {"", "empty key"}}
            << true;
        QTest::newRow("empty") << PropertyDictionary{} << true;
        QTest::newRow("date before 2001")
            << PropertyDictionary{{"key",
                                   QDateTime(QDate(2000, 12, 12), QTime(2, 43, 42, 674), Qt::UTC)}}
            << true;
        QTest::newRow("date in the last second of 2000")
            << PropertyDictionary{{"key",
                                   QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59, 500), Qt::UTC)}}
            << false;
        QTest::newRow("invalid") << PropertyDictionary{{"key", QVariant()}} << false;
        QTest::newRow("url") << PropertyDictionary{{"key", QUrl("file:///x")}} << false;
        QTest::newRow("string with a NUL")
            << PropertyDictionary{{"key", QString::fromLatin1("a\0b", 3)}} << false;
        QTest::newRow("key with a NUL")
            << PropertyDictionary{{QString::fromLatin1("a\0b", 3), 1}} << false;
        QTest::newRow("nested invalid")
            << PropertyDictionary{{"key", QVariantList{1, QVariant()}}} << false;
        QTest::newRow("date out of range")
            << PropertyDictionary{{"key", QDateTime(QDate(2200, 1, 1), QTime(0, 0), Qt::UTC)}}
            << false;
    }
    void binaryRoundTripKeepsEveryValueType()
    {
        QFETCH(PropertyDictionary, dictionary);
        QFETCH(bool, writable);
        const auto bytes = writeBinaryPropertyList(dictionary);
        QCOMPARE(bytes.has_value(), writable);
        if (!bytes)
            return;
        QVERIFY(bytes->startsWith("bplist00"));
        const auto read = readPropertyList(*bytes);
        QVERIFY(read);
        QCOMPARE(*read, dictionary);
        for (const QString& key : dictionary.keys())
            QCOMPARE(read->value(key).metaType() == QMetaType::fromType<bool>(),
                     dictionary.value(key).metaType() == QMetaType::fromType<bool>());
    }

    void readsWhatIsADictionaryOnly_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<PropertyDictionary>("expected"); // empty: nothing read
        QTest::newRow("xml") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                           "<plist version=\"1.0\"><dict><key>name</key>"
                                           "<string>Hall</string><key>gain</key><real>-6.5</real>"
                                           "<key>steps</key><integer>12</integer><key>on</key>"
                                           "<true/><key>blob</key><data>AAEC</data></dict></plist>")
                             << PropertyDictionary{{"name", "Hall"},
                                                   {"gain", -6.5},
                                                   {"steps", 12},
                                                   {"on", true},
                                                   {"blob", QByteArray("\x00\x01\x02", 3)}};
        const PropertyDictionary none;
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("garbage") << QByteArray("definitely not a property list") << none;
        QTest::newRow("truncated binary") << writeBinaryPropertyList({{"a", 1}})->left(20) << none;
        QTest::newRow("json") << QByteArray(R"({"a": 1})") << none;
        QTest::newRow("binary, key with a NUL") // libplist would abort on reading the key
            << writeBinaryPropertyList({{"äb", 1}})
                   ->replace(QByteArray("\xe4\0b", 3), QByteArray("\xe4\0\0", 3))
            << none;
        QTest::newRow("xml array") << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\">"
                                                 "<array><string>a</string></array></plist>")
                                   << none;
    }
    void readsWhatIsADictionaryOnly()
    {
        QFETCH(QByteArray, data);
        QFETCH(PropertyDictionary, expected);
        const auto read = readPropertyList(data);
        QCOMPARE(read.has_value(), !expected.isEmpty());
        QVERIFY(!read || *read == expected);
    }

    /// Lists that would exhaust the reader's stack, memory or time are not
    /// read; lists as deep or as shared as real ones are.
    void refusesWhatWouldExhaustTheReader_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("read");
        QTest::newRow("xml, 100000 deep") << xmlNested(100000, true) << false;
        QTest::newRow("xml, 1000000 deep, unclosed") << xmlNested(1000000, false) << false;
        QTest::newRow("xml, 200 deep") << xmlNested(200, true) << true;
        QTest::newRow("binary, 100000 deep") << binaryNested(100000) << false;
        QTest::newRow("binary, 200 deep") << binaryNested(200) << true;
        // Eight levels of arrays, each referring 14 times to the next: 14^8
        // leaves in 554 bytes.
        QTest::newRow("binary, arrays sharing arrays") << binaryShared(8, 14, "\x09") << false;
        // A blob of 2 KiB, 14^4 times: 78 MB from 2 KiB.
        QTest::newRow("binary, arrays sharing a blob")
            << binaryShared(4, 14, QByteArray("\x4f\x11\x08\x00", 4) + QByteArray(2048, 'x'))
            << false;
        QTest::newRow("binary, a string shared 14 times") << binaryShared(1, 14, "\x51x") << true;
        QTest::newRow("binary, an array containing itself") << binaryShared(1, 1, {}) << false;
    }
    void refusesWhatWouldExhaustTheReader()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, read);
        QCOMPARE(readPropertyList(data).has_value(), read);
    }

    /// The inputs fuzzing found faults with, kept as its seeds: they read
    /// (or are refused) without aborting, and what reads writes and reads back
    /// the same, empty values as empty ones.
    void fuzzFindingsStayMended_data()
    {
        QTest::addColumn<QString>("path");
        const QDir seeds(QFINDTESTDATA("../fuzz/seeds/property_list"));
        for (const QFileInfo& seed : seeds.entryInfoList(QDir::Files))
            QTest::newRow(qPrintable(seed.fileName())) << seed.filePath();
    }
    void fuzzFindingsStayMended()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto read = readPropertyList(file.readAll());
        const auto written = read ? writeBinaryPropertyList(*read) : std::nullopt;
        if (written)
            QCOMPARE(streamed(*readPropertyList(*written)), streamed(*read));
    }

private:
    /// {"key": [[...]]} with `depth` arrays in XML, closed or not.
    static QByteArray xmlNested(int depth, bool closed)
    {
        return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>key</key>" +
               QByteArray("<array>").repeated(depth) +
               (closed ? QByteArray("</array>").repeated(depth) + "</dict></plist>" : "");
    }

    /// An object of a binary list: its marker and the indexes of the objects
    /// it refers to.
    using Object = std::pair<QByteArray, QList<quint32>>;

    /// A binary list of `objects`, the first the root, with references and
    /// offsets of four bytes.
    static QByteArray binaryList(const QList<Object>& objects)
    {
        const auto bigEndian = [](quint64 value, int size) {
            QByteArray bytes(size, 0);
            for (int i = size - 1; i >= 0; --i, value >>= 8)
                bytes[i] = char(value & 0xff);
            return bytes;
        };
        QByteArray data("bplist00"), table;
        for (const auto& [marker, references] : objects) {
            table += bigEndian(quint64(data.size()), 4);
            data += marker;
            for (quint32 reference : references)
                data += bigEndian(reference, 4);
        }
        const qsizetype tableOffset = data.size();
        return data + table + QByteArray(6, 0) + "\x04\x04" +
               bigEndian(quint64(objects.size()), 8) + bigEndian(0, 8) +
               bigEndian(quint64(tableOffset), 8);
    }

    /// {"key": [[...]]} with `depth` arrays, binary.
    static QByteArray binaryNested(quint32 depth)
    {
        QList<Object> objects{{"\xd1", {1, 2}}, {"\x53key", {}}};
        for (quint32 level = 0; level < depth; ++level)
            objects.append(Object(level + 1 < depth ? "\xa1" : "\xa0", {}));
        for (quint32 level = 0; level + 1 < depth; ++level)
            objects[qsizetype(level) + 2].second = {level + 3};
        return binaryList(objects);
    }

    /// {"key": array} where the array and each below it refers `width` times
    /// to the next, `levels` of them, the last referring to `leaf` (to the
    /// first array when empty).
    static QByteArray binaryShared(quint32 levels, int width, const QByteArray& leaf)
    {
        QList<Object> objects{{"\xd1", {1, 2}}, {"\x53key", {}}};
        for (quint32 level = 0; level < levels; ++level) {
            const quint32 next = leaf.isEmpty() && level + 1 == levels ? 2 : level + 3;
            objects.append(Object(QByteArray(1, char(0xa0 | width)), QList<quint32>(width, next)));
        }
        if (!leaf.isEmpty())
            objects.append(Object(leaf, {}));
        return binaryList(objects);
    }

    /// A dictionary as QDataStream writes it, where an empty value and a
    /// null one differ and a NaN equals itself.
    static QByteArray streamed(const PropertyDictionary& dictionary)
    {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << dictionary;
        return bytes;
    }
};

QTEST_GUILESS_MAIN(TestPropertyList)
#include "test_property_list.moc"
