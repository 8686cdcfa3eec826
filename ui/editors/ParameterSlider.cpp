#include "ui/editors/ParameterSlider.h"

#include <QMouseEvent>

namespace tolvex::ui::editors {

void ParameterSlider::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        Q_EMIT resetRequested();
        event->accept();
        return;
    }
    QSlider::mouseDoubleClickEvent(event);
}

} // namespace tolvex::ui::editors
