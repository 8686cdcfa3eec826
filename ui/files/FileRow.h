#pragma once

#include "model/AudioItem.h"
#include "ui/Palette.h"

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QPainter;
class QStyleOptionViewItem;

namespace tolvex::ui::files {

/// One row of the files list laid out in its rectangle: the play/stop
/// button, the file name over the details line, and the export status on
/// the right (nothing, a progress bar, a "Fertig" button or a "Fehler"
/// label). A value made for each paint and each mouse event; it holds no
/// state beyond what it was given.
class FileRow {
public:
    enum class Part { none, play, status };

    /// `playing`: the chain previews this item.
    FileRow(const model::AudioItem& item, bool playing, const QStyleOptionViewItem& option);

    /// The row's height for the option's font; the width is the view's.
    static QSize sizeHint(const QStyleOptionViewItem& option);

    Part partAt(const QPoint& position) const;
    /// Whether a click on the part does something: the play button always,
    /// the status only when it is the "Fertig" button.
    bool clickable(Part part) const;
    QRect rect(Part part) const;
    /// The tooltip of the part; empty where there is none.
    QString toolTip(Part part) const;

    /// `hovered` and `pressed` give the buttons their feedback.
    void paint(QPainter& painter, Part hovered, Part pressed) const;

    /// The width of the status part: 90 for the progress bar, the label's
    /// width for "Fertig" and "Fehler", 0 while waiting.
    int statusWidth() const;

private:
    QFont captionFont() const;
    void paintBackground(QPainter& painter) const;
    void paintPlay(QPainter& painter, bool hovered, bool pressed) const;
    void paintTexts(QPainter& painter) const;
    void paintStatus(QPainter& painter, bool hovered, bool pressed) const;
    /// A palette colour, or the highlighted text colour on a selected row.
    QColor colour(Palette::Colour colour) const;

    const model::AudioItem& m_item;
    bool m_playing;
    const QStyleOptionViewItem& m_option;
    bool m_selected;
    QRect m_content; ///< the rectangle inside the row's margins
    QRect m_play;
    QRect m_texts;
    QRect m_status;
};

} // namespace tolvex::ui::files
