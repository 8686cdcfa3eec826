#pragma once

#include "ui/files/FileRow.h"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <functional>

class QAbstractItemView;

namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::files {

/// Shows a file in the desktop's file manager, selected in its folder.
using RevealFile = std::function<void(const QString& path)>;

/// Paints each row of the files list as a FileRow and makes its buttons
/// work: a click on the play button previews the file through the chain or
/// stops it, a click on "Fertig" reveals the written file. Clicks on the
/// buttons do not change the selection. Tracks the pointer over the view's
/// viewport so the button under it is highlighted.
class FileRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    FileRowDelegate(tolvex::chain::Chain& chain, RevealFile reveal, QAbstractItemView& view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The part of the row at `index` under the viewport position `position`.
    FileRow::Part partAt(const QModelIndex& index, const QPoint& position) const;
    void setHover(const QModelIndex& index, FileRow::Part part);
    void click(const QModelIndex& index, FileRow::Part part);

    tolvex::chain::Chain& m_chain;
    RevealFile m_reveal;
    QAbstractItemView& m_view;
    QWidget* m_viewport; ///< the view's, compared without asking a view being destroyed
    QPersistentModelIndex m_hoverIndex;
    FileRow::Part m_hoverPart = FileRow::Part::none;
    QPersistentModelIndex m_pressIndex;
    FileRow::Part m_pressPart = FileRow::Part::none;
};

} // namespace tolvex::ui::files
