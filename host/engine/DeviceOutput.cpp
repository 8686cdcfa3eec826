#include "host/HostError.h"
#include "host/engine/Outputs.h"

namespace tolvex::host {

namespace {

/// Opens the first output that will: PipeWire natively, the sound server
/// through the PulseAudio protocol, the default device, and last the null
/// output, so that a preview runs on any machine. The servers' outputs are
/// kept once made; the others are made anew on each open.
///
/// Where PipeWire runs, its PulseAudio service is not spoken to unless
/// PipeWire has no sink (a desktop whose sound PulseAudio itself serves,
/// with PipeWire beside it for screen sharing). Where it does not, the
/// PulseAudio output is made at once: it connects in the background, and
/// its stream gets over a sleeping sink's wake-up before the first preview.
class DeviceOutput : public AudioOutput {
public:
    DeviceOutput()
    {
        if (!m_pipeWire)
            m_pulse = makePulseOutput();
    }

    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        close();
        if (m_pipeWire) {
            try {
                m_active = m_pipeWire.get();
                return m_active->open(sampleRate, channels, renderer);
            } catch (const HostError&) {
            }
        }
        try {
            if (!m_pulse)
                m_pulse = makePulseOutput();
            m_active = m_pulse.get();
            return m_active->open(sampleRate, channels, renderer);
        } catch (const HostError&) {
        }
        try {
            m_fallback = makePortAudioOutput();
            m_active = m_fallback.get();
            return m_active->open(sampleRate, channels, renderer);
        } catch (const HostError&) {
        }
        m_fallback = makeNullOutput();
        m_active = m_fallback.get();
        return m_active->open(sampleRate, channels, renderer);
    }

    void start() override
    {
        if (!m_active)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        m_active->start();
    }

    void stop() override
    {
        if (m_active)
            m_active->stop();
    }

    void close() override
    {
        if (m_active)
            m_active->close();
        m_active = nullptr;
        m_fallback.reset();
    }

    double latency() const override { return m_active ? m_active->latency() : 0; }
    bool audible() const override { return !m_active || m_active->audible(); }

private:
    std::unique_ptr<AudioOutput> m_pipeWire = makePipeWireOutput();
    std::unique_ptr<AudioOutput> m_pulse;
    std::unique_ptr<AudioOutput> m_fallback;
    AudioOutput* m_active = nullptr;
};

} // namespace

std::unique_ptr<AudioOutput> makeDeviceOutput()
{
    return std::make_unique<DeviceOutput>();
}

} // namespace tolvex::host
