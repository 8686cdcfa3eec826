#pragma once

#include <QList>
#include <QMenu>

namespace tolvex::chain {
class Chain;
}
namespace tolvex::presets {
class Presets;
}

namespace tolvex::app {

/// The submenu "Kette laden": one item per stored preset, by its name as
/// stored, then a separator when there are presets, then "Ordner im
/// Dateimanager zeigen". Follows the presets' names as they change.
class PresetMenu : public QMenu {
    Q_OBJECT

public:
    PresetMenu(presets::Presets& presets, chain::Chain& chain, QWidget* parent = nullptr);

private:
    void rebuild();

    presets::Presets& m_presets;
    chain::Chain& m_chain;
    QList<QAction*> m_names;
    QAction* m_separator;
    QAction* m_reveal;
};

} // namespace tolvex::app
