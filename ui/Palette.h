#pragma once

#include <QColor>
#include <QObject>

class QPalette;
class QWidget;

namespace tolvex::ui {

/// The nine colours every view draws with, each with a light and a dark
/// value. A colour is resolved when it is drawn, against the palette the
/// widget is drawn with: dark when its window colour is darker than its
/// window text colour, light otherwise. Views repaint on the palette-change
/// events Qt sends when the desktop's colour scheme changes; a view that
/// caches a colour (a style sheet, say) refreshes on Palette::changed.
class Palette : public QObject {
    Q_OBJECT

public:
    enum class Colour { tint, accent, panel, muted, faint, badge, warning, success, danger };

    static QColor colour(Colour colour, const QPalette& palette);
    /// Against the application's palette.
    static QColor colour(Colour colour);
    static bool isDark(const QPalette& palette);
    /// Sets the colour `widget` draws its text (or a frame's line) with.
    static void setTextColour(QWidget& widget, const QColor& colour);
    /// Keeps `widget`'s text in `colour`, resolved against its parent's
    /// palette now and again whenever that palette changes (after the
    /// widgets have theirs: the application's palette-change event comes
    /// before them).
    static void keepTextColour(QWidget& widget, Colour colour);

    static QColor tint() { return colour(Colour::tint); }
    static QColor accent() { return colour(Colour::accent); }
    static QColor panel() { return colour(Colour::panel); }
    static QColor muted() { return colour(Colour::muted); }
    static QColor faint() { return colour(Colour::faint); }
    static QColor badge() { return colour(Colour::badge); }
    static QColor warning() { return colour(Colour::warning); }
    static QColor success() { return colour(Colour::success); }
    static QColor danger() { return colour(Colour::danger); }

    /// The one watcher of the application's palette; made on first use,
    /// after the QApplication.
    static Palette& instance();

Q_SIGNALS:
    /// The application's palette changed: colours may resolve differently.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Palette();
};

} // namespace tolvex::ui
