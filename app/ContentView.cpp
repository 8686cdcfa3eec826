#include "app/ContentView.h"

#include "app/ExportBar.h"
#include "app/NoticeLine.h"
#include "ui/Divider.h"
#include "ui/Palette.h"
#include "ui/chain/ChainView.h"
#include "ui/files/FilesView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tolvex::app {

ContentView::ContentView(session::Session& session, chain::Chain& chain,
                         ui::ChainCommands& chainCommands, MenuCommands& commands, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("content"));
    setMinimumSize(minimumContentSize);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    QWidget* chainPanel = new ui::chain::ChainView(chain, chainCommands, this);
    chainPanel->setFixedWidth(chainPanelWidth);
    auto* panels = new QHBoxLayout;
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    panels->addWidget(new ui::files::FilesView(session, chain, this), 1);
    panels->addWidget(new ui::Divider(Qt::Vertical, this));
    panels->addWidget(chainPanel);

    m_exportBar = new ExportBar(session, commands, this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(panels, 1);
    column->addWidget(new ui::Divider(Qt::Horizontal, this));
    column->addWidget(m_exportBar);

    m_notice = new NoticeLine(session, chain, this); // last: it lies over the rest
    connect(&ui::Palette::instance(), &ui::Palette::changed, this, &ContentView::applyTint);
    applyTint();
}

void ContentView::applyTint()
{
    // The window's tint: what the platform marks as selected or current.
    QPalette tinted = palette();
    const QColor tint = ui::Palette::tint();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        tinted.setColor(group, QPalette::Highlight, tint);
    tinted.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(tinted);
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_notice->place();
}

} // namespace tolvex::app
