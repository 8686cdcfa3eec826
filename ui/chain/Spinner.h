#pragma once

#include <QTimer>
#include <QWidget>

namespace tolvex::ui::chain {

/// An indeterminate progress indicator: a small turning arc. It turns only
/// while it is shown.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_angle = 0;
};

} // namespace tolvex::ui::chain
