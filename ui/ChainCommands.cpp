#include "ui/ChainCommands.h"

#include "chain/Chain.h"
#include "presets/Presets.h"
#include "ui/MenuText.h"

#include <QAction>

namespace tolvex::ui {

ChainCommands::ChainCommands(tolvex::chain::Chain& chain, presets::Presets& presets,
                             QObject* parent)
    : QObject(parent), m_chain(chain), m_presets(presets)
{
    m_save = new QAction(QStringLiteral("Kette speichern …"), this);
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(m_save, &QAction::triggered, this, [this] { m_presets.saveCurrentChain(m_chain); });
    m_clear = new QAction(QStringLiteral("Kette leeren"), this);
    connect(m_clear, &QAction::triggered, this, [this] {
        m_chain.clear();
        m_chain.save();
    });
    m_reveal = new QAction(QStringLiteral("Ordner im Dateimanager zeigen"), this);
    connect(m_reveal, &QAction::triggered, &m_presets, &presets::Presets::revealFolder);
    m_rescan = new QAction(QStringLiteral("Plugins neu suchen"), this);
    connect(m_rescan, &QAction::triggered, &m_chain, &tolvex::chain::Chain::rescan);

    connect(&m_presets, &presets::Presets::namesChanged, this, &ChainCommands::remakeLoadActions);
    connect(&m_chain, &tolvex::chain::Chain::slotsChanged, this, &ChainCommands::updateEnabled);
    remakeLoadActions();
    updateEnabled();
}

bool ChainCommands::chainHasSlots(const tolvex::chain::Chain& chain)
{
    return !chain.slots().isEmpty();
}

void ChainCommands::remakeLoadActions()
{
    qDeleteAll(m_load);
    m_load.clear();
    for (const QString& name : m_presets.names()) {
        auto* action = new QAction(menuText(name), this); // shown as stored
        connect(action, &QAction::triggered, this,
                [this, name] { m_presets.loadPreset(name, m_chain); });
        m_load.append(action);
    }
    Q_EMIT loadActionsChanged();
}

void ChainCommands::updateEnabled()
{
    const bool hasSlots = chainHasSlots(m_chain);
    m_save->setEnabled(hasSlots);
    m_clear->setEnabled(hasSlots);
}

} // namespace tolvex::ui
