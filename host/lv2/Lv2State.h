#pragma once

#include "host/PropertyList.h"
#include "host/lv2/LilvHandles.h"
#include "host/lv2/Lv2Copy.h"
#include "host/lv2/Lv2Ports.h"

#include <optional>

namespace tolvex::host {

/// A plugin's state through lilv: taken from a copy, given to copies, and
/// turned into the dictionary the host stores ({"uri", "state": Turtle}) and
/// back. Control ports are not part of what a copy receives: their values
/// are the targets, which every copy shares.
class Lv2State {
public:
    Lv2State(Lv2World& world, const LilvPlugin* plugin, Lv2Ports& ports);

    /// The plugin state of a copy, its control inputs as the targets hold
    /// them. May run while the copy processes on another thread.
    LilvStatePtr capture(const Lv2Copy& copy) const;
    /// Gives a copy a plugin state (not the ports). The copy does not run.
    void restore(const LilvState& state, Lv2Copy& copy) const;

    std::optional<PropertyDictionary> toDictionary(const LilvState& state) const;
    /// The state in a stored dictionary, its port values set as targets;
    /// null for another plugin's state or one lilv cannot read, or could not
    /// read without crashing (see lilvCanReadState).
    LilvStatePtr fromDictionary(const PropertyDictionary& dictionary);

private:
    QString uri() const;
    static const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type);
    static void setPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                             uint32_t type);

    Lv2World& m_world;
    const LilvPlugin* m_plugin;
    Lv2Ports& m_ports;
    LV2_URID m_float, m_double, m_int, m_long, m_bool;
};

} // namespace tolvex::host
