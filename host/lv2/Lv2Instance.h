#pragma once

#include "host/PluginInstance.h"
#include "host/ProcessingNode.h"
#include "host/lv2/Lv2Worker.h"
#include "host/lv2/Lv2World.h"

#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace tolvex::host {

/// One LV2 plugin as a PluginInstance. A plugin with exactly one main audio
/// input and output takes any channel count by running one copy per channel,
/// all with the same parameters and state. Changing the sample rate makes
/// the copies anew at that rate, their state carried over.
class Lv2Instance : public PluginInstance, public ProcessingNode {
public:
    /// Makes the instance at a default rate. Throws HostError.
    Lv2Instance(Lv2World& world, const LilvPlugin* plugin);
    ~Lv2Instance() override;

    // PluginInstance
    std::optional<PropertyDictionary> fullState() const override;
    void setFullState(const PropertyDictionary& state) override;
    void setBypass(bool bypass) override { m_bypass = bypass; }
    bool bypass() const override { return m_bypass; }
    int inputBusCount() const override { return m_mainInputs.empty() ? 0 : 1; }
    int outputBusCount() const override { return m_mainOutputs.empty() ? 0 : 1; }
    bool setInputFormat(int bus, const AudioFormat& format) override;
    bool setOutputFormat(int bus, const AudioFormat& format) override;
    double latency() const override;
    double tailTime() const override { return m_tail; }
    QList<PluginParameter> parameters() const override;
    bool setParameter(const QString& symbol, float value) override;
    void requestEditorView(EditorCompletion completion) override;

    // ProcessingNode
    void prepare(const AudioFormat& input, const AudioFormat& output, qint64 maxFrames,
                 bool realtime) override;
    void process(const AudioBuffer& input, AudioBuffer& output, qint64 frames) noexcept override;

private:
    enum class PortKind { audioIn, audioOut, controlIn, controlOut, atomIn, atomOut, cv, other };
    struct Port {
        PortKind kind = PortKind::other;
        bool sideChain = false;
        QString symbol;
        float minimum = 0, maximum = 1, defaultValue = 0;
    };
    struct Copy;

    void describePorts();
    /// Makes `copies` copies at `rate`, carrying the state of the present ones.
    void configure(double rate, int copies);
    std::unique_ptr<Copy> makeCopy(double rate);
    void connectFixedPorts(Copy& copy);
    struct StateFree {
        void operator()(LilvState* state) const { lilv_state_free(state); }
    };
    using StatePtr = std::unique_ptr<LilvState, StateFree>;
    /// The plugin state of a copy, its ports as the targets hold them.
    StatePtr snapshot(const Copy& copy) const;
    /// Gives a copy a plugin state (not the ports: the copies share them).
    void restore(const LilvState& state, Copy& copy);
    /// configure() for a bus format; false when the plugin cannot be made so.
    bool tryConfigure(const AudioFormat& format);
    void runCopy(Copy& copy, qint64 frames) noexcept;
    QString pluginName() const;

    static const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type);
    static void setPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                             uint32_t type);
    static char* makePath(LV2_State_Make_Path_Handle handle, const char* path);
    static int logPrintf(LV2_Log_Handle, LV2_URID, const char*, ...) { return 0; }
    static int logVprintf(LV2_Log_Handle, LV2_URID, const char*, va_list) { return 0; }
    int portIndex(const char* symbol) const;

    Lv2World& m_world;
    const LilvPlugin* m_plugin;
    std::vector<Port> m_ports;
    std::vector<uint32_t> m_mainInputs, m_mainOutputs;
    std::vector<uint32_t> m_controlInputPorts; ///< walked before every block
    std::vector<uint32_t> m_atomPorts;         ///< reset before every block
    bool m_dualMono = false;
    int m_enabledPort = -1;
    int m_latencyPort = -1;
    double m_tail = 0;
    size_t m_atomCapacity = 8192;
    LV2_URID m_atomSequence = 0;
    LV2_URID m_atomChunk = 0;

    double m_rate = 0;
    qint64 m_maxFrames = 4096;
    std::vector<std::unique_ptr<Copy>> m_copies;
    std::optional<AudioFormat> m_inputFormat, m_outputFormat;

    /// What the host wants on each control input, set from any thread; the
    /// run thread copies it into the port buffer before each block.
    std::unique_ptr<std::atomic<float>[]> m_controlTargets;
    std::vector<float> m_controlInputs; ///< port buffers, shared by all copies
    std::vector<float> m_silence;       ///< for side-chain and CV inputs
    std::atomic<bool> m_bypass{false};

    // Features, valid for the instance's life.
    float m_optionRate = 0;
    int32_t m_optionMinBlock = 1, m_optionMaxBlock = 4096, m_optionNominalBlock = 4096,
            m_optionSequenceSize = 8192;
    std::vector<LV2_Options_Option> m_options;
    LV2_State_Make_Path m_makePath{this, &Lv2Instance::makePath};
    LV2_Log_Log m_log{this, &Lv2Instance::logPrintf, &Lv2Instance::logVprintf};
    QString m_stateFolder;
};

} // namespace tolvex::host
