#include "ui/editors/EditorPanel.h"

#include "ui/editors/GenericEditor.h"
#include "ui/editors/PluginUiHost.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace tolvex::ui::editors {

namespace {
constexpr int smallest = 50;
const QSize fallbackSize(480, 320);
} // namespace

EditorPanel::EditorPanel(host::PluginInstance& instance, const QString& title,
                         std::unique_ptr<host::EditorView> view, QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(title);
    setAttribute(Qt::WA_MacAlwaysShowToolWindow); // stays when the application is inactive
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_stack = new QStackedWidget;
    m_generic = new GenericEditor(instance);
    m_stack->addWidget(m_generic);
    layout->addWidget(m_stack, 1);
    if (view)
        addPluginInterface(std::move(view));
}

EditorPanel::~EditorPanel()
{
    release();
}

QSize EditorPanel::sizeFor(const QSize& preferred, const QSize& frame)
{
    const auto tooSmall = [](const QSize& size) {
        return size.width() < smallest || size.height() < smallest;
    };
    if (!tooSmall(preferred))
        return preferred;
    if (!tooSmall(frame))
        return frame;
    return fallbackSize;
}

namespace {
/// Room for the window manager's frame around a panel: its sides and title.
const QSize frameAllowance(16, 48);
} // namespace

QSize EditorPanel::fittedTo(const QSize& size, const QRect& area)
{
    return size.boundedTo(area.size() - frameAllowance);
}

void EditorPanel::resizeOnScreen(const QSize& size)
{
    const QScreen* shownOn = screen();
    if (!shownOn) {
        resize(size);
        return;
    }
    const QRect area = shownOn->availableGeometry();
    const QSize fitted = fittedTo(size, area);
    // The plugin's interface scrolls only where the screen cuts it: at its
    // own size, a bar for a pixel's rounding would cover it.
    if (auto* page = qobject_cast<QScrollArea*>(m_pluginPage)) {
        const auto policy = fitted == size ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
        page->setHorizontalScrollBarPolicy(policy);
        page->setVerticalScrollBarPolicy(policy);
    }
    resize(fitted);
    if (!isVisible())
        return;
    QRect frame = frameGeometry();
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    move(frame.topLeft());
}

QSize EditorPanel::initialSize() const
{
    QWidget* page = m_stack->currentWidget();
    if (page == m_pluginPage)
        page = m_plugin;
    const QSize content = sizeFor(page->sizeHint(), page->size());
    return content + QSize(0, m_bar ? m_bar->sizeHint().height() : 0);
}

void EditorPanel::addPluginInterface(std::unique_ptr<host::EditorView> view)
{
    auto* pluginUi = new PluginUiHost(std::move(view));
    // In a scroll area, for an interface taller or wider than the screen;
    // inside the panel before it makes its native window.
    auto* page = new QScrollArea;
    page->setFrameShape(QFrame::NoFrame);
    page->setWidgetResizable(true);
    page->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    page->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    page->setWidget(pluginUi);
    m_stack->addWidget(page);
    if (!pluginUi->start()) {
        // A guest that fails leaves the generic view, with a word why.
        delete page;
        auto* notice = new QLabel(tr("Die eigene Oberfläche des Plugins ließ sich nicht laden."));
        notice->setWordWrap(true);
        notice->setContentsMargins(8, 6, 8, 6);
        static_cast<QVBoxLayout*>(layout())->insertWidget(0, notice);
        return;
    }
    m_plugin = pluginUi;
    m_pluginPage = page;
    m_bar = makeBar();
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_bar);
    if (pluginUi->embedded())
        m_stack->setCurrentWidget(page);
    connect(pluginUi, &PluginUiHost::sizeRequested, this, &EditorPanel::followSizeRequest);
    connect(pluginUi, &PluginUiHost::closedByPlugin, this, [this] {
        if (m_plugin->embedded()) {
            m_switch->setChecked(true); // an embedded interface that went leaves the list
            m_switch->setEnabled(false);
            return;
        }
        const QSignalBlocker blocker(m_switch);
        m_switch->setChecked(false);
    });
}

QWidget* EditorPanel::makeBar()
{
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    m_switch = new QToolButton;
    m_switch->setCheckable(true);
    m_switch->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (m_plugin->embedded()) {
        m_switch->setText(tr("Parameterliste"));
        m_switch->setToolTip(tr("Die Parameter als Liste zeigen statt der Oberfläche des Plugins"));
        connect(m_switch, &QToolButton::toggled, this, &EditorPanel::showGeneric);
    } else {
        m_switch->setText(tr("Fenster des Plugins"));
        m_switch->setToolTip(tr("Die eigene Oberfläche des Plugins in ihrem Fenster zeigen"));
        m_switch->setChecked(true);
        connect(m_switch, &QToolButton::toggled, this, [this](bool shown) {
            if (m_plugin)
                m_plugin->setShown(shown);
        });
    }
    row->addWidget(m_switch);
    row->addStretch(1);
    return bar;
}

void EditorPanel::showGeneric(bool generic)
{
    if (!m_plugin)
        return;
    QWidget* page = generic ? static_cast<QWidget*>(m_generic) : m_plugin;
    m_stack->setCurrentWidget(generic ? page : m_pluginPage);
    resizeOnScreen(sizeFor(page->sizeHint(), page->size()) + QSize(0, m_bar->sizeHint().height()));
}

void EditorPanel::followSizeRequest(const QSize& size)
{
    if (m_plugin && m_stack->currentWidget() == m_pluginPage && !size.isEmpty())
        resizeOnScreen(size + QSize(0, m_bar->sizeHint().height()));
}

bool EditorPanel::showsPluginInterface() const
{
    if (!m_plugin)
        return false;
    return m_plugin->embedded() ? m_stack->currentWidget() == m_pluginPage : m_plugin->shown();
}

void EditorPanel::bringToFront()
{
    show();
    raise();
    activateWindow();
    if (m_plugin && !m_plugin->embedded()) {
        m_switch->setChecked(true);
        m_plugin->setShown(true);
    }
}

void EditorPanel::release()
{
    if (m_switch)
        m_switch->setEnabled(false);
    delete std::exchange(m_plugin, nullptr);
    delete std::exchange(m_pluginPage, nullptr);
    delete std::exchange(m_generic, nullptr);
}

void EditorPanel::closeEvent(QCloseEvent* event)
{
    if (m_plugin)
        m_plugin->setShown(false);
    event->accept();
    if (m_closeHandler)
        m_closeHandler(); // may release the contents
}

} // namespace tolvex::ui::editors
