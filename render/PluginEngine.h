#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioHost.h"
#include "host/PluginInstance.h"

#include <memory>

namespace tolvex::render {

/// One plugin in a started offline engine of its own, fed from whatever
/// buffer the caller renders: the unit a chain runs in when its plugins are
/// measured one by one or run on several threads. Made, run and dropped on
/// one thread, which is then the only one the engine calls the plugin on.
class PluginEngine {
public:
    /// Attaches and connects `instance` at `position` in the chain (the
    /// position RenderActivity reports for it), in `format` for blocks of up
    /// to `maxFrames`, and starts the engine, which prepares the plugin.
    /// Throws HostError or RenderError.
    PluginEngine(host::AudioHost& host, host::PluginInstance& instance, int position,
                 const host::AudioFormat& format, qint64 maxFrames);
    /// Stops the engine.
    ~PluginEngine();
    PluginEngine(const PluginEngine&) = delete;
    PluginEngine& operator=(const PluginEngine&) = delete;

    /// Runs the input's frames through the plugin into `output`.
    host::RenderStatus render(const host::AudioBuffer& input, host::AudioBuffer& output);

private:
    std::unique_ptr<host::OfflineEngine> m_engine;
    const host::AudioBuffer* m_feed = nullptr;
};

} // namespace tolvex::render
