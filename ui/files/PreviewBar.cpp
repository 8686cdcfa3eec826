#include "ui/files/PreviewBar.h"

#include "chain/Chain.h"
#include "model/DisplayText.h"
#include "session/Session.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>

#include <algorithm>
#include <cmath>

namespace tolvex::ui::files {

namespace {

/// A click on the slider's groove moves the handle there at once (and
/// starts a drag), rather than stepping a page towards it.
class JumpToClickStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

} // namespace

PreviewBar::PreviewBar(session::Session& session, tolvex::chain::Chain& chain, QWidget* parent)
    : QWidget(parent), m_session(session), m_chain(chain)
{
    build();
    m_timer.setInterval(refreshInterval);
    connect(&m_timer, &QTimer::timeout, this, &PreviewBar::refreshPosition);
    connect(&session.files(), &session::FileList::countChanged, this, &PreviewBar::refresh);
    connect(&session, &session::Session::selectionChanged, this, &PreviewBar::refresh);
    connect(&chain, &tolvex::chain::Chain::playingIDChanged, this, &PreviewBar::refresh);
    connect(&chain, &tolvex::chain::Chain::slotsChanged, this, &PreviewBar::refresh);
    connect(&chain, &tolvex::chain::Chain::compareOriginalChanged, this, &PreviewBar::refresh);
    refresh();
}

void PreviewBar::build()
{
    setFixedHeight(48);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 0, 16, 0);
    layout->setSpacing(12);

    m_play = new QPushButton(this);
    m_play->setToolTip(QStringLiteral("Vorhören (Leertaste)"));
    m_play->setIconSize(QSize(14, 14));
    m_play->setMinimumWidth(20 + 16);
    m_play->setFocusPolicy(Qt::TabFocus);
    connect(m_play, &QPushButton::clicked, this, &PreviewBar::togglePreview);
    layout->addWidget(m_play);

    // Play and stop with the space bar, wherever the focus is in the window,
    // except in text fields, which keep their spaces.
    m_playAction = new QAction(QStringLiteral("Vorhören"), this);
    m_playAction->setShortcut(QKeySequence(Qt::Key_Space));
    m_playAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_playAction, &QAction::triggered, this, &PreviewBar::togglePreview);
    addAction(m_playAction);

    m_middle = new QStackedWidget(this);
    auto* idle = new QLabel(QStringLiteral("Vorhören"), m_middle);
    idle->setObjectName(QStringLiteral("idle"));
    Palette::keepTextColour(*idle, Palette::Colour::muted);
    m_middle->addWidget(idle);
    auto* row = new QWidget(m_middle);
    auto* position = new QHBoxLayout(row);
    position->setContentsMargins(0, 0, 0, 0);
    position->setSpacing(8);
    m_elapsed = new QLabel(row);
    m_elapsed->setObjectName(QStringLiteral("elapsed"));
    Palette::keepTextColour(*m_elapsed, Palette::Colour::muted);
    m_slider = new QSlider(Qt::Horizontal, row);
    auto* style = new JumpToClickStyle; // over the application's style, whatever it becomes
    style->setParent(m_slider);
    m_slider->setStyle(style);
    m_slider->setFocusPolicy(Qt::NoFocus);
    m_total = new QLabel(row);
    m_total->setObjectName(QStringLiteral("total"));
    Palette::keepTextColour(*m_total, Palette::Colour::muted);
    for (QLabel* label : {m_elapsed, m_total}) {
        QFont font = label->font();
        font.setStyleHint(QFont::Monospace);
        label->setFont(font);
    }
    position->addWidget(m_elapsed);
    position->addWidget(m_slider, 1);
    position->addWidget(m_total);
    m_middle->addWidget(row);
    layout->addWidget(m_middle, 1);
    connect(m_slider, &QSlider::sliderMoved, this, &PreviewBar::scrubTo);
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderMove)
            scrubTo(m_slider->sliderPosition()); // a click that jumps there, or a drag
        else if (!m_slider->isSliderDown())      // the wheel: only a drag seeks
            QMetaObject::invokeMethod(this, &PreviewBar::refreshPosition, Qt::QueuedConnection);
    });
    connect(m_slider, &QSlider::sliderReleased, this, &PreviewBar::seek);

    m_original = new QPushButton(QStringLiteral("Original"), this);
    m_original->setObjectName(QStringLiteral("original"));
    m_original->setCheckable(true);
    m_original->setFocusPolicy(Qt::TabFocus);
    m_original->setToolTip(
        QStringLiteral("Kette kurz umgehen, um mit dem Original zu vergleichen"));
    connect(m_original, &QPushButton::toggled, &m_chain, &tolvex::chain::Chain::setCompareOriginal);
    layout->addWidget(m_original);
    applyColours();
    fitOriginal();
}

namespace {

/// The checked "Original"'s look: its padding beside the text, its border
/// and its type's weight (in CSS units: 600 is QFont::DemiBold).
constexpr int checkedPadding = 12;
constexpr int checkedBorder = 1;
constexpr QFont::Weight checkedWeight = QFont::DemiBold;

} // namespace

void PreviewBar::applyColours()
{
    const QColor tint = Palette::colour(Palette::Colour::tint, palette());
    m_original->setStyleSheet(
        QStringLiteral("QPushButton:checked { background: %1; color: white; border: %4px solid %2;"
                       " border-radius: 4px; padding: 4px %5px; font-weight: %6; }"
                       "QPushButton:checked:hover { background: %3; }")
            .arg(tint.name(), tint.darker(120).name(), tint.lighter(112).name())
            .arg(checkedBorder)
            .arg(checkedPadding)
            .arg(int(checkedWeight)));
}

void PreviewBar::fitOriginal()
{
    // Wide enough for the checked look's heavier text and padding, so that
    // switching it on neither cuts the text nor moves the bar's other parts.
    QFont heavier = m_original->font();
    heavier.setWeight(checkedWeight);
    m_original->setMinimumWidth(QFontMetrics(heavier).horizontalAdvance(m_original->text()) +
                                2 * (checkedPadding + checkedBorder) + 4);
}

void PreviewBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColours();
        refresh();
    } else if (event->type() == QEvent::FontChange) {
        fitOriginal();
    }
}

std::optional<model::AudioItem> PreviewBar::previewTarget() const
{
    const session::FileList& files = m_session.files();
    if (const auto playing = m_chain.playingID())
        if (const model::AudioItem* item = files.item(files.row(*playing)))
            return *item;
    // The first selected row in list order, else the first row.
    int row = files.count() > 0 ? 0 : -1;
    const QModelIndexList selected = m_session.selectionModel().selectedRows();
    if (!selected.isEmpty())
        row = std::min_element(selected.begin(), selected.end(), [](const auto& a, const auto& b) {
                  return a.row() < b.row();
              })->row();
    if (const model::AudioItem* item = files.item(row))
        return *item;
    return std::nullopt;
}

void PreviewBar::togglePreview()
{
    const auto target = previewTarget();
    if (!target)
        return;
    if (m_chain.isPlaying(target->id))
        m_chain.stop();
    else
        m_chain.play(*target, 0);
}

void PreviewBar::refresh()
{
    const auto target = previewTarget();
    const bool playing = m_chain.playingID().has_value();
    m_play->setIcon(
        symbolIcon(playing ? Symbol::stop : Symbol::play, palette().color(QPalette::ButtonText)));
    m_play->setEnabled(target.has_value());
    m_playAction->setEnabled(target.has_value());
    {
        const QSignalBlocker block(m_original);
        m_original->setChecked(m_chain.compareOriginal());
    }
    m_original->setEnabled(!m_chain.slots().isEmpty());

    m_middle->setCurrentIndex(target ? 1 : 0);
    if (target) {
        const double range = std::max(target->duration, 1.0);
        m_slider->setRange(0, int(std::min(range * 1000.0, 2.0e9)));
        m_total->setText(model::durationText(target->duration));
    }
    if (playing)
        m_timer.start();
    else
        m_timer.stop();
    refreshPosition();
}

void PreviewBar::refreshPosition()
{
    const auto target = previewTarget();
    if (!target)
        return;
    double position = 0;
    if (m_scrub)
        position = *m_scrub;
    else if (m_chain.isPlaying(target->id))
        position = m_chain.currentTime();
    m_elapsed->setText(model::durationText(position));
    if (!m_slider->isSliderDown()) {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(int(std::clamp(position * 1000.0, 0.0, double(m_slider->maximum()))));
    }
}

void PreviewBar::scrubTo(int milliseconds)
{
    m_scrub = milliseconds / 1000.0;
    refreshPosition();
}

void PreviewBar::seek()
{
    const std::optional<double> scrub = std::exchange(m_scrub, std::nullopt);
    const auto target = previewTarget();
    if (scrub && target)
        m_chain.play(*target, *scrub);
    refreshPosition();
}

} // namespace tolvex::ui::files
