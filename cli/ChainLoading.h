#pragma once

#include "cli/CliOptions.h"
#include "host/PluginInstance.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportSettings.h"
#include "model/PluginState.h"

#include <QList>

#include <memory>

namespace tolvex::cli {

/// The chain the options name, every entry with its bypass switch, first
/// effect first: the named preset, the chain file, the chain built from the
/// "--plugin" arguments, or else the chain the window saved last (none when
/// it never saved one). A chain built from arguments has each plugin made
/// once, with the values given, and stores its state. Throws UsageError
/// naming the preset, file, plugin, control or value it cannot take.
QList<model::PluginState> storedChain(host::Lv2AudioHost& host,
                                      const model::ExportSettings& settings,
                                      const CliOptions& options);

/// The plugins an export runs through: storedChain() without the bypassed
/// entries. Each plugin is made once here, so that a plugin that does not
/// load stops the program before any file is touched. Throws UsageError
/// naming the preset, file or plugin.
QList<model::PluginState> loadChain(host::Lv2AudioHost& host, const model::ExportSettings& settings,
                                    const CliOptions& options);

/// Makes the plugin of a chain entry and waits for it. Throws UsageError
/// with the host's reason, naming the plugin by the entry's name.
std::unique_ptr<host::PluginInstance> makeInstance(host::AudioHost& host,
                                                   const model::PluginState& entry);

} // namespace tolvex::cli
