#include "ui/files/FileRow.h"

#include "model/DisplayText.h"
#include "model/Loudness.h"
#include "ui/Symbols.h"

#include <QFileInfo>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace tolvex::ui::files {

namespace {

constexpr int inset = 6;       // the list's inset from its edges
constexpr int padding = 8;     // inside the row's rounded background
constexpr int vertical = 6;    // above and below the texts
constexpr int playWidth = 18;  // the play button's frame
constexpr int spacing = 10;    // between the row's elements
constexpr int minimumGap = 12; // at least this much before the status
constexpr int progressWidth = 90;
constexpr int badgeGap = 4;     // between a status symbol and its text
constexpr int badgePadding = 6; // around the "Fertig" button's contents

QString doneText()
{
    return QStringLiteral("Fertig");
}

QString failedText()
{
    return QStringLiteral("Fehler");
}

} // namespace

FileRow::FileRow(const model::AudioItem& item, bool playing, const QStyleOptionViewItem& option)
    : m_item(item), m_playing(playing), m_option(option),
      m_selected(option.state.testFlag(QStyle::State_Selected))
{
    m_content = option.rect.adjusted(inset + padding, 0, -(inset + padding), 0);
    m_play = QRect(m_content.left(), m_content.top(), playWidth, m_content.height());
    const int width = statusWidth();
    const int statusLeft = m_content.right() + 1 - width;
    m_status = QRect(statusLeft, m_content.top(), width, m_content.height());
    const int textLeft = m_play.right() + 1 + spacing;
    const int textRight = statusLeft - (width > 0 ? minimumGap : 0);
    m_texts =
        QRect(textLeft, m_content.top(), std::max(0, textRight - textLeft), m_content.height());
}

QSize FileRow::sizeHint(const QStyleOptionViewItem& option)
{
    QFont caption = option.font;
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    const int texts = QFontMetrics(option.font).height() + 2 + QFontMetrics(caption).height();
    return {inset * 2 + padding * 2 + playWidth + spacing + 200, texts + vertical * 2};
}

QFont FileRow::captionFont() const
{
    QFont caption = m_option.font;
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    return caption;
}

int FileRow::statusWidth() const
{
    const model::Status& status = m_item.status;
    if (status.isRunning())
        return progressWidth;
    if (!status.isDone() && !status.isFailed())
        return 0;
    const QString text = status.isDone() ? doneText() : failedText();
    const QFontMetrics metrics(m_option.font);
    return badgePadding * 2 + metrics.height() + badgeGap + metrics.horizontalAdvance(text);
}

QRect FileRow::rect(Part part) const
{
    switch (part) {
    case Part::play:
        return m_play;
    case Part::status:
        return m_status;
    case Part::none:
        break;
    }
    return {};
}

FileRow::Part FileRow::partAt(const QPoint& position) const
{
    // The play button reaches to the row's edge, so it is easy to hit.
    const QRect play(m_option.rect.left(), m_option.rect.top(),
                     m_play.right() + spacing / 2 - m_option.rect.left(), m_option.rect.height());
    if (play.contains(position))
        return Part::play;
    if (m_status.width() > 0 && m_status.contains(position))
        return Part::status;
    return Part::none;
}

bool FileRow::clickable(Part part) const
{
    return part == Part::play || (part == Part::status && m_item.status.isDone());
}

QString FileRow::toolTip(Part part) const
{
    if (part == Part::play)
        return QStringLiteral("Durch die Kette vorhören");
    if (part != Part::status)
        return {};
    if (m_item.status.isDone()) {
        QString tip = QStringLiteral("Im Dateimanager zeigen: ") +
                      QFileInfo(m_item.status.file().path()).fileName();
        if (const auto loudness = m_item.status.loudness())
            tip += u'\n' + model::loudnessText(*loudness);
        return tip;
    }
    if (m_item.status.isFailed())
        return m_item.status.message();
    return {};
}

QColor FileRow::colour(Palette::Colour colour) const
{
    if (m_selected) {
        const QPalette::ColorGroup group =
            m_option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        return m_option.palette.color(group, QPalette::HighlightedText);
    }
    return Palette::colour(colour, m_option.palette);
}

void FileRow::paint(QPainter& painter, Part hovered, Part pressed) const
{
    painter.save();
    paintBackground(painter);
    paintPlay(painter, hovered == Part::play, pressed == Part::play);
    paintTexts(painter);
    paintStatus(painter, hovered == Part::status && clickable(Part::status),
                pressed == Part::status);
    painter.restore();
}

void FileRow::paintBackground(QPainter& painter) const
{
    const QRectF area = QRectF(m_option.rect).adjusted(inset, 1, -inset, -1);
    QColor fill;
    if (m_selected) {
        const QPalette::ColorGroup group =
            m_option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        fill = m_option.palette.color(group, QPalette::Highlight);
    } else if (m_option.state.testFlag(QStyle::State_MouseOver)) {
        fill = m_option.palette.color(QPalette::Text);
        fill.setAlphaF(0.05f);
    } else {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(area, 6, 6);
}

void FileRow::paintPlay(QPainter& painter, bool hovered, bool pressed) const
{
    const QColor accent = colour(Palette::Colour::accent);
    if (hovered || pressed) {
        QColor ring = accent;
        ring.setAlphaF(pressed ? 0.3f : 0.15f);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ring);
        const QPointF centre = QRectF(m_play).center();
        painter.drawEllipse(centre, playWidth * 0.75, playWidth * 0.75);
    }
    const int side = std::min(12, m_play.height());
    const QRectF symbol(QRectF(m_play).center() - QPointF(side / 2.0, side / 2.0),
                        QSizeF(side, side));
    paintSymbol(painter, symbol, m_playing ? Symbol::stop : Symbol::play, accent);
}

void FileRow::paintTexts(QPainter& painter) const
{
    if (m_texts.width() <= 0)
        return;
    const QFont caption = captionFont();
    const QFontMetrics nameMetrics(m_option.font);
    const QFontMetrics captionMetrics(caption);
    const int height = nameMetrics.height() + 2 + captionMetrics.height();
    const int top = m_texts.top() + (m_texts.height() - height) / 2;

    const QString name = QFileInfo(m_item.url.path()).fileName();
    painter.setFont(m_option.font);
    // On a selected row every part takes the highlighted text colour.
    painter.setPen(m_selected ? colour(Palette::Colour::muted)
                              : m_option.palette.color(QPalette::Text));
    painter.drawText(QRect(m_texts.left(), top, m_texts.width(), nameMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(name, Qt::ElideMiddle, m_texts.width()));

    const QString separator = QStringLiteral(" · ");
    const QString details = model::durationText(m_item.duration) + separator +
                            model::sampleRateText(m_item.sampleRate) + separator +
                            model::channelText(m_item.channels);
    painter.setFont(caption);
    painter.setPen(colour(Palette::Colour::muted));
    painter.drawText(QRect(m_texts.left(), top + nameMetrics.height() + 2, m_texts.width(),
                           captionMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     captionMetrics.elidedText(details, Qt::ElideRight, m_texts.width()));
}

void FileRow::paintStatus(QPainter& painter, bool hovered, bool pressed) const
{
    const model::Status& status = m_item.status;
    if (status.isRunning()) {
        // A determinate bar: a faint track, filled in the accent colour.
        const double height = 6;
        const QRectF track(m_status.left(), m_status.center().y() - height / 2 + 1,
                           m_status.width(), height);
        QColor groove = colour(Palette::Colour::faint);
        groove.setAlphaF(m_selected ? 0.35f : 0.6f);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(groove);
        painter.drawRoundedRect(track, height / 2, height / 2);
        const double fraction = std::clamp(status.progress(), 0.0, 1.0);
        if (fraction > 0) {
            QRectF filled = track;
            filled.setWidth(std::max(height, track.width() * fraction));
            painter.setBrush(colour(Palette::Colour::accent));
            painter.drawRoundedRect(filled, height / 2, height / 2);
        }
        return;
    }
    if (!status.isDone() && !status.isFailed())
        return;
    const QColor tone =
        colour(status.isDone() ? Palette::Colour::success : Palette::Colour::danger);
    const QFontMetrics metrics(m_option.font);
    const int lineHeight = metrics.height();
    const QRect badge(m_status.left(), m_status.center().y() - lineHeight / 2 - 2, m_status.width(),
                      lineHeight + 4);
    if (hovered || pressed) {
        QColor fill = tone;
        fill.setAlphaF(pressed ? 0.3f : 0.15f);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(badge), 5, 5);
    }
    const int side = metrics.ascent();
    const QRectF symbol(badge.left() + badgePadding, badge.center().y() - side / 2.0 + 0.5, side,
                        side);
    paintSymbol(painter, symbol, status.isDone() ? Symbol::checkmark : Symbol::warning, tone);
    painter.setFont(m_option.font);
    painter.setPen(tone);
    const int textLeft = badge.left() + badgePadding + lineHeight + badgeGap;
    painter.drawText(QRect(textLeft, badge.top(), badge.right() - textLeft, badge.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, status.isDone() ? doneText() : failedText());
}

} // namespace tolvex::ui::files
