#include "app/TolvexApp.h"

#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "host/engine/Outputs.h"
#include "host/lv2/Lv2AudioHost.h"
#include "session/ProcessLauncher.h"
#include "ui/editors/EditorOpener.h"

#include <QDir>
#include <QGuiApplication>
#include <QMenuBar>
#include <QSessionManager>
#include <QUrl>

namespace tolvex::app {

TolvexApp::TolvexApp()
    : TolvexApp(std::make_unique<host::Lv2AudioHost>(&host::makeDeviceOutput),
                std::make_unique<QSettings>(QStringLiteral("Tolvex"), QStringLiteral("Tolvex")))
{
    // A plugin that crashes or hangs in an export takes only its file with it.
    m_session.setRenderLauncher(std::make_unique<session::ProcessLauncher>());
}

TolvexApp::TolvexApp(std::unique_ptr<host::AudioHost> host, std::unique_ptr<QSettings> settings,
                     const QString& presetFolder)
    : m_settings(std::move(settings)), m_host(std::move(host)),
      m_window(std::make_unique<MainWindow>(*m_settings)), m_fileDialogs(m_window.get()),
      m_namePrompt(m_window.get()), m_session(*m_host, *m_settings, &m_fileDialogs),
      m_chain(*m_host, *m_settings), m_presets(&m_namePrompt, &m_fileManager, presetFolder),
      m_chainCommands(m_chain, m_presets), m_updates(*m_settings, m_window.get()),
      m_commands(std::make_unique<MenuCommands>(m_session, m_chain, m_chainCommands, m_updates,
                                                m_window.get())),
      m_content(new ContentView(m_session, m_chain, m_chainCommands, *m_commands))
{
    m_window->setCentralWidget(m_content);
    m_commands->install(*m_window->menuBar());
    ui::editors::installEditorOpener(m_chain, m_window.get());
    m_window->setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tolvex"), QIcon(QStringLiteral(":/icons/tolvex.svg"))));

    connect(m_window.get(), &MainWindow::closed, this, &QCoreApplication::quit,
            Qt::QueuedConnection);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TolvexApp::shutDown);
    if (auto* gui = qobject_cast<QGuiApplication*>(qApp))
        connect(gui, &QGuiApplication::commitDataRequest, this, &TolvexApp::commitData);
}

TolvexApp::~TolvexApp()
{
    shutDown();
    m_window.reset(); // the views go before the objects they show
}

void TolvexApp::open(const QStringList& paths)
{
    QList<QUrl> locations;
    for (const QString& path : paths)
        locations.append(QUrl::fromUserInput(path, QDir::currentPath(), QUrl::AssumeLocalFile));
    if (!locations.isEmpty())
        m_session.add(locations);
}

void TolvexApp::showWindow()
{
    m_window->restoreFrame();
    m_window->show();
}

void TolvexApp::openFromElsewhere(const QStringList& paths)
{
    open(paths);
    m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void TolvexApp::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_session.cancelExport();
    m_chain.stop();
    commitData();
}

void TolvexApp::commitData()
{
    m_chain.save();
    if (m_window->isVisible())
        m_window->saveFrame();
    m_settings->sync();
}

} // namespace tolvex::app
