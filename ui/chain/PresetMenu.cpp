#include "ui/chain/PresetMenu.h"

#include "chain/Chain.h"
#include "presets/Presets.h"

namespace tolvex::ui::chain {

namespace {

/// A name as a menu shows it: "&" would otherwise mark a shortcut letter.
QString menuText(QString name)
{
    return name.replace(u'&', QStringLiteral("&&"));
}

} // namespace

PresetMenu::PresetMenu(::tolvex::chain::Chain& chain, ::tolvex::presets::Presets& presets,
                       QWidget* parent)
    : QMenu(parent), m_chain(chain), m_presets(presets)
{
    m_save = addAction(QStringLiteral("Kette speichern …"));
    connect(m_save, &QAction::triggered, this, [this] { m_presets.saveCurrentChain(m_chain); });
    m_reveal = addAction(QStringLiteral("Ordner im Dateimanager zeigen"));
    connect(m_reveal, &QAction::triggered, this, [this] { m_presets.revealFolder(); });
    addSeparator();
    m_clear = addAction(QStringLiteral("Kette leeren"));
    connect(m_clear, &QAction::triggered, this, [this] {
        m_chain.clear();
        m_chain.save();
    });

    connect(&m_presets, &::tolvex::presets::Presets::namesChanged, this,
            &PresetMenu::rebuildLoadSection);
    connect(&m_chain, &::tolvex::chain::Chain::slotsChanged, this, &PresetMenu::updateEnabled);
    rebuildLoadSection();
    updateEnabled();
}

void PresetMenu::rebuildLoadSection()
{
    qDeleteAll(m_loadSection);
    m_loadSection.clear();
    m_loadActions.clear();
    const QStringList& names = m_presets.names();
    if (names.isEmpty())
        return;
    m_loadSection.append(insertSection(m_reveal, QStringLiteral("Laden")));
    for (const QString& name : names) {
        auto* action = new QAction(menuText(name), this);
        connect(action, &QAction::triggered, this,
                [this, name] { m_presets.loadPreset(name, m_chain); });
        insertAction(m_reveal, action);
        m_loadActions.append(action);
        m_loadSection.append(action);
    }
    m_loadSection.append(insertSeparator(m_reveal));
}

void PresetMenu::updateEnabled()
{
    const bool hasSlots = !m_chain.slots().isEmpty();
    m_save->setEnabled(hasSlots);
    m_clear->setEnabled(hasSlots);
}

} // namespace tolvex::ui::chain
