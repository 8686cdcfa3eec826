// The application on a fake host: start and quit, the enabled states of the
// window's commands and export bar, its fields and menus, the notice line,
// the frame.
#include "app/ContentView.h"
#include "app/ExportBar.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "app/NoticeLine.h"
#include "chain/Slot.h"
#include "model/ChainDocument.h"
#include "session/QuitSignals.h"
#include "tests/app/AppRig.h"

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <csignal>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

constexpr int anHour = 3600 * 1000;

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

class TestTolvexApp : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }

private Q_SLOTS:
    void commandLinePathsAreAddedAtStart()
    {
        const QString place = folder();
        AppRig rig(place);
        QSignalSpy added(&rig.app.session().files(), &session::FileList::rowsInserted);
        rig.addAudio(place + "/in/b.wav");
        rig.addAudio(place + "/in/a.wav");
        QDir::setCurrent(place);
        rig.app.open({"in", place + "/in/b.wav"}); // the folder, and a file already in it
        QCOMPARE(added.size(), 1);
        QCOMPARE(rig.app.session().items().size(), 2);
        QCOMPARE(rig.app.session().items()[0].url.fileName(), QStringLiteral("a.wav"));
    }

    void quittingDuringAnExportKeepsTheChainAndNoPartialFile()
    {
        const QString place = folder();
        const QString out = place + "/out";
        QDir().mkpath(out);
        {
            AppRig rig(place);
            auto& session = rig.app.session();
            for (int i = 0; i < 2; ++i)
                QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
            rig.app.chain().slots().last()->setBypass(true); // changed, not saved yet
            session.add({rig.addAudio(place + "/long.wav", 30)});
            session.setFolderPath(out);
            session.startExport(rig.app.chain());
            // Blocks are being written; the output takes its name only when complete.
            QTRY_VERIFY_WITH_TIMEOUT(session.items()[0].status.isRunning() &&
                                         session.items()[0].status.progress() > 0,
                                     20000);
        } // quits here, the render still at work
        QVERIFY(QDir(out).isEmpty(QDir::Files | QDir::Hidden));

        AppRig next(place);
        QTRY_COMPARE_WITH_TIMEOUT(next.app.chain().slots().size(), qsizetype(2), 20000);
        QCOMPARE(next.app.chain().slots().last()->info(), slowGain);
        QVERIFY(next.app.chain().slots().last()->bypass());
    }

    // A start without one of the chain's plugins: the chain keeps it, and an
    // export without it says so once in the notice line.
    void anExportSaysOnceWhichPluginItSkips()
    {
        const QString place = folder();
        const model::PluginInfo hall{model::effectType, 77, 3, "Hall", "Fehlt"};
        QSettings(place + "/settings.ini", QSettings::IniFormat)
            .setValue("chain", model::encodeChain({model::PluginState::from(slowGain, false),
                                                   model::PluginState::from(hall, false)}));
        AppRig rig(place);
        auto& chain = rig.app.chain();
        QTRY_VERIFY_WITH_TIMEOUT(chain.slots().size() == 2 && !chain.loading(), 20000);
        QCOMPARE(rig.app.content().notice().text(),
                 QStringLiteral("„Hall“ lässt sich nicht laden."));
        rig.app.content().notice().setDurations(anHour, 0);
        auto& session = rig.app.session();
        session.setToastDuration(anHour);
        session.add({rig.addAudio(place + "/a.wav"), rig.addAudio(place + "/b.wav")});
        QSignalSpy said(&chain, &chain::Chain::lastErrorChanged);
        session.startExport(chain);
        QCOMPARE(rig.app.content().notice().text(),
                 QStringLiteral("„Hall“ fehlt und wird übersprungen."));
        QTRY_VERIFY_WITH_TIMEOUT(!session.exporting(), 20000);
        QCOMPARE(said.size(), 1);
        QCOMPARE(session.toast(), QStringLiteral("2 Dateien exportiert."));
    }

    void terminationSignalsArriveOnTheGuiThread()
    {
        session::QuitSignals quit({SIGTERM});
        QSignalSpy received(&quit, &session::QuitSignals::received);
        std::raise(SIGTERM);
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toInt(), SIGTERM);
    }

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

        session.add({rig.addAudio(folder() + "/a.wav", 20)});
        QVERIFY(commands.exportAll()->isEnabled() && exportButton->isEnabled());
        QCOMPARE(exportButton->text(), QStringLiteral("Exportieren"));
        session.add({rig.addAudio(folder() + "/b.wav", 20)});
        QCOMPARE(exportButton->text(), QStringLiteral("Alle exportieren"));
        QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));

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
    }

    void presetSubmenuFollowsTheNames()
    {
        AppRig rig(folder());
        const QString reveal = QStringLiteral("Ordner im Dateimanager zeigen");
        QCOMPARE(presetItems(rig.app), QStringList{reveal});
        QDir presets(rig.app.presets().folder());
        presets.mkpath(".");
        for (const QString name : {"Sprache", "Laut & klar"}) {
            QFile file(presets.filePath(name + ".json"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[]") == 2);
        }
        rig.app.presets().reload();
        QCOMPARE(presetItems(rig.app), (QStringList{"Laut && klar", "Sprache", "-", reveal}));
        QVERIFY(presets.removeRecursively());
        rig.app.presets().reload();
        QCOMPARE(presetItems(rig.app), QStringList{reveal});
    }

    // "Datei" › "Lautheit angleichen": off at first; each choice is stored
    // at once and is what the next export normalises to; the album choice
    // only with a level, and back at the next start.
    void loudnessChoicesAreStored()
    {
        const QString settings = folder();
        auto rig = std::make_unique<AppRig>(settings);
        auto& session = rig->app.session();
        QMenu* loudness = nullptr;
        for (QAction* entry : rig->app.window().menuBar()->actions())
            if (entry->text().remove('&') == u"Datei")
                for (QMenu* menu : entry->menu()->findChildren<QMenu*>())
                    if (menu->title() == u"Lautheit angleichen")
                        loudness = menu;
        QVERIFY(loudness);
        QStringList titles;
        for (const QAction* action : loudness->actions())
            titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(titles, (QStringList{"Aus", "−14 LUFS", "−16 LUFS", "−23 LUFS", "-",
                                      "True Peak höchstens −1 dBTP", "True Peak höchstens −2 dBTP",
                                      "-", "Album: eine Verstärkung für alle Dateien"}));
        const QList<QAction*> actions = loudness->actions();
        QAction* album = actions[8];
        QVERIFY(actions[0]->isChecked() && actions[5]->isChecked() && !album->isChecked());
        QVERIFY(!album->isEnabled());
        QCOMPARE(session.loudnessTarget(), std::nullopt);
        actions[2]->trigger();
        QCOMPARE(session.loudnessTarget(), (model::LoudnessTarget{-16, -1}));
        QVERIFY(album->isEnabled());
        album->trigger();
        QCOMPARE(session.loudnessTarget(), (model::LoudnessTarget{-16, -1, true}));
        actions[6]->trigger();
        QCOMPARE(session.loudnessTarget(), (model::LoudnessTarget{-16, -2, true}));

        rig.reset();
        rig = std::make_unique<AppRig>(settings); // the next start
        QAction* restored = rig->app.commands().loudnessAlbum();
        QVERIFY(restored->isChecked() && restored->isEnabled());
        QCOMPARE(rig->app.session().loudnessTarget(), (model::LoudnessTarget{-16, -2, true}));
        rig->app.commands().loudnessLevels()[0]->trigger();
        QCOMPARE(rig->app.session().loudnessTarget(), std::nullopt);
        QVERIFY(!restored->isEnabled() && restored->isChecked()); // kept for the next level
    }

    void destinationFollowsTheFolder()
    {
        AppRig rig(folder());
        auto& session = rig.app.session();
        QAction* nextToSource = rig.app.commands().nextToSource();
        auto* destination = part<QToolButton>(rig, "destination");
        const QString nextToSourceText = destination->text();
        const QString chosen = folder() + "/Export";
        QDir().mkpath(chosen);
        // Back next to the source by the menu command, then by the button's own menu.
        for (QAction* back : {nextToSource, destination->menu()->actions().first()}) {
            QVERIFY(!nextToSource->isEnabled());
            session.setFolderPath(chosen);
            QVERIFY(nextToSource->isEnabled());
            QCOMPARE(destination->text(), QStringLiteral("Export"));
            QCOMPARE(destination->toolTip(), chosen);
            back->trigger();
            QVERIFY(session.folderPath().isEmpty());
            QCOMPARE(destination->text(), nextToSourceText);
        }
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

    void toastBeforeChainMessageAndAClickClearsBoth()
    {
        AppRig rig(folder());
        auto& content = rig.app.content();
        auto& notice = content.notice();
        notice.setDurations(anHour, 0);
        rig.app.session().setToastDuration(anHour);
        rig.app.window().show();
        const QPoint spot(content.width() / 2, content.height() - app::NoticeLine::lift - 10);
        QVERIFY(notice.isHidden());
        QVERIFY(content.childAt(spot) != &notice); // clicks reach the panels

        rig.app.chain().setLastError("Kettenfehler");
        QCOMPARE(notice.text(), QStringLiteral("Kettenfehler"));
        rig.app.session().showToast("Hinweis");
        QCOMPARE(notice.text(), QStringLiteral("Hinweis"));
        QCOMPARE(content.childAt(spot), &notice);
        QCOMPARE(notice.geometry().bottom() + 1, content.height() - app::NoticeLine::lift);

        QTest::mouseClick(&notice, Qt::LeftButton);
        QVERIFY(rig.app.session().toast().isEmpty() && rig.app.chain().lastError().isEmpty());
        QVERIFY(notice.isHidden());
    }

    void chainMessageOutlivesTheToast()
    {
        AppRig rig(folder());
        auto& notice = rig.app.content().notice();
        notice.setDurations(anHour, 20);
        rig.app.session().setToastDuration(50);
        rig.app.chain().setLastError("Kettenfehler");
        rig.app.session().showToast("Hinweis");
        QCOMPARE(notice.text(), QStringLiteral("Hinweis"));
        QTRY_COMPARE(notice.text(), QStringLiteral("Kettenfehler"));
        QVERIFY(!notice.isHidden());
    }

    void aMessageIsClearedOnlyByItsOwnTimer()
    {
        AppRig rig(folder());
        auto& notice = rig.app.content().notice();
        auto& chain = rig.app.chain();
        constexpr int stay = 400;
        notice.setDurations(stay, 20);
        chain.setLastError("Erster");
        QTest::qWait(stay / 2);
        // Started before the last change: the notice's timer, which never
        // fires early, cannot end before this one has counted `stay`, however
        // slowly the machine runs.
        QElapsedTimer since;
        since.start();
        chain.setLastError("Zweiter");
        chain.setLastError("Erster"); // the same text again: its first timer must not count
        QTRY_VERIFY_WITH_TIMEOUT(chain.lastError().isEmpty(), 20000);
        QVERIFY(since.elapsed() >= stay);
        QTRY_VERIFY(notice.isHidden()); // after its fade
    }
};

QTEST_MAIN(TestTolvexApp)
#include "test_tolvex_app.moc"
