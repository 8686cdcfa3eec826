#include "ui/chain/Symbols.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

namespace tolvex::ui::chain {

namespace {

struct SymbolSource {
    const char* themeName; ///< empty: never from the theme
    const char* file;
};

SymbolSource sourceOf(Symbol symbol)
{
    switch (symbol) {
    case Symbol::plus:
        return {"list-add", "plus.svg"};
    case Symbol::minus:
        return {"list-remove", "minus.svg"};
    case Symbol::trayFull:
        return {"document-open", "tray-full.svg"};
    case Symbol::sliders:
        return {"configure", "sliders.svg"};
    case Symbol::power:
        return {"", "power-fill.svg"};
    case Symbol::powerOff:
        return {"", "power.svg"};
    case Symbol::chainPath:
        return {"", "chain-path.svg"};
    }
    return {"", "plus.svg"};
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

QIcon symbolIcon(Symbol symbol, const QColor& colour)
{
    const SymbolSource source = sourceOf(symbol);
    const QString themeName = QString::fromLatin1(source.themeName);
    if (!themeName.isEmpty() && QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    QFile file(QStringLiteral(":/tolvex/chain/") + QLatin1String(source.file));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    return QIcon(new TintedSvgEngine(std::move(svg)));
}

} // namespace tolvex::ui::chain
