#pragma once

#include "host/AudioHost.h"
#include "host/PluginInstance.h"
#include "model/PluginState.h"

#include <QList>

#include <memory>
#include <vector>

namespace tolvex::render {

/// Fresh instances of the chain's plugins, made one after another on this
/// (worker) thread, each awaited before the next, each in its stored state;
/// a state that cannot be read leaves its plugin at the defaults. Throws
/// RenderError naming a plugin that cannot be loaded.
std::vector<std::unique_ptr<host::PluginInstance>>
instantiateChain(host::AudioHost& host, const QList<model::PluginState>& plugins);

} // namespace tolvex::render
