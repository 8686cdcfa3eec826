#pragma once

#include <QUuid>

#include <memory>

class QWidget;

namespace tolvex::host {
class EditorView;
}

namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::editors {

/// Makes `chain` open each slot's editor as a floating tool window over
/// `parentWindow` (which may be null): the chain asks the slot's plugin for
/// its own interface, and once that request completes, showEditor() makes
/// the panel. Call once at start, on the GUI thread.
void installEditorOpener(chain::Chain& chain, QWidget* parentWindow);

/// Opens the panel of the slot `slotId` with the plugin's interface `view`
/// (or the generic view when null): nothing when the slot has gone or has a
/// panel already. The chain keeps the panel; closing it makes the chain
/// forget it and save. GUI thread.
void showEditor(chain::Chain& chain, const QUuid& slotId, std::unique_ptr<host::EditorView> view,
                QWidget* parentWindow);

} // namespace tolvex::ui::editors
