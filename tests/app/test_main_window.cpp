// The window on a fake host: enabled states of its commands and export bar,
// the preset submenu, the export bar's fields, the frame.
#include "app/ContentView.h"
#include "app/ExportBar.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "tests/app/AppRig.h"

#include <QAction>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

template <typename Widget>
Widget* part(AppRig& rig, const char* name)
{
    return rig.app.content().exportBar().findChild<Widget*>(QLatin1String(name));
}

/// The visible items of the preset submenu of "Kette", "-" for a separator.
QStringList presetItems(app::TolvexApp& app)
{
    QStringList list;
    for (QAction* entry : app.window().menuBar()->actions())
        if (entry->text().remove('&') == u"Kette")
            for (const QAction* action : entry->menu()->findChild<QMenu*>()->actions())
                if (action->isVisible())
                    list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }

private Q_SLOTS:
    void enabledStatesFollowTheObjects()
    {
        AppRig rig(folder());
        auto& commands = rig.app.commands();
        auto& session = rig.app.session();
        auto* exportButton = part<QPushButton>(rig, "export");
        auto* cancelButton = part<QPushButton>(rig, "cancel");
        rig.app.window().show();
        QVERIFY(!commands.exportAll()->isEnabled() && !exportButton->isEnabled()); // empty list
        QVERIFY(!commands.cancelExport()->isEnabled() && !cancelButton->isVisible());
        QVERIFY(!commands.nextToSource()->isEnabled()); // no folder
        QVERIFY(!commands.saveChain()->isEnabled() && !commands.clearChain()->isEnabled());

        session.add({rig.addAudio(folder() + "/a.wav", 20)});
        QVERIFY(commands.exportAll()->isEnabled() && exportButton->isEnabled());
        QCOMPARE(exportButton->text(), QStringLiteral("Exportieren"));
        session.add({rig.addAudio(folder() + "/b.wav", 20)});
        QCOMPARE(exportButton->text(), QStringLiteral("Alle exportieren"));
        QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
        QVERIFY(commands.saveChain()->isEnabled() && commands.clearChain()->isEnabled());

        for (const bool byButton : {true, false}) { // started one way, cancelled the other
            if (byButton)
                QTest::mouseClick(exportButton, Qt::LeftButton);
            else
                commands.exportAll()->trigger();
            QVERIFY(session.exporting());
            QVERIFY(!commands.exportAll()->isEnabled() && !exportButton->isEnabled());
            QVERIFY(commands.cancelExport()->isEnabled() && cancelButton->isVisible());
            if (byButton)
                commands.cancelExport()->trigger();
            else
                QTest::mouseClick(cancelButton, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
            QVERIFY(commands.exportAll()->isEnabled() && exportButton->isEnabled());
            QVERIFY(!commands.cancelExport()->isEnabled() && !cancelButton->isVisible());
            QVERIFY(session.items()[0].status.isWaiting());
        }

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
        QCOMPARE(presetItems(rig.app), QStringList{expected.last()});
        QDir().mkpath(rig.app.presets().folder());
        for (const QString& name : names) {
            QFile file(rig.app.presets().folder() + '/' + name + ".json");
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[]") == 2);
        }
        rig.app.presets().reload();
        QCOMPARE(presetItems(rig.app), expected);
    }

    void destinationFollowsTheFolder()
    {
        AppRig rig(folder());
        auto* destination = part<QToolButton>(rig, "destination");
        const QString nextToSource = destination->text();
        const QString chosen = folder() + "/Export";
        QDir().mkpath(chosen);
        rig.app.session().setFolderPath(chosen);
        QCOMPARE(destination->text(), QStringLiteral("Export"));
        QCOMPARE(destination->toolTip(), chosen);
        destination->menu()->actions().first()->trigger(); // "Neben der Quelldatei"
        QVERIFY(rig.app.session().folderPath().isEmpty());
        QCOMPARE(destination->text(), nextToSource);
    }

    void suffixIsWrittenAtEveryEdit()
    {
        AppRig rig(folder());
        auto* field = part<QLineEdit>(rig, "suffix");
        field->clear();
        QTest::keyClicks(field, " neu");
        QCOMPARE(rig.app.session().suffix(), QStringLiteral(" neu"));
        field->setCursorPosition(1);
        QTest::keyClick(field, Qt::Key_X);
        QCOMPARE(rig.app.session().suffix(), QStringLiteral(" xneu"));
        QCOMPARE(field->cursorPosition(), 2);   // the write-back left the cursor alone
        rig.app.session().setSuffix("-fertig"); // from elsewhere
        QCOMPARE(field->text(), QStringLiteral("-fertig"));
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(rig.app.session().suffix(), QString()); // an empty suffix is stored
    }

    void frameIsRememberedOnVisibleScreens()
    {
        const QString place = folder();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame(screen.x() + 10, screen.y() + 20, 900, 600);
        {
            AppRig rig(place);
            rig.app.showWindow();
            QCOMPARE(rig.app.window().size(), app::MainWindow::defaultSize);
            rig.app.window().setGeometry(frame);
        }
        {
            AppRig rig(place);
            rig.app.showWindow();
            QCOMPARE(rig.app.window().geometry(), frame);
            rig.app.window().move(screen.right() + 4000, screen.bottom() + 4000); // screen gone
        }
        AppRig rig(place);
        rig.app.showWindow();
        QVERIFY(screen.intersects(rig.app.window().frameGeometry()));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
