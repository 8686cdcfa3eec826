// The chain panel against the fake host: menus, rows, reordering, states.
#include "chain/Chain.h"
#include "model/ChainDocument.h"
#include "presets/Presets.h"
#include "tests/support/FakeHost.h"
#include "ui/ChainCommands.h"
#include "ui/chain/AddPluginMenu.h"
#include "ui/chain/ChainView.h"
#include "ui/chain/ElidedLabel.h"
#include "ui/chain/PresetMenu.h"
#include "ui/chain/SlotList.h"
#include "ui/chain/SlotRow.h"
#include "ui/chain/Spinner.h"

#include <QCoroTask>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

using namespace tolvex;
using namespace tolvex::testing;
using tolvex::chain::Chain;
using tolvex::chain::Slot;
using namespace tolvex::ui::chain;

namespace {

model::PluginInfo plugin(quint32 subtype, const QString& name, const QString& vendor = "Fake")
{
    return {model::effectType, subtype, 1, name, vendor};
}

/// A catalogue, a chain over it with settings and a preset folder of their
/// own, and the panel; editor requests are recorded by plugin name. The
/// chain restores `stored` when it is given.
struct Rig {
    explicit Rig(const QList<model::PluginInfo>& catalogue = {plugin(1, "P1"), plugin(2, "P2"),
                                                              plugin(3, "P3")},
                 const QList<model::PluginState>& stored = {})
        : settings(dir.filePath("settings.ini"), QSettings::IniFormat)
    {
        for (const auto& info : catalogue)
            host.addPlugin({.info = info});
        if (!stored.isEmpty())
            settings.setValue("chain", model::encodeChain(stored));
        host.addFile("/a.wav", {48000, {std::vector<float>(48000, 0.5f)}});
        chain = std::make_unique<Chain>(host, settings);
        chain->setEditorOpener([this](Chain&, Slot& slot) { editors << slot.info().name; });
        presets = std::make_unique<presets::Presets>(nullptr, nullptr, dir.filePath("Ketten"));
        commands = std::make_unique<ui::ChainCommands>(*chain, *presets);
        view = std::make_unique<ChainView>(*chain, *commands);
        view->resize(310, 500);
    }
    void add(const QString& name)
    {
        for (const auto& info : chain->available())
            if (info.name == name)
                QCoro::waitFor(chain->addPlugin(info, std::nullopt, false, false));
    }
    QStringList names() const
    {
        QStringList list;
        for (const Slot* slot : chain->slots())
            list << slot->info().name;
        return list;
    }
    QList<model::PluginState> saved()
    {
        return model::decodeChain(settings.value("chain").toByteArray())
            .value_or(QList<model::PluginState>{});
    }
    void writePreset(const QString& name, const QByteArray& document = "[]")
    {
        QDir().mkpath(dir.filePath("Ketten"));
        QFile file(dir.filePath("Ketten/" + name + ".json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(document);
    }

    QTemporaryDir dir;
    FakeHost host;
    QSettings settings;
    std::unique_ptr<Chain> chain;
    std::unique_ptr<presets::Presets> presets;
    std::unique_ptr<ui::ChainCommands> commands;
    std::unique_ptr<ChainView> view;
    QStringList editors;
};

/// A menu as the user sees it: "[title]" for a section, "—" for a divider,
/// "<filter>" for the filter field, a disabled entry's text in parentheses.
QStringList layout(const QMenu& menu)
{
    QStringList lines;
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible())
            continue;
        if (qobject_cast<const QWidgetAction*>(action))
            lines << "<filter>";
        else if (action->isSeparator())
            lines << (action->text().isEmpty() ? "—" : "[" + action->text() + "]");
        else
            lines << (action->isEnabled() ? action->text() : "(" + action->text() + ")");
    }
    return lines;
}

} // namespace

class TestChainView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addMenuFilter_data()
    {
        QTest::addColumn<QList<model::PluginInfo>>("catalogue");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        const QList<model::PluginInfo> four{plugin(1, "EQ", "x42"), plugin(2, "Limiter", "x42"),
                                            plugin(3, "Égaliseur", "Façade & Co"),
                                            plugin(4, "Rock & Reverb", "Façade & Co")};
        QTest::newRow("nothing") << four << ""
                                 << QStringList{"<filter>",  "[Façade && Co]", "Rock && Reverb",
                                                "Égaliseur", "[x42]",          "EQ",
                                                "Limiter"};
        QTest::newRow("vendor, any case")
            << four << "X42" << QStringList{"<filter>", "[x42]", "EQ", "Limiter"};
        QTest::newRow("without accents")
            << four << "egal" << QStringList{"<filter>", "[Façade && Co]", "Égaliseur"};
        QTest::newRow("vendor and name")
            << four << " facade  REV "
            << QStringList{"<filter>", "[Façade && Co]", "Rock && Reverb"};
        QTest::newRow("no match") << four << "zzz" << QStringList{"<filter>", "(Keine Treffer)"};
        QTest::newRow("empty catalogue") << QList<model::PluginInfo>{} << ""
                                         << QStringList{"(Keine Effekt-Plugins (LV2) gefunden)"};
    }

    void addMenuFilter()
    {
        QFETCH(QList<model::PluginInfo>, catalogue);
        QFETCH(QString, typed);
        Rig rig(catalogue);
        AddPluginMenu& menu = *rig.view->addMenu();
        menu.build();
        if (menu.filterField())
            menu.filterField()->setText(typed);
        QTEST(layout(menu), "expected");
    }

    void choosingAPluginAddsItAndOpensItsEditor()
    {
        Rig rig({plugin(1, "EQ", "x42"), plugin(2, "Limiter", "x42")});
        rig.view->show();
        AddPluginMenu& menu = *rig.view->addMenu();
        menu.open();
        QTRY_VERIFY(menu.filterField() && menu.filterField()->hasFocus());
        QTest::keyClicks(menu.filterField(), "e"); // both match: Return does nothing
        QTest::keyClick(menu.filterField(), Qt::Key_Return);
        QVERIFY(menu.isVisible());
        QTest::keyClicks(menu.filterField(), "q");
        QTest::keyClick(menu.filterField(), Qt::Key_Return);
        QVERIFY(!menu.isVisible());
        QTRY_COMPARE(rig.names(), QStringList{"EQ"});
        QCOMPARE(rig.editors, QStringList{"EQ"});

        menu.build();
        menu.visiblePlugins().at(1)->trigger();
        QTRY_COMPARE(rig.names(), (QStringList{"EQ", "Limiter"}));
        QCOMPARE(rig.editors, (QStringList{"EQ", "Limiter"}));
    }

    void reorderingStopsThePreviewAndSaves_data()
    {
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("list move") << false;
        QTest::newRow("Ctrl+Up") << true;
    }

    void reorderingStopsThePreviewAndSaves()
    {
        Rig rig;
        for (const QString name : {"P1", "P2", "P3"})
            rig.add(name);
        SlotList& list = *rig.view->slotList();
        rig.chain->play(model::AudioItem::make(QUrl::fromLocalFile("/a.wav"), 48000, 1, 1), 0);
        QVERIFY(rig.chain->playingID());
        QFETCH(bool, byKeyboard);
        if (byKeyboard) {
            list.setCurrentRow(2);
            QTest::keyClick(&list, Qt::Key_Up, Qt::ControlModifier);
            QTest::keyClick(&list, Qt::Key_Up, Qt::ControlModifier);
            QCOMPARE(list.currentRow(), 0); // the moved row stays current
        } else {
            list.moveRows({2}, 0);
        }
        QCOMPARE(rig.names(), (QStringList{"P3", "P1", "P2"}));
        QVERIFY(!rig.chain->playingID());
        QCOMPARE(rig.saved().first().name, QStringLiteral("P3"));
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(list.rowAt(row)->index(), row + 1);
            QCOMPARE(list.rowAt(row)->slot().info().name, rig.names()[row]);
        }
    }

    void bypassChangesTheLookAndSaves()
    {
        Rig rig;
        rig.add("P1");
        SlotRow& row = *rig.view->slotList()->rowAt(0);
        const auto lines = row.findChildren<ElidedLabel*>();
        for (const bool bypass : {true, false}) {
            row.bypassAction()->trigger();
            QCOMPARE(rig.saved().first().bypass, bypass);
            QCOMPARE(lines[0]->font().strikeOut(), bypass);
            QCOMPARE(lines[1]->text(),
                     bypass ? QStringLiteral("umgangen") : QStringLiteral("Fake"));
        }
    }

    void anUnavailableSlotIsGreyedAndRemovable()
    {
        Rig rig({plugin(1, "P1")}, {model::PluginState::from(plugin(1, "P1"), false),
                                    model::PluginState::from(plugin(9, "Fehlt"), false)});
        QTRY_VERIFY(!rig.chain->loading());
        QCOMPARE(rig.names(), (QStringList{"P1", "Fehlt"}));
        SlotRow& row = *rig.view->slotList()->rowAt(1);
        QCOMPARE(row.toolTip(), QStringLiteral("„Fehlt“ lässt sich nicht laden."));
        QVERIFY(rig.view->slotList()->rowAt(0)->toolTip().isEmpty());
        QCOMPARE(row.findChildren<ElidedLabel*>()[1]->text(), QStringLiteral("nicht verfügbar"));
        QToolButton* remove = nullptr;
        for (QToolButton* button : row.findChildren<QToolButton*>()) {
            QCOMPARE(button->isVisibleTo(&row), button->defaultAction() == row.removeAction());
            if (button->defaultAction() == row.removeAction())
                remove = button;
        }
        QVERIFY(!row.openEditorAction()->isEnabled() && !row.bypassAction()->isEnabled());
        QTest::mouseDClick(&row, Qt::LeftButton);
        QVERIFY(rig.editors.isEmpty());

        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(rig.names(), QStringList{"P1"});
        QCOMPARE(rig.saved().size(), 1);
    }

    void presetMenu_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("expected");
        const QString reveal = "Ordner im Dateimanager zeigen";
        QTest::newRow("no presets")
            << QStringList{} << QStringList{"(Kette speichern …)", reveal, "—", "(Kette leeren)"};
        QTest::newRow("presets in natural order")
            << QStringList{"Kette 10", "kette 2"}
            << QStringList{
                   "(Kette speichern …)", "[Laden]", "kette 2", "Kette 10", "—", reveal, "—",
                   "(Kette leeren)"};
    }

    void presetMenu()
    {
        QFETCH(QStringList, stored);
        Rig rig;
        for (const QString& name : stored)
            rig.writePreset(name);
        rig.presets->reload();
        QTEST(layout(*rig.view->presetMenu()), "expected");
    }

    void loadingAPresetReplacesTheChain()
    {
        Rig rig;
        rig.add("P1");
        rig.writePreset("Eins", model::encodeChain(rig.saved()));
        rig.presets->reload();
        rig.add("P2");
        rig.commands->loadActions().first()->trigger();
        QTRY_COMPARE(rig.names(), QStringList{"P1"});
    }

    void emptyLoadingAndClearedStates()
    {
        Rig rig;
        auto* body = rig.view->findChild<QStackedWidget*>();
        auto* spinner = rig.view->findChild<Spinner*>();
        auto* add = rig.view->findChild<QPushButton*>();
        auto* presets = rig.view->findChild<QToolButton*>();
        QVERIFY(body->currentWidget() != rig.view->slotList());
        QVERIFY(!spinner->isVisibleTo(rig.view.get()));

        auto adding =
            rig.chain->addPlugin(rig.chain->available().first(), std::nullopt, false, false);
        QVERIFY(rig.chain->loading());
        QVERIFY(spinner->isVisibleTo(rig.view.get()));
        QVERIFY(!add->isEnabled() && !presets->isEnabled() && !rig.view->slotList()->isEnabled());

        QCoro::waitFor(std::move(adding));
        QVERIFY(!spinner->isVisibleTo(rig.view.get()));
        QVERIFY(add->isEnabled() && presets->isEnabled() && rig.view->slotList()->isEnabled());
        QCOMPARE(body->currentWidget(), rig.view->slotList());
        QVERIFY(rig.commands->save()->isEnabled() && rig.commands->clear()->isEnabled());

        rig.commands->clear()->trigger();
        QVERIFY(rig.chain->slots().isEmpty());
        QVERIFY(rig.settings.contains("chain") && rig.saved().isEmpty());
        QVERIFY(body->currentWidget() != rig.view->slotList());
        QVERIFY(!rig.commands->save()->isEnabled() && !rig.commands->clear()->isEnabled());
    }

    void aLongCatalogueScrollsInOneColumn()
    {
        QList<model::PluginInfo> catalogue;
        for (int i = 0; i < 400; ++i)
            catalogue << plugin(quint32(i + 1), QString("P%1").arg(i), QString("V%1").arg(i / 10));
        Rig rig(catalogue);
        rig.view->show();
        AddPluginMenu& menu = *rig.view->addMenu();
        menu.open();
        QTRY_VERIFY(menu.isVisible());
        QVERIFY(menu.width() < menu.screen()->geometry().width() / 2);
    }

    void theAddMenuOpensAtItsButton_data()
    {
        QTest::addColumn<bool>("low"); // the button low on the screen: no room below
        QTest::newRow("room below") << false;
        QTest::newRow("room above") << true;
    }

    void theAddMenuOpensAtItsButton()
    {
        QFETCH(bool, low);
        QList<model::PluginInfo> catalogue;
        for (int i = 0; i < 200; ++i)
            catalogue << plugin(quint32(i + 1), QString("P%1").arg(i), QString("V%1").arg(i / 10));
        Rig rig(catalogue);
        const QRect screen = rig.view->screen()->availableGeometry();
        rig.view->resize(310, 160);
        rig.view->show();
        rig.view->move(screen.left(),
                       low ? screen.bottom() + 1 - rig.view->height() : screen.top());
        QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
        auto* button = rig.view->findChild<QPushButton*>();
        while (button && button->text() != u"Plugin hinzufügen")
            button = rig.view->findChildren<QPushButton*>().value(
                rig.view->findChildren<QPushButton*>().indexOf(button) + 1);
        QVERIFY(button);
        AddPluginMenu& menu = *rig.view->addMenu();
        const QRect at(button->mapToGlobal(QPoint(0, 0)), button->size());
        for (int time = 0; time < 2; ++time) { // the same the second time, after a search
            QTest::mouseClick(button, Qt::LeftButton);
            QTRY_VERIFY(menu.isVisible());
            const QRect shown = menu.geometry();
            QVERIFY2(screen.contains(shown), "within the screen");
            if (low)
                QCOMPARE(shown.bottom() + 1, at.top());
            else
                QCOMPARE(shown.top(), at.bottom() + 1);
            QVERIFY(menu.filterField()->hasFocus());
            QVERIFY(menu.filterField()->text().isEmpty());
            QWidgetAction* field = nullptr;
            for (QAction* action : menu.actions())
                if ((field = qobject_cast<QWidgetAction*>(action)))
                    break;
            QVERIFY(menu.actionGeometry(field).top() < 20); // the list at its start
            QCOMPARE(menu.visiblePlugins().size(), 200);
            QTest::keyClicks(menu.filterField(), "P19");
            QTRY_COMPARE(menu.visiblePlugins().size(), 11); // P19, P190 … P199
            const QRect narrowed = menu.geometry();
            if (low)
                QCOMPARE(narrowed.bottom() + 1, at.top());
            else
                QCOMPARE(narrowed.top(), at.bottom() + 1);
            menu.hide();
        }
    }
};

QTEST_MAIN(TestChainView)
#include "test_chain_view.moc"
