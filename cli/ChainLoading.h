#pragma once

#include "cli/CliOptions.h"
#include "host/AudioHost.h"
#include "model/ExportSettings.h"
#include "model/PluginState.h"

#include <QList>

namespace tolvex::cli {

/// The plugins an export runs through, first effect first, bypassed entries
/// left out: those of the named preset, of the chain file, or of the chain
/// the window saved last (none when it never saved one). Each plugin is made
/// once here, so that a plugin that does not load stops the program before
/// any file is touched. Throws UsageError naming the preset, file or plugin.
QList<model::PluginState> loadChain(host::AudioHost& host, const model::ExportSettings& settings,
                                    const CliOptions& options);

} // namespace tolvex::cli
