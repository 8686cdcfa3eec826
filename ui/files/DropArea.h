#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

namespace tolvex::ui::files {

/// The files list's area as a drop target for files and folders dragged
/// from a file manager (text/uri-list). While such a drag hovers, a dashed
/// rounded frame over the whole area shows where it will land; the drop
/// hands every local location, in the order delivered, to `dropped`.
class DropArea : public QWidget {
    Q_OBJECT

public:
    explicit DropArea(QWidget* parent = nullptr);

    /// Whether a drag carrying files is over the area.
    bool targeted() const { return m_targeted; }

Q_SIGNALS:
    void dropped(const QList<QUrl>& locations);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void setTargeted(bool targeted);

    QWidget* m_highlight = nullptr;
    bool m_targeted = false;
};

} // namespace tolvex::ui::files
