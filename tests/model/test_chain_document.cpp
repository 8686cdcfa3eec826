#include "model/ChainDocument.h"
#include "model/PluginInfo.h"

#include <QSet>
#include <QTest>

using namespace tolvex::model;

namespace {

PluginState example(bool bypass, std::optional<QByteArray> state = std::nullopt)
{
    return {fourCC("aufx"),
            fourCC("xmpl"),
            fourCC("Demo"),
            QStringLiteral("Example EQ"),
            QStringLiteral("Demo Audio"),
            bypass,
            std::move(state)};
}

/// One valid element with the given member replaced (or removed when the
/// replacement is empty).
QByteArray elementWith(const QByteArray& key, const QByteArray& replacement)
{
    QList<QPair<QByteArray, QByteArray>> members{{"type", "1"},         {"subtype", "2"},
                                                 {"manufacturer", "3"}, {"name", "\"N\""},
                                                 {"vendor", "\"V\""},   {"bypass", "false"}};
    QByteArray out = "{";
    bool replaced = false;
    for (auto& [name, value] : members) {
        QByteArray v = value;
        if (name == key) {
            replaced = true;
            if (replacement.isEmpty())
                continue;
            v = replacement;
        }
        if (out.size() > 1)
            out += ',';
        out += '"' + name + "\":" + v;
    }
    if (!replaced && !replacement.isEmpty())
        out += ",\"" + key + "\":" + replacement;
    return out + '}';
}

} // namespace

class TestChainDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fourCharacterCodes()
    {
        QCOMPARE(fourCC("aufx"), 1635083896u);
        QCOMPARE(effectType, 0x61756678u);
        QCOMPARE(musicEffectType, 1635085670u);
    }

    void identityString_data()
    {
        QTest::addColumn<PluginInfo>("info");
        QTest::addColumn<QString>("id");
        QTest::newRow("small") << PluginInfo{{1, 2, 3}, {}, {}} << "1-2-3";
        QTest::newRow("zero") << PluginInfo{{0, 0, 0}, {}, {}} << "0-0-0";
        QTest::newRow("codes") << PluginInfo{{fourCC("aufx"), fourCC("xmpl"), fourCC("Demo")},
                                             {},
                                             {}}
                               << "1635083896-2020438124-1147497839";
        QTest::newRow("max") << PluginInfo{{4294967295u, 0, 1}, {}, {}} << "4294967295-0-1";
    }
    void identityString()
    {
        QFETCH(PluginInfo, info);
        QFETCH(QString, id);
        QCOMPARE(info.id(), id);
    }

    void equalityAndHashTakeAllFields()
    {
        const PluginInfo a{1, 2, 3, QStringLiteral("EQ"), QStringLiteral("Alpha")};
        PluginInfo sameCodesOtherVendor = a;
        sameCodesOtherVendor.vendor = QStringLiteral("Beta");
        PluginInfo otherName = a;
        otherName.name = QStringLiteral("eq");
        QVERIFY(a == PluginInfo(a));
        QVERIFY(a != sameCodesOtherVendor);
        QVERIFY(a != otherName);
        QSet<PluginInfo> set{a, sameCodesOtherVendor, otherName, a};
        QCOMPARE(set.size(), 3);
        QCOMPARE(std::hash<PluginInfo>()(a), std::hash<PluginInfo>()(PluginInfo(a)));
    }

    void encodesExactBytes_data()
    {
        QTest::addColumn<QList<PluginState>>("chain");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QList<PluginState>{} << QByteArray("[]");
        QTest::newRow("worked example")
            << QList<PluginState>{example(true)}
            << QByteArray(R"([{"type":1635083896,"subtype":2020438124,"manufacturer":1147497839,)"
                          R"("name":"Example EQ","vendor":"Demo Audio","bypass":true}])");
        QTest::newRow("state, zero codes, escapes")
            << QList<PluginState>{{0, 0, 4294967295u, QStringLiteral("Ä \"q\" /\\\n\x01"),
                                   QString(), false, QByteArray("\x00\xff\x10", 3)}}
            << QByteArray(R"([{"type":0,"subtype":0,"manufacturer":4294967295,)"
                          "\"name\":\"\xc3\x84 \\\"q\\\" /\\\\\\n\\u0001\",\"vendor\":\"\","
                          R"("bypass":false,"state":"AP8Q"}])");
        QTest::newRow("empty state is written")
            << QList<PluginState>{{1, 2, 3, QStringLiteral("a"), QStringLiteral("b"), false,
                                   QByteArray()}}
            << QByteArray(R"([{"type":1,"subtype":2,"manufacturer":3,"name":"a","vendor":"b",)"
                          R"("bypass":false,"state":""}])");
    }
    void encodesExactBytes()
    {
        QFETCH(QList<PluginState>, chain);
        QFETCH(QByteArray, json);
        QCOMPARE(encodeChain(chain), json);
    }

    void roundTripKeepsEveryField()
    {
        QByteArray blob;
        for (int i = 0; i < 300; ++i)
            blob.append(char(i * 7));
        const QList<PluginState> chain{example(true, blob),
                                       example(false),
                                       {7, 8, 9, QStringLiteral("日本 🎛"), QStringLiteral("x"),
                                        false, QByteArray("bplist00")}};
        const auto decoded = decodeChain(encodeChain(chain));
        QVERIFY(decoded);
        QCOMPARE(decoded->size(), chain.size());
        for (qsizetype i = 0; i < chain.size(); ++i) {
            const PluginState& a = chain[i];
            const PluginState& b = (*decoded)[i];
            QCOMPARE(b.info(), a.info());
            QCOMPARE(b.bypass, a.bypass);
            QCOMPARE(b.state, a.state);
        }
    }

    void decodesValidVariants_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("hasState");
        QTest::newRow("any member order")
            << QByteArray(
                   R"([{"bypass":false,"vendor":"V","name":"N","manufacturer":3,"subtype":2,"type":1}])")
            << 1u << "N" << false;
        QTest::newRow("unknown members ignored")
            << QByteArray(
                   R"([{"x":[1,{"y":null}],"type":1,"subtype":2,"manufacturer":3,"name":"N","vendor":"V","bypass":false,"extra":"s"}])")
            << 1u << "N" << false;
        QTest::newRow("state null")
            << "[" + elementWith("state", "null") + "]" << 1u << "N" << false;
        QTest::newRow("state present")
            << "[" + elementWith("state", "\"AAE=\"") + "]" << 1u << "N" << true;
        QTest::newRow("escapes") << "[" +
                                        elementWith("name",
                                                    "\"a\\/b\\u00c4\\ud83c\\udf9b\\t\\\"\"") +
                                        "]"
                                 << 1u << QStringLiteral("a/bÄ🎛\t\"") << false;
        QTest::newRow("whitespace") << QByteArray(" [ \n") + elementWith("type", " 1 ") + " ]\n"
                                    << 1u << "N" << false;
        QTest::newRow("largest code")
            << "[" + elementWith("type", "4294967295") + "]" << 4294967295u << "N" << false;
        QTest::newRow("zero code") << "[" + elementWith("type", "0") + "]" << 0u << "N" << false;
        QTest::newRow("whole number written with fraction")
            << "[" + elementWith("type", "7.0") + "]" << 7u << "N" << false;
        QTest::newRow("whole number written with exponent")
            << "[" + elementWith("type", "1e3") + "]" << 1000u << "N" << false;
    }
    void decodesValidVariants()
    {
        QFETCH(QByteArray, json);
        QFETCH(quint32, type);
        QFETCH(QString, name);
        QFETCH(bool, hasState);
        const auto chain = decodeChain(json);
        QVERIFY2(chain, json.constData());
        QCOMPARE(chain->size(), 1);
        QCOMPARE(chain->first().codes.type, type);
        QCOMPARE(chain->first().name, name);
        QCOMPARE(chain->first().state.has_value(), hasState);
    }

    void emptyArrayIsAnEmptyChain()
    {
        const auto chain = decodeChain("[]");
        QVERIFY(chain);
        QVERIFY(chain->isEmpty());
    }

    void rejectsTheWholeDocument_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray good = elementWith("", "");
        QTest::newRow("not json") << QByteArray("[{");
        QTest::newRow("empty input") << QByteArray();
        QTest::newRow("top level object") << good;
        QTest::newRow("top level null") << QByteArray("null");
        QTest::newRow("trailing garbage") << "[" + good + "]x";
        QTest::newRow("element not an object") << "[" + good + ",1]";
        QTest::newRow("second lacks bypass") << "[" + good + "," + elementWith("bypass", "") + "]";
        for (const char* key : {"type", "subtype", "manufacturer", "name", "vendor"})
            QTest::newRow(qPrintable(QStringLiteral("missing %1").arg(QLatin1String(key))))
                << "[" + elementWith(key, "") + "]";
        QTest::newRow("negative code") << "[" + elementWith("type", "-1") + "]";
        QTest::newRow("code too large") << "[" + elementWith("subtype", "4294967296") + "]";
        QTest::newRow("huge code") << "[" + elementWith("subtype", "1e400") + "]";
        QTest::newRow("fractional code") << "[" + elementWith("manufacturer", "1.5") + "]";
        QTest::newRow("code as string") << "[" + elementWith("type", "\"1\"") + "]";
        QTest::newRow("code as bool") << "[" + elementWith("type", "true") + "]";
        QTest::newRow("name as number") << "[" + elementWith("name", "5") + "]";
        QTest::newRow("vendor null") << "[" + elementWith("vendor", "null") + "]";
        QTest::newRow("bypass as number") << "[" + elementWith("bypass", "1") + "]";
        QTest::newRow("bypass as string") << "[" + elementWith("bypass", "\"true\"") + "]";
        QTest::newRow("state as number") << "[" + elementWith("state", "12") + "]";
        QTest::newRow("state bad character") << "[" + elementWith("state", "\"AA*=\"") + "]";
        QTest::newRow("state without padding") << "[" + elementWith("state", "\"AAE\"") + "]";
        QTest::newRow("state with line break") << "[" + elementWith("state", "\"AA\\nAA==\"") + "]";
        QTest::newRow("state padding inside") << "[" + elementWith("state", "\"A=AA\"") + "]";
        QTest::newRow("state url alphabet") << "[" + elementWith("state", "\"-_8=\"") + "]";
        QTest::newRow("invalid utf-8") << "[" + elementWith("name", "\"\xff\"") + "]";
        QTest::newRow("lone surrogate") << "[" + elementWith("name", R"("\ud800")") + "]";
    }
    void rejectsTheWholeDocument()
    {
        QFETCH(QByteArray, json);
        QVERIFY2(!decodeChain(json), json.constData());
    }

    void base64Strict_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("one byte") << QByteArray("/w==") << QByteArray("\xff");
        QTest::newRow("two bytes") << QByteArray("+/8=") << QByteArray("\xfb\xff");
        QTest::newRow("three bytes") << QByteArray("Zm9v") << QByteArray("foo");
        QTest::newRow("six bytes") << QByteArray("Zm9vYmFy") << QByteArray("foobar");
    }
    void base64Strict()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        const auto decoded = decodeBase64Strict(text);
        QVERIFY(decoded);
        QCOMPARE(*decoded, bytes);
    }
};

QTEST_GUILESS_MAIN(TestChainDocument)
#include "test_chain_document.moc"
