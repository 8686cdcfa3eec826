#include "ui/files/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace tolvex::ui::files {

namespace {

/// The symbol's shape in a 16 × 16 square, filled or stroked.
struct Shape {
    QPainterPath path;
    bool filled = true;
};

Shape shape(Symbol symbol)
{
    Shape s;
    QPainterPath& p = s.path;
    switch (symbol) {
    case Symbol::play:
        p.moveTo(4, 2);
        p.lineTo(14, 8);
        p.lineTo(4, 14);
        p.closeSubpath();
        break;
    case Symbol::stop:
        p.addRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
        break;
    case Symbol::plus:
        p.moveTo(8, 2.5);
        p.lineTo(8, 13.5);
        p.moveTo(2.5, 8);
        p.lineTo(13.5, 8);
        s.filled = false;
        break;
    case Symbol::trash:
        p.moveTo(2.5, 4);
        p.lineTo(13.5, 4);
        p.moveTo(6, 4);
        p.lineTo(6.5, 2);
        p.lineTo(9.5, 2);
        p.lineTo(10, 4);
        p.moveTo(4, 4);
        p.lineTo(4.8, 14);
        p.lineTo(11.2, 14);
        p.lineTo(12, 4);
        p.moveTo(6.8, 6.5);
        p.lineTo(7, 11.5);
        p.moveTo(9.2, 6.5);
        p.lineTo(9, 11.5);
        s.filled = false;
        break;
    case Symbol::waveform: {
        const double heights[] = {3, 7, 11, 6, 13, 8, 4, 10, 5};
        for (int i = 0; i < 9; ++i) {
            const double x = 1.5 + i * 1.6;
            p.moveTo(x, 8 - heights[i] / 2);
            p.lineTo(x, 8 + heights[i] / 2);
        }
        s.filled = false;
        break;
    }
    case Symbol::checkmark:
    case Symbol::warning:
        break; // two-tone, painted below
    }
    return s;
}

/// A filled outline with a mark cut out in the background, as the
/// circle-with-checkmark and triangle-with-exclamation symbols look.
void paintBadge(QPainter& painter, Symbol symbol, const QColor& colour)
{
    QPainterPath outline;
    QPainterPath mark;
    if (symbol == Symbol::checkmark) {
        outline.addEllipse(QRectF(1, 1, 14, 14));
        mark.moveTo(4.6, 8.2);
        mark.lineTo(7, 10.6);
        mark.lineTo(11.4, 5.6);
    } else {
        outline.moveTo(8, 1.2);
        outline.lineTo(15.2, 14.2);
        outline.lineTo(0.8, 14.2);
        outline.closeSubpath();
        mark.moveTo(8, 5.4);
        mark.lineTo(8, 9.6);
        mark.moveTo(8, 11.8);
        mark.lineTo(8, 12.0);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(outline);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    QPen pen(Qt::black, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mark);
}

} // namespace

void paintSymbol(QPainter& painter, const QRectF& box, Symbol symbol, const QColor& colour)
{
    const double side = std::min(box.width(), box.height());
    if (side <= 0)
        return;
    if (symbol == Symbol::checkmark || symbol == Symbol::warning) {
        // The cut-out needs a layer of its own, or it would clear the row.
        const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        QPixmap layer(QSizeF(side, side).toSize() * ratio);
        layer.setDevicePixelRatio(ratio);
        layer.fill(Qt::transparent);
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 16.0, side / 16.0);
        paintBadge(p, symbol, colour);
        p.end();
        painter.drawPixmap(QPointF(box.center().x() - side / 2, box.center().y() - side / 2),
                           layer);
        return;
    }
    const Shape s = shape(symbol);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 16.0, side / 16.0);
    if (s.filled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
    } else {
        painter.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
    }
    painter.drawPath(s.path);
    painter.restore();
}

QIcon symbolIcon(Symbol symbol, const QColor& colour, bool themed)
{
    if (themed) {
        const char* name = symbol == Symbol::plus    ? "list-add"
                           : symbol == Symbol::trash ? "user-trash"
                                                     : nullptr;
        if (name && QIcon::hasThemeIcon(QString::fromLatin1(name)))
            return QIcon::fromTheme(QString::fromLatin1(name));
    }
    QIcon icon;
    for (const int size : {16, 20, 32, 40, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintSymbol(painter, QRectF(0, 0, size, size), symbol, colour);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tolvex::ui::files
