#pragma once

#include <QSize>

namespace tolvex::host {

/// A plugin's own editor interface, handed out by PluginInstance::
/// requestEditorView. The editor-window layer embeds it in a panel; a plugin
/// without one hands out nothing and gets the generic parameter editor.
class EditorView {
public:
    virtual ~EditorView() = default;

    /// The size the plugin asks for, in points; may be empty.
    virtual QSize preferredSize() const = 0;
};

} // namespace tolvex::host
