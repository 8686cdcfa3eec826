#include "app/PresetMenu.h"

#include "presets/Presets.h"

namespace tolvex::app {

PresetMenu::PresetMenu(presets::Presets& presets, chain::Chain& chain, QWidget* parent)
    : QMenu(QStringLiteral("Kette laden"), parent), m_presets(presets), m_chain(chain)
{
    m_separator = addSeparator();
    m_reveal = addAction(QStringLiteral("Ordner im Dateimanager zeigen"));
    connect(m_reveal, &QAction::triggered, &m_presets, &presets::Presets::revealFolder);
    connect(&m_presets, &presets::Presets::namesChanged, this, &PresetMenu::rebuild);
    rebuild();
}

void PresetMenu::rebuild()
{
    qDeleteAll(m_names);
    m_names.clear();
    for (const QString& name : m_presets.names()) {
        // A name is shown as stored: an ampersand is not a mnemonic.
        QString title = name;
        auto* action = new QAction(title.replace('&', QStringLiteral("&&")), this);
        connect(action, &QAction::triggered, this,
                [this, name] { m_presets.loadPreset(name, m_chain); });
        insertAction(m_separator, action);
        m_names.append(action);
    }
    m_separator->setVisible(!m_names.isEmpty());
}

} // namespace tolvex::app
