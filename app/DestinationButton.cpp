#include "app/DestinationButton.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace tolvex::app {

int DestinationButton::chromeWidth() const
{
    return QToolButton::sizeHint().width() -
           fontMetrics().size(Qt::TextShowMnemonic, text()).width();
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

QString DestinationButton::shownText() const
{
    // Measured as the button measures itself: at its full size hint the
    // text fits, however the text's width rounds.
    if (width() >= QToolButton::sizeHint().width())
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(0, width() - chromeWidth()));
}

void DestinationButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text = shownText();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

} // namespace tolvex::app
