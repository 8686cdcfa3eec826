#pragma once

#include <QMenu>

namespace tolvex::chain {
class Chain;
}
namespace tolvex::presets {
class Presets;
}

namespace tolvex::ui::chain {

/// The chain panel's menu of stored chains: "Kette speichern …", a section
/// "Laden" with one entry per preset name (only when there are presets),
/// "Ordner im Dateimanager zeigen" and "Kette leeren". It follows the
/// preset names and the chain's slots as they change.
class PresetMenu : public QMenu {
    Q_OBJECT

public:
    PresetMenu(::tolvex::chain::Chain& chain, ::tolvex::presets::Presets& presets,
               QWidget* parent = nullptr);

    QAction* saveAction() const { return m_save; }
    QAction* revealAction() const { return m_reveal; }
    QAction* clearAction() const { return m_clear; }
    /// The entries under "Laden", in the store's order.
    const QList<QAction*>& loadActions() const { return m_loadActions; }

private:
    void rebuildLoadSection();
    void updateEnabled();

    ::tolvex::chain::Chain& m_chain;
    ::tolvex::presets::Presets& m_presets;
    QAction* m_save;
    QAction* m_reveal;
    QAction* m_clear;
    QList<QAction*> m_loadActions;
    QList<QAction*> m_loadSection; ///< header, entries and closing divider
};

} // namespace tolvex::ui::chain
