#pragma once

#include "host/EditorView.h"

#include <QTimer>
#include <QWidget>

#include <memory>

namespace tolvex::ui::editors {

/// Hosts a plugin's own interface, a guest: an embedded one lives in this
/// widget's native window, one with a window of its own is shown and hidden
/// by setShown(). Either way the widget runs the interface's idle about 30
/// times a second while it exists. The interface goes with the widget, first.
class PluginUiHost : public QWidget {
    Q_OBJECT

public:
    PluginUiHost(std::unique_ptr<host::EditorView> view, QWidget* parent = nullptr);
    ~PluginUiHost() override;

    /// Makes the plugin's interface; false when it fails to load, and the
    /// widget is of no use then.
    bool start();
    bool embedded() const { return m_view->embedded(); }
    /// Shows or hides an interface with a window of its own.
    void setShown(bool shown);
    bool shown() const { return m_shown; }
    host::EditorView& view() const { return *m_view; }

    QSize sizeHint() const override;
    /// An embedded interface is not squeezed below its preferred size: the
    /// panel scrolls it instead.
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    /// The interface closed its own window; an embedded one has gone
    /// (its plugin was made anew) and shows nothing from now on.
    void closedByPlugin();
    /// The interface asks for this size.
    void sizeRequested(const QSize& size);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void idle();

    std::unique_ptr<host::EditorView> m_view;
    QTimer m_idle;
    bool m_started = false;
    bool m_shown = false;
};

} // namespace tolvex::ui::editors
