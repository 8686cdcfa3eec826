#pragma once

#include <QMenu>

namespace tolvex::ui {
class ChainCommands;
}

namespace tolvex::ui::chain {

/// The chain panel's menu of stored chains: "Kette speichern …", a section
/// "Laden" with one entry per preset name (only when there are presets),
/// "Ordner im Dateimanager zeigen" and "Kette leeren" — the shared chain
/// commands, laid out for the panel. Follows the preset names.
class PresetMenu : public QMenu {
    Q_OBJECT

public:
    explicit PresetMenu(ChainCommands& commands, QWidget* parent = nullptr);

private:
    void rebuildLoadSection();

    ChainCommands& m_commands;
    QList<QAction*> m_loadSection; ///< the header and the closing divider
};

} // namespace tolvex::ui::chain
