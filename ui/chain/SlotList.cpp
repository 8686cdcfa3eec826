#include "ui/chain/SlotList.h"

#include "chain/Chain.h"
#include "ui/Palette.h"
#include "ui/chain/SlotRow.h"

#include <QAction>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tolvex::ui::chain {

namespace {

using Colour = Palette::Colour;
constexpr int slotRole = Qt::UserRole;

/// Paints only a row's background: a rounded, tinted selection and, while
/// the list has the keyboard focus, a ring around the current row. The row
/// widget above draws the rest.
class RowBackground : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex&) const override
    {
        const QRectF box = QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5);
        QColor tint = Palette::colour(Colour::tint, option.palette);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (option.state & QStyle::State_Selected) {
            tint.setAlphaF(Palette::isDark(option.palette) ? 0.45 : 0.14);
            painter->setPen(Qt::NoPen);
            painter->setBrush(tint);
            painter->drawRoundedRect(box, 6, 6);
        }
        if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Enabled)) {
            painter->setPen(QPen(Palette::colour(Colour::accent, option.palette), 1.5));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(box, 6, 6);
        }
        painter->restore();
    }
};

} // namespace

SlotList::SlotList(::tolvex::chain::Chain& chain, QWidget* parent)
    : QListWidget(parent), m_chain(chain)
{
    setItemDelegate(new RowBackground(this));
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setViewportMargins(0, 2, 0, 2);
    connect(&m_chain, &::tolvex::chain::Chain::slotsChanged, this, &SlotList::rebuild);
    rebuild();
}

SlotRow* SlotList::rowAt(int row) const
{
    return qobject_cast<SlotRow*>(itemWidget(item(row)));
}

void SlotList::rebuild()
{
    const QUuid current = currentItem() ? currentItem()->data(slotRole).toUuid() : QUuid();
    clear(); // the old rows are released later, so a row may trigger this
    int index = 0;
    for (::tolvex::chain::Slot* slot : m_chain.slots()) {
        auto* item = new QListWidgetItem(this);
        item->setData(slotRole, slot->id());
        item->setData(Qt::AccessibleTextRole,
                      slot->isUnavailable() ? slot->problem() : slot->info().name);
        auto* row = new SlotRow(++index, *slot, m_chain);
        item->setSizeHint({0, row->sizeHint().height()});
        setItemWidget(item, row);
        if (slot->id() == current)
            setCurrentItem(item);
    }
}

void SlotList::moveRows(const QList<int>& rows, int destination)
{
    if (rows.isEmpty())
        return;
    m_chain.moveSlots(rows, destination);
}

QList<int> SlotList::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int SlotList::destinationAt(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return pos.y() < 0 || (count() > 0 && pos.y() < visualItemRect(item(0)).top()) ? 0
                                                                                       : count();
    const QRect rect = visualRect(index);
    return pos.y() < rect.center().y() ? index.row() : index.row() + 1;
}

void SlotList::startDrag(Qt::DropActions)
{
    const QList<QListWidgetItem*> items = selectedItems();
    if (items.isEmpty())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeData(items));
    if (QWidget* row = itemWidget(items.first())) {
        // The row as it looks, on a card of the list's base colour.
        const qreal scale = devicePixelRatioF();
        QPixmap pixmap(row->size() * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(QRectF(QPointF(), row->size()), 6, 6);
        row->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        painter.end();
        drag->setPixmap(pixmap);
        drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - row->pos());
    }
    // The drop moves through the chain; nothing is removed here afterwards.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void SlotList::dragMoveEvent(QDragMoveEvent* event)
{
    QListWidget::dragMoveEvent(event); // scrolls near the edges
    if (event->source() != this) {
        event->ignore();
        m_dropRow = -1;
    } else {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        m_dropRow = destinationAt(event->position().toPoint());
    }
    viewport()->update();
}

void SlotList::dragLeaveEvent(QDragLeaveEvent* event)
{
    QListWidget::dragLeaveEvent(event);
    m_dropRow = -1;
    viewport()->update();
}

void SlotList::dropEvent(QDropEvent* event)
{
    m_dropRow = -1;
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    if (event->source() != this) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    moveRows(selectedRows(), destinationAt(event->position().toPoint()));
}

void SlotList::paintEvent(QPaintEvent* event)
{
    QListWidget::paintEvent(event);
    if (m_dropRow < 0 || count() == 0)
        return;
    // A line with a ring at its start, between the rows where the drop lands.
    const int edge = m_dropRow < count() ? visualItemRect(item(m_dropRow)).top()
                                         : visualItemRect(item(count() - 1)).bottom() + 1;
    const int y = std::clamp(edge, 4, std::max(4, viewport()->height() - 4));
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = Palette::colour(Colour::accent, palette());
    painter.setPen(QPen(accent, 2));
    painter.drawLine(QPointF(10, y), QPointF(viewport()->width() - 4, y));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawEllipse(QPointF(7, y), 3.5, 3.5);
}

void SlotList::keyPressEvent(QKeyEvent* event)
{
    const int row = currentRow();
    if (row >= 0 && event->modifiers() == Qt::ControlModifier) {
        if (event->key() == Qt::Key_Up && row > 0) {
            moveRows({row}, row - 1);
            return;
        }
        if (event->key() == Qt::Key_Down && row + 1 < count()) {
            moveRows({row}, row + 2);
            return;
        }
    }
    if (row >= 0 && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (SlotRow* slotRow = rowAt(row))
            slotRow->openEditorAction()->trigger();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void SlotList::contextMenuEvent(QContextMenuEvent* event)
{
    // A row takes its own right click; this is the menu key, or a click
    // beside the rows.
    SlotRow* slotRow =
        event->reason() == QContextMenuEvent::Keyboard ? rowAt(currentRow()) : nullptr;
    if (!slotRow) {
        event->ignore();
        return;
    }
    event->accept();
    slotRow->showContextMenu(viewport()->mapToGlobal(visualItemRect(currentItem()).center()));
}

} // namespace tolvex::ui::chain
