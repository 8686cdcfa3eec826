#pragma once

#include "host/lv2/LilvHandles.h"
#include "host/lv2/Lv2Features.h"
#include "host/lv2/Lv2Ports.h"
#include "host/lv2/Lv2Worker.h"

#include <lv2/atom/atom.h>

#include <cstdint>
#include <vector>

namespace tolvex::host {

/// One lilv instance of a plugin with its features, its worker and the
/// buffers of the ports it does not share: control outputs, atom ports, and
/// the scratch output nobody listens to. Active from activate() until it
/// goes.
class Lv2Copy {
public:
    /// Instantiates the plugin at `rate` with its control inputs reading
    /// `controls` (one float per port), its audio and CV inputs `silence`
    /// (at least 4096 frames) and its audio and CV outputs the scratch buffer.
    /// Throws HostError naming the plugin.
    Lv2Copy(Lv2World& world, const LilvPlugin* plugin, const Lv2Ports& ports,
            const Lv2Features& features, double rate, float* controls, const float* silence);
    ~Lv2Copy();
    Lv2Copy(const Lv2Copy&) = delete;
    Lv2Copy& operator=(const Lv2Copy&) = delete;

    void activate();
    /// Deactivates and activates again: the plugin forgets the sound it has
    /// heard (delay lines, filter memories, tails), keeping its parameters.
    void restart();
    LilvInstance* instance() const { return m_instance.get(); }
    const LV2_Feature* const* features() const { return m_featureList.data(); }
    Lv2Worker& worker() { return m_worker; }
    float controlOutput(uint32_t port) const { return m_controlOutputs[port]; }
    /// One float per port; the control outputs' values at their indices.
    const float* controlOutputs() const { return m_controlOutputs.data(); }
    float* scratch() { return m_scratch.data(); }

    /// Run thread: connects an audio port to a buffer.
    void connect(uint32_t port, const float* data) noexcept;
    /// Run thread: readies the atom ports, hands the plugin its worker
    /// responses and runs one block.
    void run(uint32_t frames) noexcept
    {
        clearAtoms();
        runCleared(frames);
    }
    /// Run thread: empties the atom inputs and readies the outputs for the
    /// plugin to write.
    void clearAtoms() noexcept;
    /// Run thread, between clearAtoms() and runCleared(): adds an event at
    /// the block's start to an atom input. False when it does not fit.
    bool appendEvent(uint32_t port, const LV2_Atom& atom) noexcept;
    /// Run thread: run() without clearing the atom ports first.
    void runCleared(uint32_t frames) noexcept;
    LV2_URID atomSequenceType() const { return m_atomSequence; }
    /// What the plugin wrote to an atom output in the last block.
    const LV2_Atom_Sequence& atomOutput(uint32_t port) const
    {
        return *reinterpret_cast<const LV2_Atom_Sequence*>(m_atoms[port].data());
    }

private:
    void connectFixedPorts(float* controls, const float* silence);

    const Lv2Ports& m_ports;
    std::vector<LV2_Feature> m_features;
    std::vector<const LV2_Feature*> m_featureList; ///< null-terminated, into m_features
    std::vector<float> m_controlOutputs;
    std::vector<std::vector<uint64_t>> m_atoms; ///< 8-byte aligned atom buffers per port
    std::vector<float> m_scratch;
    LV2_URID m_atomSequence, m_atomChunk;
    LilvInstancePtr m_instance;
    Lv2Worker m_worker; ///< before the instance goes, its thread ends
    bool m_active = false;
};

} // namespace tolvex::host
