#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace tolvex::chain {
class Chain;
}
namespace tolvex::ui {
class ChainCommands;
}

namespace tolvex::ui::chain {

class AddPluginMenu;
class PresetMenu;
class SlotList;
class Spinner;

/// The chain's panel of the main window: the header "Kette" with a spinner
/// while a plugin is being loaded and the menu of stored chains; the slots
/// in signal order (or a hint while there are none); and the "Plugin
/// hinzufügen" menu. It keeps no state: it shows the chain and calls its
/// operations and the shared chain commands. While the chain is loading, its
/// controls are disabled.
class ChainView : public QWidget {
    Q_OBJECT

public:
    ChainView(::tolvex::chain::Chain& chain, ChainCommands& commands, QWidget* parent = nullptr);

    SlotList* slotList() const { return m_list; }
    PresetMenu* presetMenu() const { return m_presetMenu; }
    AddPluginMenu* addMenu() const { return m_addMenu; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeEmptyState();
    QWidget* makeAddButton();
    void showBody();
    void showLoading(bool loading);
    /// Symbols and colours that follow the palette.
    void refreshColours();

    ::tolvex::chain::Chain& m_chain;
    ChainCommands& m_commands;
    Spinner* m_spinner = nullptr;
    QToolButton* m_presetButton = nullptr;
    PresetMenu* m_presetMenu = nullptr;
    QStackedWidget* m_body = nullptr;
    QWidget* m_emptyState = nullptr;
    QLabel* m_emptySymbol = nullptr;
    QLabel* m_emptyHint = nullptr;
    SlotList* m_list = nullptr;
    QPushButton* m_addButton = nullptr;
    AddPluginMenu* m_addMenu = nullptr;
};

} // namespace tolvex::ui::chain
