#pragma once

#include <QPointer>
#include <QWidget>

class QAction;
class QLabel;
class QToolButton;

#include "chain/Slot.h"

namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::chain {

class ElidedLabel;

/// One slot of the chain panel's list: its 1-based position, the plugin's
/// name and vendor, and the slot's commands (open the editor, bypass,
/// remove). A bypassed slot looks inactive. An unavailable slot looks
/// inactive too, says why in its tooltip and offers only its removal, with a
/// button of its own. The row keeps no state of its own: it redraws from the
/// slot whenever the slot's bypass changes.
///
/// Presses and drags fall through to the list below, which selects and
/// reorders; a double click opens the editor.
class SlotRow : public QWidget {
    Q_OBJECT

public:
    SlotRow(int index, ::tolvex::chain::Slot& slot, ::tolvex::chain::Chain& chain,
            QWidget* parent = nullptr);

    int index() const { return m_index; }
    /// Only while the slot is in the chain: a removed slot's row waits to be deleted.
    ::tolvex::chain::Slot& slot() const { return *m_slot; }

    /// The row's commands, shared by its buttons and its context menu.
    QAction* openEditorAction() const { return m_openEditor; }
    QAction* bypassAction() const { return m_bypass; }
    QAction* removeAction() const { return m_remove; }

    /// The context menu ("Einstellungen öffnen", "Umgehen"/"Einschalten",
    /// "Entfernen"), opened at a global position.
    void showContextMenu(const QPoint& globalPos);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void makeActions();
    QWidget* makeNameBlock();
    QToolButton* makeButton(QAction* action);
    /// Derives every varying element from the slot's bypass and availability.
    void refresh();

    int m_index;
    QPointer<::tolvex::chain::Slot> m_slot; ///< null once the slot is removed
    ::tolvex::chain::Chain& m_chain;
    QAction* m_openEditor = nullptr;
    QAction* m_bypass = nullptr;
    QAction* m_remove = nullptr;
    QToolButton* m_editorButton = nullptr;
    QToolButton* m_bypassButton = nullptr;
    QToolButton* m_removeButton = nullptr;
    QLabel* m_badge = nullptr;
    ElidedLabel* m_name = nullptr;
    ElidedLabel* m_detail = nullptr;
};

} // namespace tolvex::ui::chain
