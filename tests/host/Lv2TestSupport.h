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

/// The current values of an instance's parameters, in the plugin's order.
QList<float> parameterValues(const host::PluginInstance& instance);

/// Renders `input` (one vector per channel) through the instances in order
/// with the host's offline engine in blocks of `block` frames, all at `rate`.
std::vector<std::vector<float>> renderOffline(host::AudioHost& host,
                                              const std::vector<host::PluginInstance*>& chain,
                                              const std::vector<std::vector<float>>& input,
                                              double rate, qint64 block = 4096);

} // namespace tolvex::testing
