#pragma once

#include "host/EditorView.h"
#include "host/PluginInstance.h"

#include <QWidget>

#include <functional>
#include <memory>

class QStackedWidget;
class QToolButton;

namespace tolvex::ui::editors {

class GenericEditor;
class PluginUiHost;

/// The floating tool window of one slot's editor: the plugin's own
/// interface when it has one that loads, otherwise (or when the user
/// switches to it) the generic parameter view. Closing it runs the close
/// handler; the panel itself stays until its owner lets it go.
class EditorPanel : public QWidget {
    Q_OBJECT

public:
    /// `view` is the plugin's own interface, or null. `instance` outlives
    /// the panel's contents (see release()).
    EditorPanel(host::PluginInstance& instance, const QString& title,
                std::unique_ptr<host::EditorView> view, QWidget* parent = nullptr);
    ~EditorPanel() override;

    /// The size rule: the view's preferred size; when that is below 50 in
    /// either dimension, the view's frame; when that is too, 480 × 320.
    static QSize sizeFor(const QSize& preferred, const QSize& frame);
    /// The size the panel opens at, by the size rule.
    QSize initialSize() const;
    /// `size` made small enough for the panel, with its frame, to fit in
    /// `area` (a screen's available area); its content scrolls within.
    static QSize fittedTo(const QSize& size, const QRect& area);
    /// Resizes to `size` fitted to the screen's available area, and moves
    /// the panel inside that area where it reaches past it.
    void resizeOnScreen(const QSize& size);

    void setCloseHandler(std::function<void()> handler) { m_closeHandler = std::move(handler); }
    /// Shows the panel (and a plugin window of its own) in front.
    void bringToFront();
    /// Lets the plugin's interface and the generic view go now, before the
    /// plugin instance does; the panel shows nothing after.
    void release();

    /// Whether the plugin's own interface is showing (not the generic view).
    bool showsPluginInterface() const;
    GenericEditor* genericEditor() const { return m_generic; }
    /// The host of the plugin's own interface; null when it has none that loaded.
    PluginUiHost* pluginInterface() const { return m_plugin; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addPluginInterface(std::unique_ptr<host::EditorView> view);
    QWidget* makeBar();
    void showGeneric(bool generic);
    void followSizeRequest(const QSize& size);

    std::function<void()> m_closeHandler;
    QStackedWidget* m_stack = nullptr;
    GenericEditor* m_generic = nullptr;
    PluginUiHost* m_plugin = nullptr;
    QWidget* m_pluginPage = nullptr; ///< the plugin's interface, scrolling within
    QToolButton* m_switch = nullptr;
    QWidget* m_bar = nullptr;
};

} // namespace tolvex::ui::editors
