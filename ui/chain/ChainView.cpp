#include "ui/chain/ChainView.h"

#include "chain/Chain.h"
#include "ui/ChainCommands.h"
#include "ui/Divider.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"
#include "ui/chain/AddPluginMenu.h"
#include "ui/chain/PresetMenu.h"
#include "ui/chain/SlotList.h"
#include "ui/chain/Spinner.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tolvex::ui::chain {

namespace {

using Colour = Palette::Colour;

QFont scaledFont(const QFont& base, qreal factor)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    return font;
}

} // namespace

ChainView::ChainView(::tolvex::chain::Chain& chain, ChainCommands& commands, QWidget* parent)
    : QWidget(parent), m_chain(chain), m_commands(commands)
{
    m_list = new SlotList(m_chain);
    m_body = new QStackedWidget;
    m_body->addWidget(makeEmptyState());
    m_body->addWidget(m_list);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(m_body, 1);
    layout->addWidget(new Divider(Qt::Horizontal));
    layout->addWidget(makeAddButton());

    connect(&m_chain, &::tolvex::chain::Chain::slotsChanged, this, &ChainView::showBody);
    connect(&m_chain, &::tolvex::chain::Chain::loadingChanged, this, &ChainView::showLoading);
    showBody();
    showLoading(m_chain.loading());
    refreshColours();
}

QWidget* ChainView::makeHeader()
{
    auto* header = new QWidget;
    header->setFixedHeight(40);
    auto* title = new QLabel(QStringLiteral("Kette"));
    QFont titleFont = font();
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    m_spinner = new Spinner;

    m_presetMenu = new PresetMenu(m_commands, this);
    m_presetButton = new QToolButton;
    m_presetButton->setAutoRaise(true);
    m_presetButton->setIconSize({18, 18});
    m_presetButton->setToolTip(QStringLiteral("Ketten speichern und laden"));
    m_presetButton->setAccessibleName(QStringLiteral("Ketten speichern und laden"));
    m_presetButton->setMenu(m_presetMenu);
    m_presetButton->setPopupMode(QToolButton::InstantPopup);
    // The symbol alone says it opens a menu; no arrow beside it.
    m_presetButton->setStyleSheet(
        QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));

    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(16, 0, 16, 0);
    layout->setSpacing(8);
    layout->addWidget(title);
    layout->addWidget(m_spinner);
    layout->addStretch(1);
    layout->addWidget(m_presetButton);
    return header;
}

QWidget* ChainView::makeEmptyState()
{
    m_emptyState = new QWidget;
    m_emptySymbol = new QLabel;
    m_emptySymbol->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(QStringLiteral("Noch keine Plugins"));
    title->setAlignment(Qt::AlignCenter);
    m_emptyHint = new QLabel(
        QStringLiteral("Der Ton läuft von oben nach unten\ndurch alle Plugins der Kette."));
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setFont(scaledFont(font(), 0.92));

    auto* layout = new QVBoxLayout(m_emptyState);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(m_emptySymbol);
    layout->addWidget(title);
    layout->addWidget(m_emptyHint);
    layout->addStretch(1);
    return m_emptyState;
}

QWidget* ChainView::makeAddButton()
{
    m_addButton = new QPushButton(QStringLiteral("Plugin hinzufügen"));
    m_addMenu = new AddPluginMenu(m_chain, m_addButton); // as wide as the button
    m_addButton->setMinimumHeight(32);
    m_addButton->setIconSize({16, 16});
    m_addButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_addButton, &QPushButton::clicked, m_addMenu, &AddPluginMenu::open);
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(m_addButton);
    return holder;
}

void ChainView::showBody()
{
    m_body->setCurrentWidget(m_chain.slots().isEmpty() ? m_emptyState : m_list);
}

void ChainView::showLoading(bool loading)
{
    m_spinner->setVisible(loading);
    m_addButton->setEnabled(!loading);
    m_presetButton->setEnabled(!loading);
    m_list->setEnabled(!loading);
}

void ChainView::refreshColours()
{
    const QPalette& colours = palette();
    const QColor accent = Palette::colour(Colour::accent, colours);
    m_presetButton->setIcon(symbolIcon(Symbol::trayFull, accent, true));
    m_addButton->setIcon(symbolIcon(Symbol::plus, colours.color(QPalette::ButtonText), true));
    m_emptySymbol->setPixmap(
        symbolIcon(Symbol::chainPath, accent).pixmap(QSize(44, 44), devicePixelRatioF()));
    Palette::setTextColour(*m_emptyHint, Palette::colour(Colour::muted, colours));
}

void ChainView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor panel = Palette::colour(Colour::panel, palette());
    panel.setAlphaF(0.35);
    painter.fillRect(rect(), panel);
}

void ChainView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refreshColours();
}

} // namespace tolvex::ui::chain
