#include "ui/files/FilesView.h"

#include "chain/Chain.h"
#include "session/Session.h"
#include "ui/Divider.h"
#include "ui/FileManager.h"
#include "ui/MenuText.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"
#include "ui/files/DropArea.h"
#include "ui/files/PreviewBar.h"
#include "ui/files/RowMenu.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tolvex::ui::files {

namespace {

QFont scaled(QFont font, double factor, QFont::Weight weight)
{
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

} // namespace

FilesView::FilesView(session::Session& session, tolvex::chain::Chain& chain, QWidget* parent)
    : QWidget(parent), m_session(session), m_chain(chain),
      m_reveal([](const QString& path) { FileManager::showItem(path); })
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());

    m_dropArea = new DropArea(this);
    m_stack = new QStackedWidget(m_dropArea);
    m_stack->setBackgroundRole(QPalette::Base); // the empty state on the list's ground
    m_stack->setAutoFillBackground(true);
    auto* area = new QVBoxLayout(m_dropArea);
    area->setContentsMargins(0, 0, 0, 0);
    area->addWidget(m_stack);
    m_stack->addWidget(buildEmptyState());
    auto* page = new QWidget(m_stack);
    auto* inset = new QVBoxLayout(page);
    inset->setContentsMargins(0, 8, 0, 0); // the inset list's room above the first row
    buildList();
    m_list->setParent(page);
    inset->addWidget(m_list);
    m_stack->addWidget(page);
    layout->addWidget(m_dropArea, 1);
    connect(m_dropArea, &DropArea::dropped, &session, &session::Session::add);

    layout->addWidget(new Divider(Qt::Horizontal, this));
    m_previewBar = new PreviewBar(session, chain, this);
    layout->addWidget(m_previewBar);

    connect(&session.files(), &session::FileList::countChanged, this, &FilesView::refresh);
    setFocusProxy(m_list);
    refreshColours();
    refresh();
}

FilesView::~FilesView()
{
    // The list's last events, while it is torn down, are no concern of its rows.
    m_list->viewport()->removeEventFilter(m_list->itemDelegate());
}

QWidget* FilesView::buildHeader()
{
    auto* header = new QWidget(this);
    header->setFixedHeight(40);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(8);
    m_title = new QLabel(QStringLiteral("Dateien"), header);
    m_title->setFont(scaled(font(), 1.1, QFont::Bold));
    m_count = new QLabel(header);
    m_count->setObjectName(QStringLiteral("count"));
    Palette::keepTextColour(*m_count, Palette::Colour::muted);
    row->addWidget(m_title);
    row->addWidget(m_count);
    row->addStretch(1);
    m_add = new QToolButton(header);
    m_add->setAutoRaise(true);
    m_add->setToolTip(QStringLiteral("Dateien hinzufügen (%1)")
                          .arg(QKeySequence(addFilesShortcut).toString(QKeySequence::NativeText)));
    connect(m_add, &QToolButton::clicked, &m_session, &session::Session::pickFiles);
    m_clear = new QToolButton(header);
    m_clear->setAutoRaise(true);
    m_clear->setToolTip(QStringLiteral("Liste leeren"));
    connect(m_clear, &QToolButton::clicked, &m_session, &session::Session::clearList);
    row->addWidget(m_add);
    row->addWidget(m_clear);
    return header;
}

QWidget* FilesView::buildEmptyState()
{
    auto* empty = new QWidget(m_stack);
    auto* column = new QVBoxLayout(empty);
    column->setSpacing(10);
    column->addStretch(1);
    m_waveform = new QLabel(empty);
    m_waveform->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(QStringLiteral("Audiodateien hier hineinziehen"), empty);
    title->setFont(scaled(font(), 1.2, QFont::Normal));
    title->setAlignment(Qt::AlignCenter);
    m_hint = new QLabel(QStringLiteral("WAV, AIFF, MP3, M4A … oder ganze Ordner"), empty);
    m_hint->setObjectName(QStringLiteral("hint"));
    Palette::keepTextColour(*m_hint, Palette::Colour::muted);
    m_hint->setAlignment(Qt::AlignCenter);
    auto* choose = new QPushButton(QStringLiteral("Dateien wählen …"), empty);
    connect(choose, &QPushButton::clicked, &m_session, &session::Session::pickFiles);
    for (QLabel* label : {m_waveform, title, m_hint}) {
        label->setWordWrap(label != m_waveform);
        column->addWidget(label);
    }
    column->addSpacing(4);
    column->addWidget(choose, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return empty;
}

void FilesView::buildList()
{
    m_list = new QListView(m_stack);
    m_list->setModel(&m_session.files());
    // The session's selection, shared: what the list selects is selected.
    QItemSelectionModel* own = m_list->selectionModel();
    m_list->setSelectionModel(&m_session.selectionModel());
    delete own;
    m_list->setItemDelegate(new FileRowDelegate(
        m_chain, [this](const QString& path) { m_reveal(path); }, *m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setAcceptDrops(false); // drops go to the area around it
    m_list->viewport()->setAcceptDrops(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QListView::customContextMenuRequested, this, &FilesView::openContextMenu);
    // The play button of the row that plays, and of the one that stopped.
    connect(&m_chain, &tolvex::chain::Chain::playingIDChanged, m_list->viewport(),
            qOverload<>(&QWidget::update));

    auto* remove = new QAction(m_list);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, &m_session, &session::Session::removeSelected);
    m_list->addAction(remove);
}

void FilesView::refresh()
{
    const qsizetype count = m_session.items().size();
    m_count->setText(QString::number(count));
    m_count->setVisible(count > 0);
    m_clear->setEnabled(count > 0);
    m_stack->setCurrentIndex(count > 0 ? 1 : 0);
}

void FilesView::changeEvent(QEvent* event)
{
    // On the view's own palette change: the application's comes before the
    // widgets have the new palette.
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refreshColours();
}

void FilesView::refreshColours()
{
    const QPalette& current = palette();
    const QColor text = current.color(QPalette::ButtonText);
    m_add->setIcon(symbolIcon(Symbol::plus, text, true));
    m_clear->setIcon(symbolIcon(Symbol::trash, text, true));
    const int side = QFontInfo(font()).pixelSize() * 40 / 13;
    m_waveform->setPixmap(
        symbolIcon(Symbol::waveform, Palette::colour(Palette::Colour::accent, current))
            .pixmap(side, side));
}

bool FilesView::eventFilter(QObject* watched, QEvent* event)
{
    // A right-click opens the clicked row's menu and leaves the selection
    // as it is; the list would otherwise select the row alone first.
    const auto type = event->type();
    if (watched == m_list->viewport() &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
         type == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
        return true;
    return QWidget::eventFilter(watched, event);
}

std::unique_ptr<QMenu> FilesView::contextMenu(int row)
{
    const model::AudioItem* item = m_session.files().item(row);
    if (!item)
        return nullptr;
    return std::make_unique<RowMenu>(
        m_session, m_chain, *item, [this](const QString& path) { m_reveal(path); }, this);
}

void FilesView::openContextMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    if (!index.isValid())
        return;
    if (const auto menu = contextMenu(index.row()))
        menu->exec(m_list->viewport()->mapToGlobal(position));
}

} // namespace tolvex::ui::files
