#include "ui/chain/SlotRow.h"

#include "chain/Chain.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"
#include "ui/chain/ElidedLabel.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace tolvex::ui::chain {

namespace {

using Colour = Palette::Colour;

/// The small font of the badge and the vendor line.
QFont captionFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(std::max(7.5, base.pointSizeF() * 0.85));
    return font;
}

} // namespace

SlotRow::SlotRow(int index, ::tolvex::chain::Slot& slot, ::tolvex::chain::Chain& chain,
                 QWidget* parent)
    : QWidget(parent), m_index(index), m_slot(&slot), m_chain(chain)
{
    makeActions();

    m_badge = new QLabel(QString::number(index), this);
    m_badge->setFixedSize(20, 20);
    m_badge->setAlignment(Qt::AlignCenter);
    QFont badgeFont = captionFont(font());
    badgeFont.setWeight(QFont::DemiBold);
    m_badge->setFont(badgeFont);
    m_badge->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 3, 4, 3);
    layout->setSpacing(10);
    layout->addWidget(m_badge);
    layout->addWidget(makeNameBlock(), 1);
    layout->addSpacing(4);
    m_editorButton = makeButton(m_openEditor);
    m_bypassButton = makeButton(m_bypass);
    m_removeButton = makeButton(m_remove);
    layout->addWidget(m_editorButton);
    layout->addWidget(m_bypassButton);
    layout->addWidget(m_removeButton);

    // The list's viewport would make the text colour the one for bases; the
    // row is drawn on the panel. (Both send a palette change: refresh.)
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    connect(&slot, &::tolvex::chain::Slot::bypassChanged, this, &SlotRow::refresh);
    refresh();
}

void SlotRow::makeActions()
{
    m_openEditor = new QAction(QStringLiteral("Einstellungen öffnen"), this);
    connect(m_openEditor, &QAction::triggered, this, [this] {
        if (m_slot)
            m_chain.openEditor(*m_slot);
    });

    m_bypass = new QAction(this);
    connect(m_bypass, &QAction::triggered, this, [this] {
        if (!m_slot)
            return;
        m_slot->setBypass(!m_slot->bypass());
        m_chain.save();
    });

    m_remove = new QAction(QStringLiteral("Entfernen"), this);
    m_remove->setToolTip(QStringLiteral("Aus der Kette entfernen"));
    // The slot is gone once removeSlot returns; the list releases this row.
    connect(m_remove, &QAction::triggered, this, [this] {
        if (m_slot)
            m_chain.removeSlot(m_slot);
    });

    for (QAction* action : {m_openEditor, m_bypass, m_remove})
        action->setIconVisibleInMenu(false);
}

QWidget* SlotRow::makeNameBlock()
{
    auto* block = new QWidget(this);
    block->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_name = new ElidedLabel(block);
    m_name->setText(m_slot->info().name);
    m_detail = new ElidedLabel(block);
    m_detail->setFont(captionFont(font()));
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_name);
    layout->addWidget(m_detail);
    return block;
}

QToolButton* SlotRow::makeButton(QAction* action)
{
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize({18, 18});
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void SlotRow::refresh()
{
    if (!m_slot)
        return;
    const bool unavailable = m_slot->isUnavailable();
    const bool bypassed = m_slot->bypass() && !unavailable;
    const QPalette& colours = palette();
    const QColor muted = Palette::colour(Colour::muted, colours);
    const QColor warning = Palette::colour(Colour::warning, colours);

    Palette::setTextColour(*m_badge, Qt::white);
    Palette::setTextColour(*m_name,
                           bypassed || unavailable ? muted : colours.color(QPalette::WindowText));
    QFont nameFont = font();
    nameFont.setStrikeOut(bypassed);
    m_name->setFont(nameFont);
    m_detail->setText(unavailable ? QStringLiteral("nicht verfügbar")
                      : bypassed  ? QStringLiteral("umgangen")
                                  : m_slot->info().vendor);
    Palette::setTextColour(*m_detail, bypassed || unavailable ? warning : muted);
    setToolTip(m_slot->problem());

    m_openEditor->setEnabled(!unavailable);
    m_bypass->setEnabled(!unavailable);
    m_editorButton->setVisible(!unavailable);
    m_bypassButton->setVisible(!unavailable);
    m_removeButton->setVisible(unavailable);
    m_remove->setIcon(symbolIcon(Symbol::minus, Palette::colour(Colour::accent, colours), true));

    m_openEditor->setIcon(
        symbolIcon(Symbol::sliders, Palette::colour(Colour::accent, colours), true));
    m_bypass->setText(bypassed ? QStringLiteral("Einschalten") : QStringLiteral("Umgehen"));
    m_bypass->setToolTip(bypassed ? QStringLiteral("Wieder einschalten")
                                  : QStringLiteral("Umgehen (wird auch beim Export übersprungen)"));
    m_bypass->setIcon(bypassed
                          ? symbolIcon(Symbol::powerOff, Palette::colour(Colour::warning, colours))
                          : symbolIcon(Symbol::power, Palette::colour(Colour::accent, colours)));
    update();
}

void SlotRow::showContextMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    menu.addAction(m_openEditor);
    menu.addAction(m_bypass);
    menu.addSeparator();
    menu.addAction(m_remove);
    menu.exec(globalPos);
}

bool SlotRow::event(QEvent* event)
{
    // A name cut short shows whole when the pointer rests on the row; an
    // unavailable slot's row shows why instead (its tooltip).
    if (event->type() == QEvent::ToolTip && m_slot && !m_slot->isUnavailable() &&
        m_name->sizeHint().width() > m_name->width()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), m_slot->info().name, this);
        return true;
    }
    return QWidget::event(event);
}

void SlotRow::paintEvent(QPaintEvent*)
{
    if (!m_slot)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const bool inactive = m_slot->bypass() || m_slot->isUnavailable();
    painter.setBrush(Palette::colour(inactive ? Colour::faint : Colour::badge, palette()));
    painter.drawEllipse(QRectF(m_badge->geometry()));
}

void SlotRow::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    m_openEditor->trigger();
}

void SlotRow::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    showContextMenu(event->globalPos());
}

void SlotRow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

} // namespace tolvex::ui::chain
