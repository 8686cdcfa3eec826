#include "app/MenuCommands.h"

#include "app/PresetMenu.h"
#include "app/update/UpdateController.h"
#include "chain/Chain.h"
#include "session/Session.h"
#include "ui/ChainCommands.h"
#include "ui/MenuText.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace tolvex::app {

MenuCommands::MenuCommands(session::Session& session, chain::Chain& chain,
                           ui::ChainCommands& chainCommands, UpdateController& updates,
                           QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_session(session), m_chain(chain), m_chainCommands(chainCommands),
      m_updates(updates), m_dialogParent(dialogParent)
{
    makeFileCommands();
    makeChainAndHelpCommands();
    makeLoudnessCommands();
    connectRules();
}

bool MenuCommands::canExport(const session::Session& session)
{
    return !session.exporting() && !session.items().isEmpty();
}

bool MenuCommands::canCancelExport(const session::Session& session)
{
    return session.exporting();
}

bool MenuCommands::canSaveNextToSource(const session::Session& session)
{
    return !session.folderPath().isEmpty();
}

bool MenuCommands::canChooseAlbum(const session::Session& session)
{
    return session.loudnessLevel().has_value();
}

QAction* MenuCommands::make(const QString& title, void (MenuCommands::*handler)())
{
    auto* action = new QAction(title, this);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void MenuCommands::makeFileCommands()
{
    m_addFiles = make(QStringLiteral("Dateien hinzufügen …"), &MenuCommands::runAddFiles);
    m_addFiles->setShortcut(QKeySequence(ui::addFilesShortcut));
    m_export = make(QStringLiteral("Exportieren"), &MenuCommands::runExport);
    m_export->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_cancel = make(QStringLiteral("Export abbrechen"), &MenuCommands::runCancel);
    m_cancel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
    m_pickFolder = make(QStringLiteral("Zielordner wählen …"), &MenuCommands::runPickFolder);
    m_nextToSource =
        make(QStringLiteral("Neben der Quelldatei speichern"), &MenuCommands::runNextToSource);
    m_quit = make(QStringLiteral("Beenden"), &MenuCommands::runQuit);
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);
}

void MenuCommands::makeChainAndHelpCommands()
{
    m_checkUpdates = make(QStringLiteral("Nach Updates suchen …"), &MenuCommands::runCheck);
    m_about = make(QStringLiteral("Über Tolvex"), &MenuCommands::runAbout);
    m_about->setMenuRole(QAction::AboutRole);
}

/// Each choice is stored the moment it is made; the next export uses it.
void MenuCommands::makeLoudnessCommands()
{
    const auto choices = [this](QActionGroup* group, const QList<QPair<QString, QVariant>>& items,
                                const QVariant& current) {
        for (const auto& [title, value] : items) {
            QAction* action = group->addAction(title);
            action->setCheckable(true);
            action->setData(value);
            action->setChecked(value == current);
        }
    };
    m_levels = new QActionGroup(this);
    const auto level = m_session.loudnessLevel();
    choices(m_levels,
            {{QStringLiteral("Aus"), QVariant()},
             {QStringLiteral("−14 LUFS"), -14.0},
             {QStringLiteral("−16 LUFS"), -16.0},
             {QStringLiteral("−23 LUFS"), -23.0}},
            level ? QVariant(*level) : QVariant());
    connect(m_levels, &QActionGroup::triggered, this, &MenuCommands::runLoudnessLevel);
    m_ceilings = new QActionGroup(this);
    choices(m_ceilings,
            {{QStringLiteral("True Peak höchstens −1 dBTP"), -1.0},
             {QStringLiteral("True Peak höchstens −2 dBTP"), -2.0}},
            m_session.truePeakCeiling());
    connect(m_ceilings, &QActionGroup::triggered, this, &MenuCommands::runTruePeakCeiling);
    m_album = new QAction(QStringLiteral("Album: eine Verstärkung für alle Dateien"), this);
    m_album->setCheckable(true);
    m_album->setChecked(m_session.loudnessAlbum());
    connect(m_album, &QAction::toggled, &m_session, &session::Session::setLoudnessAlbum);
}

QMenu* MenuCommands::loudnessMenu(QWidget* parent) const
{
    auto* menu = new QMenu(QStringLiteral("Lautheit angleichen"), parent);
    menu->addActions(loudnessLevels());
    menu->addSeparator();
    menu->addActions(truePeakCeilings());
    menu->addSeparator();
    menu->addAction(m_album);
    return menu;
}

QList<QAction*> MenuCommands::loudnessLevels() const
{
    return m_levels->actions();
}

QList<QAction*> MenuCommands::truePeakCeilings() const
{
    return m_ceilings->actions();
}

void MenuCommands::connectRules()
{
    using session::Session;
    connect(&m_session.files(), &session::FileList::countChanged, this,
            &MenuCommands::updateExport);
    connect(&m_session, &Session::exportingChanged, this, &MenuCommands::updateExport);
    connect(&m_session, &Session::exportingChanged, this, &MenuCommands::updateCancel);
    connect(&m_session, &Session::folderPathChanged, this, &MenuCommands::updateNextToSource);
    connect(&m_updates, &UpdateController::canCheckChanged, this, &MenuCommands::updateCheck);
    connect(&m_session, &Session::loudnessChanged, this, &MenuCommands::updateAlbum);
    updateExport();
    updateCancel();
    updateNextToSource();
    updateCheck();
    updateAlbum();
}

void MenuCommands::install(QMenuBar& bar)
{
    QMenu* file = bar.addMenu(QStringLiteral("&Datei"));
    file->addActions({m_addFiles, m_export, m_cancel});
    file->addSeparator();
    file->addActions({m_pickFolder, m_nextToSource});
    file->addMenu(loudnessMenu(file));
    file->addSeparator();
    file->addAction(m_quit);

    QMenu* chainMenu = bar.addMenu(QStringLiteral("&Kette"));
    chainMenu->addAction(m_chainCommands.save());
    chainMenu->addMenu(new PresetMenu(m_chainCommands, chainMenu));
    chainMenu->addSeparator();
    chainMenu->addActions({m_chainCommands.clear(), m_chainCommands.rescan()});

    QMenu* help = bar.addMenu(QStringLiteral("&Hilfe"));
    help->addAction(m_checkUpdates);
    help->addSeparator();
    help->addAction(m_about);
}

// Enabled states ---------------------------------------------------------------

void MenuCommands::updateExport()
{
    m_export->setEnabled(canExport(m_session));
}

void MenuCommands::updateCancel()
{
    m_cancel->setEnabled(canCancelExport(m_session));
}

void MenuCommands::updateNextToSource()
{
    m_nextToSource->setEnabled(canSaveNextToSource(m_session));
}

void MenuCommands::updateCheck()
{
    m_checkUpdates->setEnabled(m_updates.canCheck());
}

void MenuCommands::updateAlbum()
{
    m_album->setEnabled(canChooseAlbum(m_session));
    m_album->setChecked(m_session.loudnessAlbum());
}

// Actions ------------------------------------------------------------------------

void MenuCommands::runAddFiles()
{
    m_session.pickFiles();
}

void MenuCommands::runExport()
{
    m_session.startExport(m_chain);
}

void MenuCommands::runCancel()
{
    m_session.cancelExport();
}

void MenuCommands::runPickFolder()
{
    m_session.pickFolder();
}

void MenuCommands::runNextToSource()
{
    m_session.setFolderPath(QString());
}

void MenuCommands::runQuit()
{
    QCoreApplication::quit();
}

void MenuCommands::runCheck()
{
    m_updates.checkForUpdates();
}

void MenuCommands::runLoudnessLevel(QAction* chosen)
{
    const QVariant level = chosen->data();
    m_session.setLoudnessLevel(level.isValid() ? std::optional(level.toDouble()) : std::nullopt);
}

void MenuCommands::runTruePeakCeiling(QAction* chosen)
{
    m_session.setTruePeakCeiling(chosen->data().toDouble());
}

void MenuCommands::runAbout()
{
    const QString text =
        QStringLiteral("<h3>Tolvex %1</h3>"
                       "<p>Tolvex schickt viele Audiodateien auf einmal durch eine Kette von "
                       "LV2-Effekt-Plugins – zum Vorhören und zum Export als WAV, AIFF oder "
                       "M4A.</p>")
            .arg(QCoreApplication::applicationVersion().toHtmlEscaped());
    QMessageBox::about(m_dialogParent, QStringLiteral("Über Tolvex"), text);
}

} // namespace tolvex::app
