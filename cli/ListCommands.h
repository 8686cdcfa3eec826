#pragma once

#include "host/lv2/Lv2AudioHost.h"

namespace tolvex::cli {

/// `tolvex-cli plugins`: the installed effect plugins by vendor, each with
/// its URI and name. Returns the exit status.
int listPlugins(host::Lv2AudioHost& host);

/// `tolvex-cli presets`: the saved chains' names, one per line.
int listPresets();

} // namespace tolvex::cli
