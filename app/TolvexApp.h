#pragma once

#include "app/update/UpdateController.h"
#include "chain/Chain.h"
#include "presets/Presets.h"
#include "session/Session.h"
#include "ui/ChainCommands.h"
#include "ui/FileDialogs.h"
#include "ui/FileManager.h"
#include "ui/PresetNamePrompt.h"

#include <QObject>
#include <QSettings>
#include <QStringList>

#include <memory>

namespace tolvex::app {

class ContentView;
class MainWindow;
class MenuCommands;

/// The application: the four long-lived objects, made once and kept for the
/// whole run, the main window with its content and menus, and the orderly
/// end. Lives on the GUI thread, after the QApplication.
class TolvexApp : public QObject {
    Q_OBJECT

public:
    /// The real host, playing through the sound device (the null output
    /// when no device opens), and the user's settings; exports render in
    /// worker processes.
    TolvexApp();
    /// With this host and settings, presets in `presetFolder`; exports
    /// render on threads of this process, with the host.
    TolvexApp(std::unique_ptr<host::AudioHost> host, std::unique_ptr<QSettings> settings,
              const QString& presetFolder = presets::Presets::defaultFolder());
    /// Shuts down (see shutDown), then closes the window before the objects
    /// and the host go.
    ~TolvexApp() override;

    session::Session& session() { return m_session; }
    chain::Chain& chain() { return m_chain; }
    presets::Presets& presets() { return m_presets; }
    UpdateController& updates() { return m_updates; }
    MainWindow& window() { return *m_window; }
    ContentView& content() { return *m_content; }
    MenuCommands& commands() { return *m_commands; }

    /// Adds the files and folders named on the command line to the list, in
    /// one go; relative paths are taken from the working folder.
    void open(const QStringList& paths);
    /// Shows the window at its remembered frame.
    void showWindow();
    /// Paths a later start handed over: added in one go, as at the start,
    /// and the window comes to the front.
    void openFromElsewhere(const QStringList& paths);
    /// The orderly end, before the event loop stops or the objects go: a
    /// running export is cancelled (its worker is waited for when the
    /// session goes), the chain and the window frame are saved, the settings
    /// written out. Harmless when called again.
    void shutDown();

private:
    /// Saves what would be lost if the session ended now.
    void commitData();

    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<host::AudioHost> m_host;
    std::unique_ptr<MainWindow> m_window; // before the objects: the dialogs' parent
    ui::FileDialogs m_fileDialogs;
    ui::FileManager m_fileManager;
    ui::PresetNamePrompt m_namePrompt;
    session::Session m_session;
    chain::Chain m_chain;
    presets::Presets m_presets;
    ui::ChainCommands m_chainCommands;
    UpdateController m_updates;
    std::unique_ptr<MenuCommands> m_commands;
    ContentView* m_content; // owned by the window
    bool m_shutDown = false;
};

} // namespace tolvex::app
