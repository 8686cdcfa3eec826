#pragma once

#include <QWidget>

namespace tolvex::ui::chain {

/// One line of text, cut with "…" at the end when it does not fit. It draws
/// in the palette's window text colour with its own font.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

} // namespace tolvex::ui::chain
