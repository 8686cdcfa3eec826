#pragma once

#include "host/lv2/Lv2AudioHost.h"

#include <QString>

#include <memory>
#include <vector>

namespace tolvex::testing {

/// The catalogue entry of the plugin with this URI; empty when not listed.
model::PluginInfo lv2Info(host::Lv2AudioHost& host, const char* uri);

/// Instantiates and waits; fails the test (and returns null) on an error,
/// unless `error` is given to receive it.
std::unique_ptr<host::PluginInstance>
instantiateNow(host::AudioHost& host, const model::PluginInfo& info, QString* error = nullptr);

using Channels = std::vector<std::vector<float>>;
/// Renders `input` through the instances in order with the host's offline
/// engine, in blocks of `block` frames, all at `rate`; fails the test on a
/// refused format or a failed block.
Channels render(host::AudioHost& host, const std::vector<host::PluginInstance*>& chain,
                const Channels& input, double rate, qint64 block = 4096);

} // namespace tolvex::testing
