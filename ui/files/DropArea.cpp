#include "ui/files/DropArea.h"

#include "ui/Palette.h"

#include <QChildEvent>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tolvex::ui::files {

namespace {

QList<QUrl> localFiles(const QMimeData* mime)
{
    QList<QUrl> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            files.append(url);
    return files;
}

/// The highlight laid over the area while a drag hovers: a rounded
/// rectangle inset 8, filled with the panel colour at half opacity, with a
/// dashed accent outline inside its edge. Lets every mouse event through.
class Highlight : public QWidget {
public:
    explicit Highlight(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(8, 8, -8, -8);
        QColor fill = Palette::colour(Palette::Colour::panel, palette());
        fill.setAlphaF(0.5f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(frame, 10, 10);
        QPen dashes(Palette::colour(Palette::Colour::accent, palette()), 2);
        dashes.setDashPattern({3, 2}); // 6 and 4 at a width of 2
        dashes.setMiterLimit(10);
        painter.setPen(dashes);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 9, 9);
    }
};

} // namespace

DropArea::DropArea(QWidget* parent) : QWidget(parent)
{
    m_highlight = new Highlight(this);
    setAcceptDrops(true);
    m_highlight->hide();
}

void DropArea::setTargeted(bool targeted)
{
    m_targeted = targeted;
    m_highlight->setGeometry(rect());
    m_highlight->raise();
    m_highlight->setVisible(targeted);
}

void DropArea::dragEnterEvent(QDragEnterEvent* event)
{
    if (localFiles(event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
    setTargeted(true);
}

void DropArea::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_targeted)
        event->acceptProposedAction();
}

void DropArea::dragLeaveEvent(QDragLeaveEvent*)
{
    setTargeted(false);
}

void DropArea::dropEvent(QDropEvent* event)
{
    setTargeted(false);
    const QList<QUrl> files = localFiles(event->mimeData());
    event->acceptProposedAction();
    if (!files.isEmpty())
        Q_EMIT dropped(files);
}

void DropArea::resizeEvent(QResizeEvent* event)
{
    m_highlight->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void DropArea::childEvent(QChildEvent* event)
{
    // Children added later (the list, the empty state) stay under the highlight.
    if (event->added() && m_highlight && event->child() != m_highlight)
        m_highlight->raise();
    QWidget::childEvent(event);
}

} // namespace tolvex::ui::files
