#pragma once

#include "host/lv2/Lv2AudioHost.h"

#include <cstdio>
#include <cstdlib>
#include <future>

namespace tolvex::bench {

/// Instantiates the installed plugin with this URI and waits for it; ends
/// the program when it cannot.
inline std::unique_ptr<host::PluginInstance> instantiate(host::Lv2AudioHost& host, const char* uri)
{
    const auto info = host.find(QString::fromUtf8(uri));
    if (!info) {
        std::fprintf(stderr, "not installed: %s\n", uri);
        std::exit(1);
    }
    std::promise<host::Instantiation> promise;
    host.instantiate(info->codes,
                     [&](host::Instantiation result) { promise.set_value(std::move(result)); });
    auto result = promise.get_future().get();
    if (auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&result))
        return std::move(*instance);
    std::fprintf(stderr, "cannot load %s\n", uri);
    std::exit(1);
}

} // namespace tolvex::bench
