// The window's menus and frame on a fake host.
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "tests/app/AppRig.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

/// "Title Shortcut" for each item of the menu, "-" for a separator.
QStringList items(const QMenu* menu)
{
    QStringList list;
    for (const QAction* action : menu->actions())
        if (action->isVisible())
            list << (action->isSeparator()
                         ? QStringLiteral("-")
                         : (action->text() + ' ' + action->shortcut().toString()).trimmed());
    return list;
}

QMenu* menu(app::TolvexApp& app, const QString& title)
{
    for (QAction* action : app.window().menuBar()->actions())
        if (action->text().remove('&') == title)
            return action->menu();
    return nullptr;
}

QMenu* presetMenu(app::TolvexApp& app)
{
    return menu(app, "Kette")->findChild<QMenu*>();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }

private Q_SLOTS:
    void menusInOrder()
    {
        AppRig rig(folder());
        QCOMPARE(rig.app.window().windowTitle(), QStringLiteral("Tolvex"));
        QCOMPARE(items(menu(rig.app, "Datei")),
                 (QStringList{"Dateien hinzufügen … Ctrl+O", "Exportieren Ctrl+E",
                              "Export abbrechen Ctrl+.", "-", "Zielordner wählen …",
                              "Neben der Quelldatei speichern", "-", "Beenden Ctrl+Q"}));
        QCOMPARE(items(menu(rig.app, "Kette")),
                 (QStringList{"Kette speichern … Ctrl+S", "Kette laden", "-", "Kette leeren",
                              "Plugins neu suchen"}));
        QCOMPARE(items(menu(rig.app, "Hilfe")),
                 (QStringList{"Nach Updates suchen …", "-", "Über Tolvex"}));
    }

    void enabledStatesFollowTheObjects()
    {
        AppRig rig(folder());
        auto& commands = rig.app.commands();
        auto& session = rig.app.session();
        QVERIFY(!commands.exportAll()->isEnabled()); // empty list
        QVERIFY(!commands.cancelExport()->isEnabled());
        QVERIFY(!commands.nextToSource()->isEnabled()); // no folder
        QVERIFY(!commands.saveChain()->isEnabled() && !commands.clearChain()->isEnabled());
        QVERIFY(commands.rescan()->isEnabled());

        session.add({rig.addAudio(folder() + "/a.wav", 20)});
        QVERIFY(commands.exportAll()->isEnabled());
        QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
        QVERIFY(commands.saveChain()->isEnabled() && commands.clearChain()->isEnabled());

        commands.exportAll()->trigger();
        QVERIFY(session.exporting());
        QVERIFY(!commands.exportAll()->isEnabled());
        QVERIFY(commands.cancelExport()->isEnabled());
        commands.cancelExport()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        QVERIFY(commands.exportAll()->isEnabled() && !commands.cancelExport()->isEnabled());
        QVERIFY(session.items()[0].status.isWaiting());

        session.setFolderPath(folder());
        QVERIFY(commands.nextToSource()->isEnabled());
        commands.nextToSource()->trigger();
        QVERIFY(session.folderPath().isEmpty() && !commands.nextToSource()->isEnabled());

        commands.clearChain()->trigger();
        QVERIFY(!commands.saveChain()->isEnabled());
        QVERIFY(rig.app.chain().slots().isEmpty());
    }

    void presetSubmenuFollowsTheNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        const QString reveal = QStringLiteral("Ordner im Dateimanager zeigen");
        QTest::newRow("none") << QStringList{} << QStringList{reveal};
        QTest::newRow("two") << QStringList{"Sprache", "Laut & klar"}
                             << QStringList{"Laut && klar", "Sprache", "-", reveal};
    }

    void presetSubmenuFollowsTheNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        AppRig rig(folder());
        QCOMPARE(items(presetMenu(rig.app)), QStringList{expected.last()});
        QDir().mkpath(rig.app.presets().folder());
        for (const QString& name : names) {
            QFile file(rig.app.presets().folder() + '/' + name + ".json");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[]");
        }
        rig.app.presets().reload();
        QCOMPARE(items(presetMenu(rig.app)), expected);
    }

    void frameIsRememberedOnVisibleScreens()
    {
        const QString place = folder();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        {
            AppRig rig(place);
            rig.app.showWindow();
            QCOMPARE(rig.app.window().size(), app::MainWindow::defaultSize);
            rig.app.window().setGeometry(screen.x() + 10, screen.y() + 20, 900, 600);
        }
        {
            AppRig rig(place);
            rig.app.showWindow();
            QCOMPARE(rig.app.window().geometry(),
                     QRect(screen.x() + 10, screen.y() + 20, 900, 600));
            rig.app.window().move(screen.right() + 4000, screen.bottom() + 4000); // screen gone
        }
        AppRig rig(place);
        rig.app.showWindow();
        QVERIFY(screen.intersects(rig.app.window().frameGeometry()));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
