#include "ui/editors/PluginUiHost.h"

#include <QResizeEvent>

namespace tolvex::ui::editors {

namespace {
constexpr int idleInterval = 33; // ms: about 30 times a second
} // namespace

PluginUiHost::PluginUiHost(std::unique_ptr<host::EditorView> view, QWidget* parent)
    : QWidget(parent), m_view(std::move(view))
{
    m_idle.setInterval(idleInterval);
    connect(&m_idle, &QTimer::timeout, this, &PluginUiHost::idle);
    m_view->setResizeRequest([this](const QSize& size) {
        updateGeometry();
        Q_EMIT sizeRequested(size);
    });
}

PluginUiHost::~PluginUiHost()
{
    m_idle.stop();
    m_view.reset(); // the interface and its windows go before this widget's window
}

bool PluginUiHost::start()
{
    if (m_started)
        return true;
    quintptr parentWindow = 0;
    if (m_view->embedded()) {
        // The interface makes its window a child of this one.
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        parentWindow = quintptr(winId());
    }
    if (!m_view->create(parentWindow))
        return false;
    m_started = true;
    m_idle.start();
    return true;
}

void PluginUiHost::setShown(bool shown)
{
    if (!m_started || m_view->embedded() || shown == m_shown)
        return;
    m_shown = shown;
    if (shown)
        m_view->show();
    else
        m_view->hide();
}

QSize PluginUiHost::sizeHint() const
{
    const QSize preferred = m_view->preferredSize();
    return preferred.isValid() && !preferred.isEmpty() ? preferred : QWidget::sizeHint();
}

QSize PluginUiHost::minimumSizeHint() const
{
    return m_view->embedded() ? sizeHint() : QWidget::minimumSizeHint();
}

void PluginUiHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_started && m_view->embedded() && event->size() != m_view->preferredSize())
        m_view->resize(event->size());
}

void PluginUiHost::idle()
{
    if (m_view->idle() || (!m_shown && !m_view->embedded()))
        return;
    m_shown = false; // the interface closed its own window, or is gone
    Q_EMIT closedByPlugin();
}

} // namespace tolvex::ui::editors
