#pragma once

namespace tolvex::chain {

/// A slot's open editor panel, as the chain keeps it. The window layer
/// implements it; the chain only brings it forward or closes it.
class EditorWindow {
public:
    virtual ~EditorWindow() = default;
    virtual void raise() = 0;
    /// Closes the panel; its close handler then runs as for a user's close.
    virtual void close() = 0;
};

} // namespace tolvex::chain
