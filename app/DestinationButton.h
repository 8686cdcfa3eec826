#pragma once

#include <QToolButton>

namespace tolvex::app {

/// A tool button whose text is cut in the middle when the row has less room
/// than the text wants, and never wider than `widest`.
class DestinationButton : public QToolButton {
    Q_OBJECT

public:
    static constexpr int widest = 240;

    using QToolButton::QToolButton;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    /// The text as drawn at the button's present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    /// The button's width without its text.
    int chromeWidth() const;
};

} // namespace tolvex::app
