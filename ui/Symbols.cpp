#include "ui/Symbols.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>

#include <algorithm>
#include <array>

namespace tolvex::ui {

namespace {

/// Where a symbol comes from besides its shape: the icon theme's name of
/// its meaning (empty: ours alone), and the SVG, written with
/// "currentColor", of a symbol not drawn as a shape (null: drawn).
struct Source {
    const char* themeName;
    const char* drawing;
};

// In the order of Symbol.
constexpr std::array<Source, 13> sources{{
    {"", nullptr},                      // play
    {"", nullptr},                      // stop
    {"list-add", nullptr},              // plus
    {"list-remove", "minus.svg"},       // minus
    {"user-trash", nullptr},            // trash
    {"", nullptr},                      // waveform
    {"", nullptr},                      // checkmark
    {"", nullptr},                      // warning
    {"document-open", "tray-full.svg"}, // trayFull
    {"configure", "sliders.svg"},       // sliders
    {"", "power-fill.svg"},             // power
    {"", "power.svg"},                  // powerOff
    {"", "chain-path.svg"},             // chainPath
}};
static_assert(sources.size() == std::size_t(Symbol::chainPath) + 1);

const Source& sourceOf(Symbol symbol)
{
    return sources[std::size_t(symbol)];
}

QByteArray tintedDrawing(const char* file, const QColor& colour)
{
    QFile source(QStringLiteral(":/tolvex/symbols/") + QLatin1String(file));
    if (!source.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = source.readAll();
    svg.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    return svg;
}

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
    default:
        break; // two-tone, painted below, or from a drawing of its own
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

/// Draws one of our monochrome SVGs, written with "currentColor", in a
/// colour, sharp at every size and device pixel ratio.
class TintedSvgEngine : public QIconEngine {
public:
    explicit TintedSvgEngine(QByteArray svg) : m_svg(std::move(svg)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QSvgRenderer renderer(m_svg);
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(painter->opacity() * 0.4);
        renderer.render(painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        pixmap.setDevicePixelRatio(scale);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new TintedSvgEngine(m_svg); }
    QString key() const override { return QStringLiteral("TintedSvgEngine"); }

private:
    QByteArray m_svg;
};

} // namespace

void paintSymbol(QPainter& painter, const QRectF& box, Symbol symbol, const QColor& colour)
{
    const double side = std::min(box.width(), box.height());
    if (side <= 0)
        return;
    if (const char* file = sourceOf(symbol).drawing) {
        QSvgRenderer drawing(tintedDrawing(file, colour));
        drawing.render(
            &painter, QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side));
        return;
    }
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
    const QString name = QString::fromLatin1(sourceOf(symbol).themeName);
    if (themed && !name.isEmpty() && QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    if (const char* file = sourceOf(symbol).drawing)
        return QIcon(new TintedSvgEngine(tintedDrawing(file, colour)));
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

} // namespace tolvex::ui
