#include "ui/Divider.h"

#include "ui/Palette.h"

#include <QPainter>

namespace tolvex::ui {

Divider::Divider(Qt::Orientation orientation, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("divider"));
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
}

void Divider::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), Palette::colour(Palette::Colour::faint, palette()));
}

} // namespace tolvex::ui
