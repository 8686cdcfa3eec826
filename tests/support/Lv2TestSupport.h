#pragma once

#include "host/lv2/Lv2AudioHost.h"

#include <QString>

#include <memory>

namespace tolvex::testing {

/// The catalogue entry of the plugin with this URI; empty when not listed.
model::PluginInfo lv2Info(host::Lv2AudioHost& host, const char* uri);

/// Instantiates and waits; fails the test (and returns null) on an error,
/// unless `error` is given to receive it.
std::unique_ptr<host::PluginInstance>
instantiateNow(host::AudioHost& host, const model::PluginInfo& info, QString* error = nullptr);

} // namespace tolvex::testing
