#include "ui/Palette.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QWidget>
#include <array>

namespace tolvex::ui {

namespace {

struct Pair {
    QRgb light;
    QRgb dark;
};

// In the order of Palette::Colour.
constexpr std::array<Pair, 9> pairs{{
    {0x2B4A7E, 0x3F64A6}, // tint
    {0x2B4A7E, 0x8DAEE3}, // accent
    {0xE6ECF5, 0x1D2431}, // panel
    {0x7A746B, 0x9A958C}, // muted
    {0xC6C0B6, 0x666962}, // faint
    {0x2B4A7E, 0x2B4A7E}, // badge
    {0xB45309, 0xF0A35A}, // warning
    {0x3D7A4F, 0x79C08F}, // success
    {0xB5452B, 0xE8775D}, // danger
}};

/// Watches one widget and gives it its colour again when its palette or
/// parent changes.
class ColourKeeper : public QObject {
public:
    ColourKeeper(QWidget& widget, Palette::Colour colour) : QObject(&widget), m_colour(colour)
    {
        widget.installEventFilter(this);
        apply(widget);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto type = event->type();
        if (type == QEvent::PaletteChange || type == QEvent::ParentChange)
            apply(*static_cast<QWidget*>(watched));
        return false;
    }

private:
    void apply(QWidget& widget) const
    {
        const QWidget* parent = widget.parentWidget();
        const QColor wanted =
            Palette::colour(m_colour, parent ? parent->palette() : QApplication::palette());
        if (widget.palette().color(widget.foregroundRole()) != wanted) // else it would not end
            Palette::setTextColour(widget, wanted);
    }

    Palette::Colour m_colour;
};

} // namespace

void Palette::keepTextColour(QWidget& widget, Colour colour)
{
    new ColourKeeper(widget, colour);
}

bool Palette::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

void Palette::setTextColour(QWidget& widget, const QColor& colour)
{
    // Both text roles: a widget draws with the one that contrasts with its
    // background, and on the text-background colour that is Text.
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget.setPalette(palette);
}

QColor Palette::colour(Colour colour, const QPalette& palette)
{
    const Pair& pair = pairs[static_cast<std::size_t>(colour)];
    return QColor::fromRgb(isDark(palette) ? pair.dark : pair.light);
}

QColor Palette::colour(Colour colour)
{
    return Palette::colour(colour, QApplication::palette());
}

Palette& Palette::instance()
{
    static Palette* palette = new Palette; // parented to the application
    return *palette;
}

Palette::Palette() : QObject(qApp)
{
    qApp->installEventFilter(this);
}

bool Palette::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        Q_EMIT changed();
    return QObject::eventFilter(watched, event);
}

} // namespace tolvex::ui
