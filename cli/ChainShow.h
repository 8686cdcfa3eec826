#pragma once

#include "cli/CliOptions.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportSettings.h"

namespace tolvex::cli {

/// `tolvex-cli chain show`: the chain the options name (see storedChain) on
/// standard output as indented JSON, an array with one object per plugin,
/// first effect first: name, vendor, uri (null when unknown), bypass and
/// controls, each control input's symbol with its value, in the plugin's
/// order. A plugin that does not load has "error", the host's German reason,
/// instead of controls. Returns 0, or 1 when a plugin did not load; throws
/// UsageError for a chain it cannot read.
int showChain(host::Lv2AudioHost& host, const model::ExportSettings& settings,
              const CliOptions& options);

} // namespace tolvex::cli
