#pragma once

#include <QWidget>

namespace tolvex::ui {

/// A one-pixel line between two parts of the window, across or down, in the
/// palette's faint colour of the moment.
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tolvex::ui
