#pragma once

namespace tolvex::host {

/// How a plugin's main audio ports meet the chain's channels, whatever their
/// numbers; the offline and the real-time engine both run plugins through
/// it, so a plugin sounds the same in the export and in the preview.
///
/// - As many inputs and outputs as the chain has channels: port to channel.
/// - One input and one output: a copy of the plugin per channel.
/// - One input and more outputs (mono-to-stereo reverbs): the channels'
///   mean feeds the input.
/// - Otherwise the inputs take the channels in order (a one-channel chain
///   feeds every input) and inputs left over hear silence.
/// - The chain's channels come from the first outputs; a channel with no
///   output of its own repeats the last one. A one-channel chain takes the
///   mean of the first two outputs of a plugin that has two or more, as a
///   stereo chain written to a mono file does.
class ChannelShape {
public:
    /// What a plugin input hears.
    struct Feed {
        enum class Kind { channel, mean, silence };
        Kind kind = Kind::silence;
        int channel = 0; ///< for `channel`
    };

    /// For a plugin with `inputs` main inputs and `outputs` main outputs
    /// (both at least one) in a chain of `channels` channels.
    ChannelShape(int inputs, int outputs, int channels);

    /// Copies of the plugin that run side by side: one per channel for a
    /// plugin with one input and one output, else one.
    int copies() const { return m_perChannel ? m_channels : 1; }
    int channels() const { return m_channels; }
    /// Whether each port is connected straight to its channel, with nothing
    /// to mix or repeat: copy or port k to channel k.
    bool direct() const { return m_direct; }
    /// What plugin input `input` hears; for shapes that are not direct.
    Feed feed(int input) const;
    /// The output that chain channel `channel` takes, or meanOfTwo; for
    /// shapes that are not direct.
    int source(int channel) const;
    static constexpr int meanOfTwo = -1;

private:
    int m_inputs, m_outputs, m_channels;
    bool m_perChannel, m_direct;
};

} // namespace tolvex::host
