#pragma once

#include <QList>
#include <QObject>

class QAction;

namespace tolvex::chain {
class Chain;
}
namespace tolvex::presets {
class Presets;
}

namespace tolvex::ui {

/// The commands on the chain and its presets, each one QAction made once and
/// shared by the menu bar's "Kette" menu and the chain panel's preset menu:
/// "Kette speichern …" (Ctrl+S) and "Kette leeren", enabled while the chain
/// has slots; "Ordner im Dateimanager zeigen"; "Plugins neu suchen"; and one
/// load action per stored preset, titled with its name as stored, remade
/// when the names change. Lives on the GUI thread.
class ChainCommands : public QObject {
    Q_OBJECT

public:
    ChainCommands(tolvex::chain::Chain& chain, presets::Presets& presets,
                  QObject* parent = nullptr);

    QAction* save() const { return m_save; }
    QAction* clear() const { return m_clear; }
    QAction* revealPresets() const { return m_reveal; }
    QAction* rescan() const { return m_rescan; }
    /// One per preset, in the store's order.
    const QList<QAction*>& loadActions() const { return m_load; }

    static bool chainHasSlots(const tolvex::chain::Chain& chain);

Q_SIGNALS:
    /// The load actions were made anew; the old ones are gone from every
    /// menu that held them.
    void loadActionsChanged();

private:
    void remakeLoadActions();
    void updateEnabled();

    tolvex::chain::Chain& m_chain;
    presets::Presets& m_presets;
    QAction* m_save;
    QAction* m_clear;
    QAction* m_reveal;
    QAction* m_rescan;
    QList<QAction*> m_load;
};

} // namespace tolvex::ui
