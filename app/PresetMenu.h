#pragma once

#include <QMenu>

namespace tolvex::ui {
class ChainCommands;
}

namespace tolvex::app {

/// The submenu "Kette laden": one item per stored preset, by its name as
/// stored, then a separator when there are presets, then "Ordner im
/// Dateimanager zeigen". Follows the presets' names as they change.
class PresetMenu : public QMenu {
    Q_OBJECT

public:
    explicit PresetMenu(ui::ChainCommands& commands, QWidget* parent = nullptr);

private:
    void rebuild();

    ui::ChainCommands& m_commands;
    QAction* m_separator;
};

} // namespace tolvex::app
