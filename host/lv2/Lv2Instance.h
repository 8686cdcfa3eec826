#pragma once

#include "host/PluginInstance.h"
#include "host/ProcessingNode.h"
#include "host/lv2/ChannelShape.h"
#include "host/lv2/Lv2Copy.h"
#include "host/lv2/Lv2Features.h"
#include "host/lv2/Lv2Ports.h"
#include "host/lv2/Lv2State.h"
#include "host/lv2/Lv2UiLink.h"
#include "host/lv2/Lv2World.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class QTemporaryDir;

namespace tolvex::host {

/// One LV2 plugin as a PluginInstance. A plugin with main audio inputs and
/// outputs takes any channel count, its ports meeting the channels as its
/// ChannelShape says; a plugin with one input and one output runs one copy
/// per channel, all with the same parameters and state. Changing the sample
/// rate makes the copies anew at that rate, their state carried over.
class Lv2Instance : public PluginInstance, public ProcessingNode {
public:
    /// Makes the instance at a default rate from a plugin of `world`, which
    /// it keeps alive. The plugin's make_path files go into a folder of the
    /// instance's own inside `stateRoot`, removed when the instance goes.
    /// Throws HostError naming the plugin.
    Lv2Instance(std::shared_ptr<Lv2World> world, const LilvPlugin* plugin,
                std::shared_ptr<const QTemporaryDir> stateRoot);
    ~Lv2Instance() override;

    // PluginInstance
    std::optional<PropertyDictionary> fullState() const override;
    void setFullState(const PropertyDictionary& state) override;
    void setBypass(bool bypass) override { m_bypass = bypass; }
    bool bypass() const override { return m_bypass; }
    int inputBusCount() const override { return m_ports.mainInputs().empty() ? 0 : 1; }
    int outputBusCount() const override { return m_ports.mainOutputs().empty() ? 0 : 1; }
    bool setInputFormat(int bus, const AudioFormat& format) override;
    bool setOutputFormat(int bus, const AudioFormat& format) override;
    /// Measured on a probe copy when first asked after a change of rate,
    /// state or parameters; safe while the instance processes elsewhere.
    double latency() const override;
    double tailTime() const override { return m_tail; }
    QList<PluginParameter> parameters() const override { return m_ports.parameters(); }
    bool setParameter(const QString& symbol, float value) override;
    QList<PluginParameter> outputs() const override { return m_ports.outputs(); }
    float value(const QString& symbol) const override;
    /// Hands out the plugin's own interface when it has one that can be
    /// shown and the application runs on an X11 display; nothing otherwise.
    void requestEditorView(EditorCompletion completion) override;

    // For the plugin's own interface (Lv2EditorView), on the GUI thread.
    Lv2World& world() const { return *m_world; }
    const LilvPlugin* plugin() const { return m_plugin; }
    Lv2Ports& ports() { return m_ports; }
    Lv2UiLink& uiLink() { return m_uiLink; }
    double sampleRate() const { return m_rate; }
    /// The first copy, for interfaces that reach into the plugin; it is made
    /// anew when the rate changes.
    LilvInstance* liveInstance() const
    {
        return m_copies.empty() ? nullptr : m_copies.front()->instance();
    }

    // ProcessingNode
    void prepare(const AudioFormat& input, const AudioFormat& output, qint64 maxFrames,
                 bool realtime) override;
    void process(const AudioBuffer& input, AudioBuffer& output, qint64 frames) noexcept override;

private:
    /// Makes `copies` copies at `rate`, carrying the state of the present ones.
    void configure(double rate, int copies);
    /// configure() for a bus format; false when the plugin cannot be made so.
    bool tryConfigure(const AudioFormat& format);
    /// At least one main audio input and one main output: what any chain needs.
    bool hasMainPorts() const;
    ChannelShape shapeFor(int channels) const;
    void connectMain(Lv2Copy& copy, size_t index, const AudioBuffer& input,
                     AudioBuffer& output) noexcept;
    /// Shapes that are not direct: the channels' mean for the inputs that
    /// hear it, before the copies run; the chain's channels from the
    /// plugin's outputs, after.
    void mixInputs(const AudioBuffer& input, qint64 frames) noexcept;
    void spreadOutputs(AudioBuffer& output, qint64 frames) noexcept;
    /// Passes the first copy's atom output events to the interface.
    void forwardNotifications() noexcept;
    double measureLatency() const;

    std::shared_ptr<Lv2World> m_world; ///< first: outlives all made from it
    std::shared_ptr<const QTemporaryDir> m_stateRoot;
    const LilvPlugin* m_plugin;
    QString m_name;
    QString m_stateFolder;
    Lv2Ports m_ports;
    Lv2Features m_features;
    Lv2State m_state;
    Lv2UiLink m_uiLink;
    double m_tail = 0;

    double m_rate = 0;
    std::vector<float> m_controls; ///< control input buffers, shared by the copies
    std::vector<float> m_silence;  ///< for side-chain and CV inputs
    std::vector<std::unique_ptr<Lv2Copy>> m_copies;
    std::optional<AudioFormat> m_inputFormat, m_outputFormat;
    std::optional<ChannelShape> m_shape;           ///< set by prepare()
    std::vector<float> m_mean;                     ///< the channels' mean, when an input hears it
    std::vector<std::vector<float>> m_portOutputs; ///< per main output, when not direct
    std::atomic<bool> m_bypass{false};
    std::atomic<bool> m_ran{false};         ///< has processed sound since it was last prepared
    std::atomic<quint64> m_reconfigured{0}; ///< counts changes of rate and state

    mutable std::mutex m_latencyMutex;
    mutable quint64 m_latencyKey = ~quint64(0); ///< changes counted at the last measurement
    mutable double m_latency = 0;
};

} // namespace tolvex::host
