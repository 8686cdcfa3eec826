#pragma once

#include "host/PluginParameter.h"
#include "host/lv2/Lv2World.h"

#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace tolvex::host {

/// The ports of one LV2 plugin as the host sees them, and the value the host
/// wants on each control input (its target). Targets are set and read from
/// any thread; the run thread copies them into the port buffers before each
/// block.
class Lv2Ports {
public:
    enum class Kind {
        audioIn,
        audioOut,
        controlIn,
        controlOut,
        atomIn,
        atomOut,
        cvIn,
        cvOut,
        other
    };
    struct Port {
        Kind kind = Kind::other;
        bool sideChain = false;
        QString symbol;
        float minimum = 0, maximum = 1, defaultValue = 0;
    };

    /// Reads the plugin's ports; locks the world.
    Lv2Ports(Lv2World& world, const LilvPlugin* plugin);

    size_t size() const { return m_ports.size(); }
    const Port& operator[](size_t index) const { return m_ports[index]; }
    /// The port with this symbol, or -1.
    int indexOf(const char* symbol) const;

    /// Audio ports that are not side chains, in index order.
    const std::vector<uint32_t>& mainInputs() const { return m_mainInputs; }
    const std::vector<uint32_t>& mainOutputs() const { return m_mainOutputs; }
    const std::vector<uint32_t>& controlInputs() const { return m_controlInputs; }
    const std::vector<uint32_t>& controlOutputs() const { return m_controlOutputs; }
    const std::vector<uint32_t>& atomPorts() const { return m_atomPorts; }
    int enabledPort() const { return m_enabledPort; }
    int latencyPort() const { return m_latencyPort; }
    /// Bytes for each atom port's buffer: the largest size a port asks for.
    size_t atomCapacity() const { return m_atomCapacity; }

    float target(uint32_t index) const { return m_targets[index].load(std::memory_order_relaxed); }
    /// Sets a control input's target, limited to its range. False for an
    /// unknown symbol, a port that is no control input, or NaN.
    bool setTarget(int index, float value);
    /// Counts every change of a target: equal counts, equal targets.
    quint64 changes() const { return m_changes.load(std::memory_order_acquire); }
    /// Writes the targets into `buffer` (one float per port), the enabled
    /// port as `enabled`. Run thread.
    void fill(float* buffer, bool enabled) const noexcept;

    /// The last value the plugin wrote to a control output; 0 before it ran.
    float reported(uint32_t index) const
    {
        return m_reported[index].load(std::memory_order_relaxed);
    }
    /// Run thread, after run(): keeps the control outputs a copy wrote
    /// (`values`, one float per port). With several copies, the largest
    /// value of any copy is kept (the louder channel's meter).
    void report(const float* values, bool first) noexcept;

    /// The control inputs a user sets (not the enabled port), with their
    /// targets. Locks the world.
    QList<PluginParameter> parameters() const;
    /// The control outputs, with the values last reported. Locks the world.
    QList<PluginParameter> outputs() const;
    /// The target of a control input or the reported value of a control
    /// output; NaN for another port. Lock-free.
    float value(int index) const;

private:
    void describe(uint32_t index, float minimum, float maximum, float defaultValue);
    void addLabels(PluginParameter& parameter, const LilvPort* port) const;
    PluginParameter describeForView(uint32_t index) const;

    Lv2World& m_world;
    const LilvPlugin* m_plugin;
    std::vector<Port> m_ports;
    std::vector<uint32_t> m_mainInputs, m_mainOutputs;
    std::vector<uint32_t> m_controlInputs;  ///< walked before every block
    std::vector<uint32_t> m_controlOutputs; ///< walked after every block
    std::vector<uint32_t> m_atomPorts;      ///< reset before every block
    int m_enabledPort = -1;
    int m_latencyPort = -1;
    size_t m_atomCapacity = 8192;
    std::unique_ptr<std::atomic<float>[]> m_targets;
    std::unique_ptr<std::atomic<float>[]> m_reported; ///< written by the run thread only
    std::atomic<quint64> m_changes{0};
};

} // namespace tolvex::host
