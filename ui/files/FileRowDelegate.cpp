#include "ui/files/FileRowDelegate.h"

#include "chain/Chain.h"
#include "session/FileList.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace tolvex::ui::files {

FileRowDelegate::FileRowDelegate(tolvex::chain::Chain& chain, RevealFile reveal,
                                 QAbstractItemView& view)
    : QStyledItemDelegate(&view), m_chain(chain), m_reveal(std::move(reveal)), m_view(view),
      m_viewport(view.viewport())
{
    view.viewport()->setMouseTracking(true);
    view.viewport()->installEventFilter(this);
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const auto item = index.data(session::FileList::ItemRole).value<model::AudioItem>();
    if (item.id.isNull())
        return;
    const FileRow row(item, m_chain.isPlaying(item.id), option);
    const bool hovered = index == m_hoverIndex;
    const bool pressed = index == m_pressIndex;
    row.paint(*painter, hovered ? m_hoverPart : FileRow::Part::none,
              pressed && m_pressPart == m_hoverPart ? m_pressPart : FileRow::Part::none);
}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return FileRow::sizeHint(option);
}

FileRow::Part FileRowDelegate::partAt(const QModelIndex& index, const QPoint& position) const
{
    const auto item = index.data(session::FileList::ItemRole).value<model::AudioItem>();
    if (item.id.isNull())
        return FileRow::Part::none;
    QStyleOptionViewItem option;
    option.initFrom(m_view.viewport());
    option.font = m_view.font();
    option.rect = m_view.visualRect(index);
    return FileRow(item, false, option).partAt(position);
}

bool FileRowDelegate::editorEvent(QEvent* event, QAbstractItemModel*,
                                  const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto item = index.data(session::FileList::ItemRole).value<model::AudioItem>();
    const FileRow row(item, false, option);
    const FileRow::Part part = row.partAt(mouse->position().toPoint());
    if (type == QEvent::MouseButtonRelease && m_pressIndex.isValid()) {
        const bool inside = index == m_pressIndex && part == m_pressPart;
        const FileRow::Part pressed = m_pressPart;
        m_pressIndex = QPersistentModelIndex();
        m_pressPart = FileRow::Part::none;
        m_view.viewport()->update(option.rect);
        if (inside && mouse->button() == Qt::LeftButton)
            click(index, pressed);
        return true;
    }
    if (mouse->button() != Qt::LeftButton || !row.clickable(part))
        return false;
    if (type == QEvent::MouseButtonPress) {
        m_pressIndex = index;
        m_pressPart = part;
        m_view.viewport()->update(option.rect);
    }
    return true; // a click on a button never selects the row
}

void FileRowDelegate::click(const QModelIndex& index, FileRow::Part part)
{
    const auto item = index.data(session::FileList::ItemRole).value<model::AudioItem>();
    if (item.id.isNull())
        return;
    if (part == FileRow::Part::play) {
        if (m_chain.isPlaying(item.id))
            m_chain.stop();
        else
            m_chain.play(item, 0);
    } else if (part == FileRow::Part::status && item.status.isDone() && m_reveal) {
        m_reveal(item.status.file().toLocalFile());
    }
}

bool FileRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const auto item = index.data(session::FileList::ItemRole).value<model::AudioItem>();
    const FileRow row(item, false, option);
    const FileRow::Part part = row.partAt(event->pos());
    const QString text = row.toolTip(part);
    if (text.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view->viewport(), row.rect(part));
    return true;
}

bool FileRowDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_viewport)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QModelIndex index = m_view.indexAt(position);
        setHover(index, index.isValid() ? partAt(index, position) : FileRow::Part::none);
        break;
    }
    case QEvent::MouseButtonRelease: {
        // A press on a button that ends over another row does nothing.
        const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (m_pressIndex.isValid() && m_view.indexAt(position) != m_pressIndex) {
            m_view.viewport()->update(m_view.visualRect(m_pressIndex));
            m_pressIndex = QPersistentModelIndex();
            m_pressPart = FileRow::Part::none;
        }
        break;
    }
    case QEvent::Leave:
        setHover({}, FileRow::Part::none);
        break;
    default:
        break;
    }
    return false;
}

void FileRowDelegate::setHover(const QModelIndex& index, FileRow::Part part)
{
    if (index == m_hoverIndex && part == m_hoverPart)
        return;
    if (m_hoverIndex.isValid())
        m_view.viewport()->update(m_view.visualRect(m_hoverIndex));
    m_hoverIndex = index;
    m_hoverPart = part;
    if (index.isValid())
        m_view.viewport()->update(m_view.visualRect(index));
}

} // namespace tolvex::ui::files
