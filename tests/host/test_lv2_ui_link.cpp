// The atom messages between a plugin's interface and the running plugin.
#include "host/lv2/Lv2UiLink.h"

#include <QTest>

#include <cstring>

using namespace tolvex::host;

namespace {

/// An atom of `size` body bytes, each `fill`.
std::vector<uint64_t> atom(uint32_t size, char fill)
{
    std::vector<uint64_t> buffer((sizeof(LV2_Atom) + size + 7) / 8);
    auto* header = reinterpret_cast<LV2_Atom*>(buffer.data());
    *header = {size, 99};
    std::memset(header + 1, fill, size);
    return buffer;
}

const LV2_Atom& as(const std::vector<uint64_t>& buffer)
{
    return *reinterpret_cast<const LV2_Atom*>(buffer.data());
}

QString describe(uint32_t port, const LV2_Atom& atom)
{
    const char first = atom.size ? *reinterpret_cast<const char*>(&atom + 1) : '-';
    return QStringLiteral("%1:%2%3").arg(port).arg(atom.size).arg(QChar(first));
}

} // namespace

class TestLv2UiLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messagesReachThePluginInOrderBlockByBlock()
    {
        Lv2UiLink link(256);
        QVERIFY(link.sendToPlugin(0, as(atom(3, 'a'))));
        QVERIFY(link.sendToPlugin(2, as(atom(0, 'b'))));
        QVERIFY(link.sendToPlugin(0, as(atom(230, 'c'))));  // does not fit with the others
        QVERIFY(!link.sendToPlugin(0, as(atom(300, 'd')))); // larger than the port takes
        QStringList taken;
        const auto take = [&] {
            taken.clear();
            link.takeForBlock();
            link.forEachTaken(
                [&](uint32_t port, const LV2_Atom& a) { taken << describe(port, a); });
        };
        take();
        QCOMPARE(taken, QStringList({"0:3a", "2:0-"}));
        take();
        QCOMPARE(taken, QStringList({"0:230c"}));
        take();
        QVERIFY(taken.isEmpty());
    }

    void notificationsReachTheInterfaceWhileItListens()
    {
        Lv2UiLink link(1024);
        link.sendToUi(1, as(atom(8, 'x'))); // nobody listens: dropped
        link.setListening(true);
        for (char fill : {'p', 'q'})
            link.sendToUi(1, as(atom(1000, fill)));
        QStringList received;
        link.receive([&](uint32_t port, const LV2_Atom& a) { received << describe(port, a); });
        QCOMPARE(received, QStringList({"1:1000p", "1:1000q"}));
    }
};

QTEST_GUILESS_MAIN(TestLv2UiLink)
#include "test_lv2_ui_link.moc"
