#pragma once

#include <QSlider>

namespace tolvex::ui::editors {

/// A horizontal slider that asks to be reset to its default on a double
/// click.
class ParameterSlider : public QSlider {
    Q_OBJECT

public:
    explicit ParameterSlider(QWidget* parent = nullptr) : QSlider(Qt::Horizontal, parent) {}

Q_SIGNALS:
    void resetRequested();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

} // namespace tolvex::ui::editors
