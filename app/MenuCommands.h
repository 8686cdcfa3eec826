#pragma once

#include <QObject>

class QAction;
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

private:
    QAction* make(const QString& title, void (MenuCommands::*handler)());
    void makeFileCommands();
    void makeChainAndHelpCommands();
    void connectRules();

    void updateExport();
    void updateCancel();
    void updateNextToSource();
    void updateCheck();

    void runAddFiles();
    void runExport();
    void runCancel();
    void runPickFolder();
    void runNextToSource();
    void runQuit();
    void runCheck();
    void runAbout();

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
};

} // namespace tolvex::app
