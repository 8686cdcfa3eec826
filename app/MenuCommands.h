#pragma once

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

namespace tolvex::session {
class Session;
}
namespace tolvex::chain {
class Chain;
}
namespace tolvex::ui {
class ChainCommands;
}

namespace tolvex::app {

class UpdateController;

/// The menu commands: each one QAction, made once, calling an operation of
/// the long-lived objects. Each rule for an enabled state is one small
/// function, re-run when the signals it depends on fire. Lives on the GUI
/// thread as long as the objects it refers to.
class MenuCommands : public QObject {
    Q_OBJECT

public:
    /// `dialogParent` carries the about box.
    MenuCommands(session::Session& session, chain::Chain& chain, ui::ChainCommands& chainCommands,
                 UpdateController& updates, QWidget* dialogParent, QObject* parent = nullptr);

    /// The enabling rules; the export bar shares the first two.
    static bool canExport(const session::Session& session);
    static bool canCancelExport(const session::Session& session);
    static bool canSaveNextToSource(const session::Session& session);

    /// Installs the menus "Datei", "Kette" and "Hilfe" into `bar`.
    void install(QMenuBar& bar);

    QAction* addFiles() const { return m_addFiles; }
    QAction* exportAll() const { return m_export; }
    QAction* cancelExport() const { return m_cancel; }
    QAction* pickFolder() const { return m_pickFolder; }
    QAction* nextToSource() const { return m_nextToSource; }
    QAction* quit() const { return m_quit; }
    QAction* checkForUpdates() const { return m_checkUpdates; }
    /// The "Lautheit angleichen" choices: the levels (first "Aus") and the
    /// ceilings, checked as the settings say.
    QList<QAction*> loudnessLevels() const;
    QList<QAction*> truePeakCeilings() const;
    /// "Album: eine Verstärkung für alle Dateien", checkable; enabled while
    /// a level is chosen.
    QAction* loudnessAlbum() const { return m_album; }
    static bool canChooseAlbum(const session::Session& session);

private:
    QAction* make(const QString& title, void (MenuCommands::*handler)());
    void makeFileCommands();
    void makeChainAndHelpCommands();
    void makeLoudnessCommands();
    QMenu* loudnessMenu(QWidget* parent) const;
    void connectRules();

    void updateExport();
    void updateCancel();
    void updateNextToSource();
    void updateCheck();
    void updateAlbum();

    void runAddFiles();
    void runExport();
    void runCancel();
    void runPickFolder();
    void runNextToSource();
    void runQuit();
    void runCheck();
    void runAbout();
    void runLoudnessLevel(QAction* chosen);
    void runTruePeakCeiling(QAction* chosen);

    session::Session& m_session;
    chain::Chain& m_chain;
    ui::ChainCommands& m_chainCommands;
    UpdateController& m_updates;
    QWidget* m_dialogParent;

    QAction* m_addFiles = nullptr;
    QAction* m_export = nullptr;
    QAction* m_cancel = nullptr;
    QAction* m_pickFolder = nullptr;
    QAction* m_nextToSource = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_checkUpdates = nullptr;
    QAction* m_about = nullptr;
    QActionGroup* m_levels = nullptr;   ///< data: the level in LUFS, invalid for "Aus"
    QActionGroup* m_ceilings = nullptr; ///< data: the ceiling in dBTP
    QAction* m_album = nullptr;
};

} // namespace tolvex::app
