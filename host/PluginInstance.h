#pragma once

#include "host/AudioFormat.h"
#include "host/AudioNode.h"
#include "host/EditorView.h"
#include "host/PluginParameter.h"
#include "host/PropertyList.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace tolvex::host {

/// One instantiated effect plugin. Owned by the slot or the render that made
/// it; attached to at most one engine at a time. Configuration calls
/// (state, formats) are made while no engine renders it; setBypass and
/// setParameter may be called while audio runs and take effect at the next
/// block.
class PluginInstance : public AudioNode {
public:
    /// The plugin's complete state as a dictionary, or nothing when it
    /// reports none.
    virtual std::optional<PropertyDictionary> fullState() const = 0;
    /// Adopts a stored full state. A state the plugin does not accept is not
    /// reported: the plugin keeps what it made of it.
    virtual void setFullState(const PropertyDictionary& state) = 0;

    /// While true the plugin passes its input through unchanged.
    virtual void setBypass(bool bypass) = 0;
    virtual bool bypass() const = 0;

    virtual int inputBusCount() const = 0;
    virtual int outputBusCount() const = 0;
    /// Sets the format of an input (output) bus. False when the plugin
    /// refuses it; the bus keeps its previous format then.
    virtual bool setInputFormat(int bus, const AudioFormat& format) = 0;
    virtual bool setOutputFormat(int bus, const AudioFormat& format) = 0;

    /// Processing delay in seconds.
    virtual double latency() const = 0;
    /// How long the output may ring on after the input falls silent, in seconds.
    virtual double tailTime() const = 0;

    /// The plugin's parameters with their current values, in the plugin's
    /// order.
    virtual QList<PluginParameter> parameters() const = 0;
    /// Sets a parameter by symbol, from any thread, while audio may run: it
    /// takes effect at the next block. False for an unknown symbol. The value
    /// is limited to the parameter's range.
    virtual bool setParameter(const QString& symbol, float value) = 0;
    /// The values the plugin reports (latency, meters), described like
    /// parameters and marked `output`; their value is the last one reported.
    virtual QList<PluginParameter> outputs() const { return {}; }
    /// The current value of a parameter or an output, by symbol; NaN for an
    /// unknown symbol. Any thread; implementations that can answer without
    /// locking do, for views that poll.
    virtual float value(const QString& symbol) const
    {
        for (const auto& list : {parameters(), outputs()})
            for (const PluginParameter& parameter : list)
                if (parameter.symbol == symbol)
                    return parameter.value;
        return std::numeric_limits<float>::quiet_NaN();
    }

    /// Asks for the plugin's own editor. The completion runs exactly once, on
    /// a thread other than the caller's, with the view or with nothing.
    using EditorCompletion = std::function<void(std::unique_ptr<EditorView>)>;
    virtual void requestEditorView(EditorCompletion completion) = 0;
};

} // namespace tolvex::host
