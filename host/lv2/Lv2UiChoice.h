#pragma once

#include "host/lv2/Lv2World.h"

#include <optional>
#include <string>

namespace tolvex::host {

/// The one interface of a plugin the host shows, and how: embedded in a
/// window of the host's (X11), or in a window of its own (the external-UI
/// widget, or an interface of another toolkit that offers the show
/// interface).
struct Lv2UiChoice {
    enum class Kind { embedded, external, showInterface };
    Kind kind = Kind::embedded;
    std::string pluginUri, uiUri, typeUri, bundlePath, binaryPath;
    bool instanceAccess = false; ///< the interface asks to reach into the plugin
    bool dataAccess = false;

    /// The interface to show for `plugin`, or nothing when it has none the
    /// host can show. Embedded X11 interfaces come first. Locks the world.
    static std::optional<Lv2UiChoice> find(Lv2World& world, const LilvPlugin* plugin);
};

} // namespace tolvex::host
