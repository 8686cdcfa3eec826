#include "ui/chain/AddPluginMenu.h"

#include "chain/Chain.h"
#include "model/NaturalOrder.h"
#include "ui/MenuText.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProxyStyle>
#include <QScreen>
#include <QWidgetAction>

#include <algorithm>

namespace tolvex::ui::chain {

namespace {

/// The property holding an entry's folded "vendor name" text.
constexpr char searchKey[] = "tolvexSearchKey";

/// Menus scroll instead of spreading over columns past the screen's edge
/// when the catalogue is long.
class ScrollingMenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        if (hint == SH_Menu_Scrollable)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

bool matches(const QString& key, const QStringList& words)
{
    for (const QString& word : words)
        if (!key.contains(word))
            return false;
    return true;
}

} // namespace

AddPluginMenu::AddPluginMenu(::tolvex::chain::Chain& chain, QWidget* parent)
    : QMenu(parent), m_chain(chain)
{
    auto* style = new ScrollingMenuStyle;
    style->setParent(this);
    setStyle(style);
}

void AddPluginMenu::open()
{
    build();
    if (!parentWidget()) {
        popup(QCursor::pos());
        return;
    }
    const QWidget* button = parentWidget();
    const QRect screen = button->screen()->availableGeometry();
    const int top = button->mapToGlobal(QPoint(0, 0)).y();
    const int below = screen.bottom() + 1 - (top + button->height());
    const int above = top - screen.top();
    const int wanted = std::min(sizeHint().height(), screen.height() * 2 / 3);
    m_above = wanted > below && above > below;
    setMaximumHeight(std::min(wanted, m_above ? above : below));
    place();
}

void AddPluginMenu::place()
{
    const QWidget* button = parentWidget();
    const int height = std::min(sizeHint().height(), maximumHeight());
    const QPoint at =
        button->mapToGlobal(m_above ? QPoint(0, -height) : QPoint(0, button->height()));
    // Laid out afresh from its first entry: a shown menu would keep its
    // scroll state and its top edge.
    hide();
    popup(at);
    // QMenu places itself by its whole height, not the height it is allowed,
    // and so moves a long catalogue to the top of the screen.
    if (pos() != at)
        move(at);
}

void AddPluginMenu::build()
{
    clear();
    m_groups.clear();
    m_field = nullptr;
    m_fieldAction = nullptr;
    m_noMatch = nullptr;
    setMaximumHeight(QWIDGETSIZE_MAX);
    if (parentWidget())
        setMinimumWidth(parentWidget()->width()); // as wide as the button
    if (m_chain.available().isEmpty()) {
        addAction(QStringLiteral("Keine Effekt-Plugins (LV2) gefunden"))->setEnabled(false);
        return;
    }
    addFilterField();
    for (const auto& group : m_chain.vendorGroups()) {
        Group entries{addSection(menuText(group.vendor)), {}};
        for (const auto& info : group.plugins) {
            QAction* action = addAction(menuText(info.name));
            action->setProperty(searchKey,
                                model::foldedForComparison(group.vendor + u' ' + info.name));
            connect(action, &QAction::triggered, this,
                    [this, info] { m_chain.addPlugin(info, std::nullopt, false, true); });
            entries.plugins.append(action);
        }
        m_groups.append(entries);
    }
    m_noMatch = addAction(QStringLiteral("Keine Treffer"));
    m_noMatch->setEnabled(false);
    m_noMatch->setVisible(false);
}

void AddPluginMenu::addFilterField()
{
    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("Plugin suchen …"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    auto* holder = new QWidget(this);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(m_field);
    m_fieldAction = new QWidgetAction(this);
    m_fieldAction->setDefaultWidget(holder);
    addAction(m_fieldAction);
    connect(m_field, &QLineEdit::textChanged, this, &AddPluginMenu::applyFilter);
}

void AddPluginMenu::applyFilter(const QString& text)
{
    const QStringList words = model::foldedForComparison(text).split(u' ', Qt::SkipEmptyParts);
    bool any = false;
    for (const Group& group : m_groups) {
        bool shown = false;
        for (QAction* action : group.plugins) {
            const bool match = matches(action->property(searchKey).toString(), words);
            action->setVisible(match);
            shown = shown || match;
        }
        group.section->setVisible(shown);
        any = any || shown;
    }
    if (m_noMatch)
        m_noMatch->setVisible(!any);
    fitToEntries();
}

void AddPluginMenu::fitToEntries()
{
    // A shown QMenu keeps its top edge and its scroll state when entries
    // hide, which leaves a short list far from the button with stale scroll
    // arrows; opening it again lays it out afresh, field text kept.
    if (isVisible() && parentWidget())
        place();
}

QList<QAction*> AddPluginMenu::visiblePlugins() const
{
    QList<QAction*> visible;
    for (const Group& group : m_groups)
        for (QAction* action : group.plugins)
            if (action->isVisible())
                visible.append(action);
    return visible;
}

void AddPluginMenu::takeSingleMatch()
{
    const QList<QAction*> visible = visiblePlugins();
    if (visible.size() != 1)
        return;
    hide();
    visible.first()->trigger();
}

void AddPluginMenu::showEvent(QShowEvent* event)
{
    QMenu::showEvent(event);
    if (m_field) // not the field as the active entry: that scrolls it to the middle
        m_field->setFocus(Qt::PopupFocusReason);
}

bool AddPluginMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            takeSingleMatch();
            return true; // the menu would otherwise close on the field's entry
        }
    }
    return QMenu::eventFilter(watched, event);
}

} // namespace tolvex::ui::chain
