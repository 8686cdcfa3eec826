#include "ui/chain/PresetMenu.h"

#include "ui/ChainCommands.h"

namespace tolvex::ui::chain {

PresetMenu::PresetMenu(ChainCommands& commands, QWidget* parent)
    : QMenu(parent), m_commands(commands)
{
    addAction(m_commands.save());
    addAction(m_commands.revealPresets());
    addSeparator();
    addAction(m_commands.clear());
    connect(&m_commands, &ChainCommands::loadActionsChanged, this, &PresetMenu::rebuildLoadSection);
    rebuildLoadSection();
}

void PresetMenu::rebuildLoadSection()
{
    // The load actions themselves belong to the commands, which remade them.
    qDeleteAll(m_loadSection);
    m_loadSection.clear();
    const QList<QAction*>& load = m_commands.loadActions();
    if (load.isEmpty())
        return;
    QAction* reveal = m_commands.revealPresets();
    m_loadSection.append(insertSection(reveal, QStringLiteral("Laden")));
    insertActions(reveal, load);
    m_loadSection.append(insertSeparator(reveal));
}

} // namespace tolvex::ui::chain
