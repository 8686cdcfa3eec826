#pragma once

#include "model/PluginInfo.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvex::model {

/// One chain entry frozen into data: the plugin's identity, its bypass switch
/// and its full state as a binary property list. A stored chain is an ordered
/// list of these, first effect first. No equality: it exists to be stored and
/// handed on.
struct PluginState {
    PluginId codes;
    QString name;
    QString vendor;
    bool bypass = false;
    /// The plugin's full-state dictionary as a binary property list; absent
    /// when the plugin reported none or it could not be serialised.
    std::optional<QByteArray> state;

    /// The identity part, as the catalogue would list the plugin.
    PluginInfo info() const { return {codes, name, vendor}; }

    static PluginState from(const PluginInfo& info, bool bypass,
                            std::optional<QByteArray> state = std::nullopt)
    {
        return {info.codes, info.name, info.vendor, bypass, std::move(state)};
    }
};

} // namespace tolvex::model
