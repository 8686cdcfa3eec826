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

#include <QApplication>
#include <QCoroTask>
#include <QLabel>
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
/// own, and the panel; editor requests are recorded by plugin name.
struct Rig {
    explicit Rig(const QList<model::PluginInfo>& catalogue = {plugin(1, "P1"), plugin(2, "P2"),
                                                              plugin(3, "P3")})
        : settings(dir.filePath("settings.ini"), QSettings::IniFormat)
    {
        for (const auto& info : catalogue)
            host.addPlugin({.info = info});
        host.addFile("/a.wav", {48000, {std::vector<float>(48000, 0.5f)}});
        chain = std::make_unique<Chain>(host, settings);
        chain->setEditorOpener([this](Chain&, Slot& slot) { editors << slot.info().name; });
        presets = std::make_unique<presets::Presets>(nullptr, nullptr, dir.filePath("Ketten"));
        commands = std::make_unique<ui::ChainCommands>(*chain, *presets);
        view = std::make_unique<ChainView>(*chain, *commands);
        view->resize(310, 500);
    }
    void add(const QString& name, bool bypass = false)
    {
        for (const auto& info : chain->available())
            if (info.name == name)
                QCoro::waitFor(chain->addPlugin(info, std::nullopt, bypass, false));
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
    void addMenuFollowsTheCatalogue_data()
    {
        QTest::addColumn<QList<model::PluginInfo>>("catalogue");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("several vendors")
            << QList<model::PluginInfo>{plugin(1, "Zeta", "x42"), plugin(2, "delay", "Calf"),
                                        plugin(3, "Alpha", "x42"), plugin(4, "Rock & Roll", "Calf")}
            << QStringList{"<filter>", "[Calf]", "delay", "Rock && Roll", "[x42]", "Alpha", "Zeta"};
        QTest::newRow("empty catalogue")
            << QList<model::PluginInfo>{} << QStringList{"(Keine Effekt-Plugins (LV2) gefunden)"};
    }

    void addMenuFollowsTheCatalogue()
    {
        QFETCH(QList<model::PluginInfo>, catalogue);
        Rig rig(catalogue);
        rig.view->addMenu()->build();
        QFETCH(QStringList, expected);
        QCOMPARE(layout(*rig.view->addMenu()), expected);
    }

    void addMenuFilter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << "" << QStringList{"<filter>", "[Façade]", "Reverb", "Égaliseur",
                                                      "[x42]",    "EQ",       "Limiter"};
        QTest::newRow("vendor, any case")
            << "X42" << QStringList{"<filter>", "[x42]", "EQ", "Limiter"};
        QTest::newRow("without accents")
            << "egal" << QStringList{"<filter>", "[Façade]", "Égaliseur"};
        QTest::newRow("vendor and name")
            << " facade  REV " << QStringList{"<filter>", "[Façade]", "Reverb"};
        QTest::newRow("no match") << "zzz" << QStringList{"<filter>", "(Keine Treffer)"};
    }

    void addMenuFilter()
    {
        QFETCH(QString, typed);
        Rig rig({plugin(1, "EQ", "x42"), plugin(2, "Limiter", "x42"),
                 plugin(3, "Égaliseur", "Façade"), plugin(4, "Reverb", "Façade")});
        AddPluginMenu& menu = *rig.view->addMenu();
        menu.build();
        menu.filterField()->setText(typed);
        QFETCH(QStringList, expected);
        QCOMPARE(layout(menu), expected);
    }

    void choosingAPluginAddsItAndOpensItsEditor()
    {
        Rig rig({plugin(1, "EQ", "x42"), plugin(2, "Limiter", "x42")});
        rig.view->show();
        AddPluginMenu& menu = *rig.view->addMenu();
        menu.popup(rig.view->mapToGlobal(QPoint(0, 0)));
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
        const auto look = [&] {
            const auto lines = row.findChildren<ElidedLabel*>();
            return QStringList{row.bypassAction()->text(), row.bypassAction()->toolTip(),
                               lines[1]->text(), lines[0]->font().strikeOut() ? "struck" : "plain"};
        };
        const QStringList active{"Umgehen", "Umgehen (wird auch beim Export übersprungen)", "Fake",
                                 "plain"};
        QCOMPARE(look(), active);
        row.bypassAction()->trigger();
        QVERIFY(rig.saved().first().bypass);
        QCOMPARE(look(), (QStringList{"Einschalten", "Wieder einschalten", "umgangen", "struck"}));
        row.bypassAction()->trigger();
        QVERIFY(!rig.saved().first().bypass);
        QCOMPARE(look(), active);
    }

    void clearingEmptiesTheChain()
    {
        Rig rig;
        rig.add("P1");
        rig.add("P2");
        auto* body = rig.view->findChild<QStackedWidget*>();
        QCOMPARE(body->currentWidget(), rig.view->slotList());
        rig.commands->clear()->trigger();
        QVERIFY(rig.chain->slots().isEmpty());
        QVERIFY(rig.saved().isEmpty());
        QVERIFY(rig.settings.contains("chain"));
        QVERIFY(body->currentWidget() != rig.view->slotList());
        QVERIFY(!rig.commands->clear()->isEnabled());
    }

    void presetMenu_data()
    {
        QTest::addColumn<bool>("withSlots");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("expected");
        const QString reveal = "Ordner im Dateimanager zeigen";
        QTest::newRow("empty chain, no presets")
            << false << QStringList{}
            << QStringList{"(Kette speichern …)", reveal, "—", "(Kette leeren)"};
        QTest::newRow("empty chain, presets")
            << false << QStringList{"Kette 10", "kette 2"}
            << QStringList{
                   "(Kette speichern …)", "[Laden]", "kette 2", "Kette 10", "—", reveal, "—",
                   "(Kette leeren)"};
        QTest::newRow("slots, no presets")
            << true << QStringList{}
            << QStringList{"Kette speichern …", reveal, "—", "Kette leeren"};
    }

    void presetMenu()
    {
        QFETCH(QStringList, stored);
        Rig rig;
        QFETCH(bool, withSlots);
        if (withSlots)
            rig.add("P1");
        for (const QString& name : stored)
            rig.writePreset(name);
        rig.presets->reload();
        QFETCH(QStringList, expected);
        QCOMPARE(layout(*rig.view->presetMenu()), expected);
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

    void emptyAndLoadingStates()
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
    }

    /// With TOLVEX_CHAIN_SHOTS set to a folder: the panel with 0, 3 and 12
    /// slots (the second bypassed), light and dark, as PNG files there.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("TOLVEX_CHAIN_SHOTS");
        if (folder.isEmpty())
            QSKIP("TOLVEX_CHAIN_SHOTS is not set");
        QList<model::PluginInfo> catalogue;
        const QStringList names{
            "a-EQ",    "Kompressor", "Dynamic Parametric Equalizer with a very long name",
            "Limiter", "Hall",       "De-Esser",
            "Gate",    "Delay",      "Chorus",
            "Exciter", "Tape",       "Meter"};
        for (int i = 0; i < names.size(); ++i)
            catalogue << plugin(quint32(i + 1), names[i],
                                i % 2 ? "x42-plugins" : "Calf Studio Gear");
        const QPalette light = QApplication::palette();
        QPalette dark;
        for (const auto& [role, colour] : {std::pair{QPalette::Window, 0x2d2d2d},
                                           {QPalette::WindowText, 0xe8e8e8},
                                           {QPalette::Base, 0x1f1f1f},
                                           {QPalette::Text, 0xe8e8e8},
                                           {QPalette::Button, 0x3a3a3a},
                                           {QPalette::ButtonText, 0xe8e8e8},
                                           {QPalette::Highlight, 0x3f64a6}})
            dark.setColor(role, QColor::fromRgb(QRgb(colour)));
        for (const int count : {0, 3, 12}) {
            Rig rig(catalogue);
            for (int i = 0; i < count; ++i)
                rig.add(names[i], i == 1);
            rig.view->show();
            QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
            for (const auto& [scheme, palette] : {std::pair{"light", light}, {"dark", dark}}) {
                QApplication::setPalette(palette);
                QCoreApplication::processEvents();
                rig.view->grab().save(
                    QString("%1/chain-%2-%3.png").arg(folder).arg(count).arg(scheme));
            }
            QApplication::setPalette(light);
            QCoreApplication::processEvents();
            if (count != 3)
                continue;
            rig.writePreset("Sprache säubern");
            rig.writePreset("Podcast & Musik");
            rig.presets->reload();
            rig.view->slotList()->setFocus();
            rig.view->slotList()->setCurrentRow(2);
            rig.view->grab().save(folder + "/chain-3-selected.png");
            rig.view->presetMenu()->popup(rig.view->mapToGlobal(QPoint(200, 40)));
            QTest::qWait(50);
            rig.view->presetMenu()->grab().save(folder + "/menu-presets.png");
            rig.view->presetMenu()->hide();
            rig.view->addMenu()->popup(rig.view->mapToGlobal(QPoint(12, 100)));
            QTest::qWait(50);
            rig.view->addMenu()->grab().save(folder + "/menu-add.png");
            QTest::keyClicks(rig.view->addMenu()->filterField(), "er");
            QTest::qWait(50);
            rig.view->addMenu()->grab().save(folder + "/menu-add-filtered.png");
            rig.view->addMenu()->hide();
            auto adding = rig.chain->addPlugin(catalogue.last(), std::nullopt, false, false);
            rig.view->grab().save(folder + "/chain-3-loading.png");
            QCoro::waitFor(std::move(adding));
        }
    }

    void aLongCatalogueScrollsInOneColumn()
    {
        QList<model::PluginInfo> catalogue;
        for (int i = 0; i < 400; ++i)
            catalogue << plugin(quint32(i + 1), QString("P%1").arg(i), QString("V%1").arg(i / 10));
        Rig rig(catalogue);
        rig.view->show();
        AddPluginMenu& menu = *rig.view->addMenu();
        menu.popup(QPoint(0, 0));
        QTRY_VERIFY(menu.isVisible());
        QVERIFY(menu.width() < menu.screen()->geometry().width() / 2);
    }
};

QTEST_MAIN(TestChainView)
#include "test_chain_view.moc"
