#include "app/PresetMenu.h"

#include "ui/ChainCommands.h"

namespace tolvex::app {

PresetMenu::PresetMenu(ui::ChainCommands& commands, QWidget* parent)
    : QMenu(QStringLiteral("Kette laden"), parent), m_commands(commands)
{
    m_separator = addSeparator();
    addAction(m_commands.revealPresets());
    connect(&m_commands, &ui::ChainCommands::loadActionsChanged, this, &PresetMenu::rebuild);
    rebuild();
}

void PresetMenu::rebuild()
{
    // The old load actions are gone with their commands' remake.
    insertActions(m_separator, m_commands.loadActions());
    m_separator->setVisible(!m_commands.loadActions().isEmpty());
}

} // namespace tolvex::app
