#include "model/ChainDocument.h"

#include <QTest>

using namespace tolvex::model;

namespace {

/// One valid element with one member replaced, or removed when the
/// replacement is empty; an unknown key is appended.
QByteArray elementWith(const QByteArray& key, const QByteArray& replacement)
{
    const QList<QPair<QByteArray, QByteArray>> members{{"type", "1"},         {"subtype", "2"},
                                                       {"manufacturer", "3"}, {"name", "\"N\""},
                                                       {"vendor", "\"V\""},   {"bypass", "false"}};
    QByteArrayList parts;
    bool replaced = false;
    for (const auto& [name, value] : members) {
        replaced = replaced || name == key;
        if (name != key)
            parts << '"' + name + "\":" + value;
        else if (!replacement.isEmpty())
            parts << '"' + name + "\":" + replacement;
    }
    if (!replaced && !key.isEmpty())
        parts << '"' + key + "\":" + replacement;
    return "[{" + parts.join(',') + "}]";
}

} // namespace

class TestChainDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Encoding gives these exact bytes, and decoding them gives the chain
    // back: encoded again, every field of every entry comes out the same.
    void encodesExactBytesAndReadsThemBack_data()
    {
        QTest::addColumn<QList<PluginState>>("chain");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QList<PluginState>{} << QByteArray("[]");
        QTest::newRow("worked example")
            << QList<PluginState>{{{fourCC("aufx"), fourCC("xmpl"), fourCC("Demo")},
                                   QStringLiteral("Example EQ"),
                                   QStringLiteral("Demo Audio"),
                                   true,
                                   std::nullopt}}
            << QByteArray(R"([{"type":1635083896,"subtype":2020438124,"manufacturer":1147497839,)"
                          R"("name":"Example EQ","vendor":"Demo Audio","bypass":true}])");
        QTest::newRow("two, state, extreme codes, escapes")
            << QList<PluginState>{{{0, 0, 4294967295u},
                                   QStringLiteral("Ä \"q\" /\\\n\x01"),
                                   QString(),
                                   false,
                                   QByteArray("\x00\xff\x10", 3)},
                                  {{7, 8, 9}, QStringLiteral("🎛"), "V", true, QByteArray()}}
            << QByteArray(R"([{"type":0,"subtype":0,"manufacturer":4294967295,)"
                          "\"name\":\"\xc3\x84 \\\"q\\\" /\\\\\\n\\u0001\",\"vendor\":\"\","
                          R"("bypass":false,"state":"AP8Q"},)"
                          R"({"type":7,"subtype":8,"manufacturer":9,"name":")"
                          "\xf0\x9f\x8e\x9b"
                          R"(","vendor":"V","bypass":true,"state":""}])");
    }
    void encodesExactBytesAndReadsThemBack()
    {
        QFETCH(QList<PluginState>, chain);
        QFETCH(QByteArray, json);
        QCOMPARE(encodeChain(chain), json);
        const auto decoded = decodeChain(json);
        QVERIFY(decoded);
        QCOMPARE(encodeChain(*decoded), json);
    }

    void decodesValidVariants_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("canonical"); // the same chain encoded again
        const QByteArray plain = elementWith({}, {});
        QTest::newRow("any member order")
            << QByteArray(R"([{"bypass":false,"vendor":"V","name":"N","manufacturer":3,)"
                          R"("subtype":2,"type":1}])")
            << plain;
        QTest::newRow("unknown member") << elementWith("x", "[1,{\"y\":null}]") << plain;
        QTest::newRow("state null") << elementWith("state", "null") << plain;
        QTest::newRow("state") << elementWith("state", "\"+/8=\"")
                               << elementWith("state", "\"+/8=\"");
        QTest::newRow("escapes")
            << elementWith("name", "\"a\\/b\\u00c4\\ud83c\\udf9b\\t\\\"\"")
            << encodeChain({{{1, 2, 3}, QStringLiteral("a/bÄ🎛\t\""), "V", false, {}}});
        QTest::newRow("largest code")
            << elementWith("type", "4294967295") << elementWith("type", "4294967295");
        QTest::newRow("whole numbers") << elementWith("type", "1.0") << plain;
        QTest::newRow("empty array") << QByteArray(" [ ]\n") << QByteArray("[]");
    }
    void decodesValidVariants()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, canonical);
        const auto chain = decodeChain(json);
        QVERIFY2(chain, json.constData());
        QCOMPARE(encodeChain(*chain), canonical);
    }

    void rejectsTheWholeDocument_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray good = elementWith({}, {});
        QTest::newRow("not json") << QByteArray("[{");
        QTest::newRow("empty input") << QByteArray();
        QTest::newRow("top level object") << good.mid(1, good.size() - 2);
        QTest::newRow("trailing garbage") << good + "x";
        QTest::newRow("element not an object") << good.chopped(1) + ",1]";
        QTest::newRow("second lacks bypass")
            << good.chopped(1) + "," + elementWith("bypass", {}).mid(1);
        for (const char* key : {"type", "subtype", "manufacturer", "name", "vendor"})
            QTest::addRow("missing %s", key) << elementWith(key, {});
        QTest::newRow("negative code") << elementWith("type", "-1");
        QTest::newRow("code too large") << elementWith("subtype", "4294967296");
        QTest::newRow("huge code") << elementWith("subtype", "1e400");
        QTest::newRow("fractional code") << elementWith("manufacturer", "1.5");
        QTest::newRow("code as string") << elementWith("type", "\"1\"");
        QTest::newRow("name as number") << elementWith("name", "5");
        QTest::newRow("vendor null") << elementWith("vendor", "null");
        QTest::newRow("bypass as number") << elementWith("bypass", "1");
        QTest::newRow("state as number") << elementWith("state", "12");
        QTest::newRow("state bad character") << elementWith("state", "\"AA*=\"");
        QTest::newRow("state without padding") << elementWith("state", "\"AAE\"");
        QTest::newRow("state padding inside") << elementWith("state", "\"A=AA\"");
        QTest::newRow("state url alphabet") << elementWith("state", "\"-_8=\"");
        QTest::newRow("invalid utf-8") << elementWith("name", "\"\xff\"");
        QTest::newRow("lone surrogate") << elementWith("name", R"("\ud800")");
    }
    void rejectsTheWholeDocument()
    {
        QFETCH(QByteArray, json);
        QVERIFY2(!decodeChain(json), json.constData());
    }
};

QTEST_GUILESS_MAIN(TestChainDocument)
#include "test_chain_document.moc"
