#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioHost.h"
#include "host/PluginInstance.h"
#include "render/PluginEngine.h"

#include <cfenv>
#include <memory>
#include <vector>

namespace tolvex::render {

/// Measures what each plugin of a chain costs, so that the chain can be
/// split into stages before any of its own instances runs. It runs measuring
/// instances: instances of the same plugins in the same state and format,
/// made for it and dropped after, whose output goes nowhere. All on the
/// thread that made it, which keeps its floating-point environment: what
/// the measuring plugins set there is undone when the measuring ends.
class ChainCalibration {
public:
    /// An engine per instance, in `format` for blocks of up to `maxFrames`;
    /// each reports its plugin's position in the chain, so that a plugin
    /// that crashes or hangs while measured is named as itself. Throws
    /// HostError or RenderError.
    ChainCalibration(host::AudioHost& host, const std::vector<host::PluginInstance*>& instances,
                     const host::AudioFormat& format, qint64 maxFrames);
    ChainCalibration(const ChainCalibration&) = delete;
    ChainCalibration& operator=(const ChainCalibration&) = delete;

    /// Runs the block through the whole chain, timing each plugin. Throws
    /// RenderError when a plugin fails, or HostError.
    void measure(const host::AudioBuffer& block);
    /// Per plugin, the median of its seconds per frame over the blocks
    /// measured; 0 where none were.
    std::vector<double> costs() const;

private:
    /// The thread's floating-point environment, put back when the measuring
    /// ends, the engines stopped (and when making them failed).
    struct KeptEnvironment {
        KeptEnvironment() { std::fegetenv(&environment); }
        ~KeptEnvironment() { std::fesetenv(&environment); }
        KeptEnvironment(const KeptEnvironment&) = delete;
        KeptEnvironment& operator=(const KeptEnvironment&) = delete;
        std::fenv_t environment{};
    };

    KeptEnvironment m_environment;            // first: released last
    std::vector<host::AudioBuffer> m_buffers; ///< two, used in turn
    std::vector<std::vector<double>> m_secondsPerFrame;
    std::vector<std::unique_ptr<PluginEngine>> m_engines;
};

} // namespace tolvex::render
