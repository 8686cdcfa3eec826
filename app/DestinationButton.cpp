#include "app/DestinationButton.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace tolvex::app {

int DestinationButton::chromeWidth() const
{
    return QToolButton::sizeHint().width() - fontMetrics().horizontalAdvance(text());
}

QSize DestinationButton::sizeHint() const
{
    const QSize full = QToolButton::sizeHint();
    return {std::min(full.width(), widest), full.height()};
}

QSize DestinationButton::minimumSizeHint() const
{
    const QSize full = QToolButton::sizeHint();
    const int few = fontMetrics().horizontalAdvance(QStringLiteral("Neben…"));
    return {std::min(full.width(), chromeWidth() + few), full.height()};
}

void DestinationButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text = fontMetrics().elidedText(option.text, Qt::ElideMiddle,
                                           std::max(0, width() - chromeWidth()));
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

} // namespace tolvex::app
