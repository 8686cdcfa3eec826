#pragma once

#include <QSize>
#include <QtGlobal>

#include <functional>

namespace tolvex::host {

/// A plugin's own editor interface, handed out by PluginInstance::
/// requestEditorView. The editor-window layer shows it in a panel; a plugin
/// without one hands out nothing and gets the generic parameter editor.
/// Everything but the destructor is called on the GUI thread. The view talks
/// to the running plugin only through the host's lock-free paths, and must
/// go before the plugin instance it belongs to.
class EditorView {
public:
    virtual ~EditorView() = default;

    /// True when the interface lives inside a window of the host's (it is
    /// embedded in `parentWindow` by create()); false when it opens a window
    /// of its own, shown and hidden by show() and hide().
    virtual bool embedded() const = 0;

    /// Makes the interface; an embedded one becomes a child of the native
    /// window `parentWindow` (an X11 window id). False when the plugin's
    /// interface cannot be loaded or made: the view is of no further use
    /// then, and the caller shows the generic editor instead.
    virtual bool create(quintptr parentWindow) = 0;

    /// The size the interface asks for, in pixels; empty when it names none.
    virtual QSize preferredSize() const = 0;

    /// Asks an embedded interface to take this size, where it can.
    virtual void resize(const QSize& size) = 0;

    /// Shows or hides an interface that has a window of its own.
    virtual void show() = 0;
    virtual void hide() = 0;

    /// Called about 30 times a second while the view exists: hands the
    /// interface what the plugin reported since and lets it run. False once
    /// the interface has closed itself (its own window was closed); it may
    /// be shown again.
    virtual bool idle() = 0;

    /// Called when the interface asks for another size.
    using ResizeRequest = std::function<void(const QSize&)>;
    void setResizeRequest(ResizeRequest request) { m_resizeRequest = std::move(request); }

protected:
    void requestResize(const QSize& size)
    {
        if (m_resizeRequest)
            m_resizeRequest(size);
    }

private:
    ResizeRequest m_resizeRequest;
};

} // namespace tolvex::host
