#pragma once

#include <QListWidget>

namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::chain {

class SlotRow;

/// The chain's slots in signal order, one SlotRow per slot, rebuilt from
/// the chain whenever its slots change. Rows are reordered by dragging
/// (with a drop line between rows) or with Ctrl+Up and Ctrl+Down; Return
/// opens the current slot's editor and the menu key its context menu. The
/// list offers no deletion by key.
class SlotList : public QListWidget {
    Q_OBJECT

public:
    explicit SlotList(::tolvex::chain::Chain& chain, QWidget* parent = nullptr);

    SlotRow* rowAt(int row) const;
    /// The list's move: the rows at `rows` go before the row that stood at
    /// `destination` (the count appends). The chain stops the preview,
    /// moves and saves; the moved row stays current.
    void moveRows(const QList<int>& rows, int destination);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void rebuild();
    /// Where a drop at `pos` (viewport coordinates) would insert: before the
    /// row under it when in its upper half, after it otherwise.
    int destinationAt(const QPoint& pos) const;
    QList<int> selectedRows() const;

    ::tolvex::chain::Chain& m_chain;
    int m_dropRow = -1; ///< the drop line's place while a drag hovers, else -1
};

} // namespace tolvex::ui::chain
