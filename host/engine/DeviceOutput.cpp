#include "host/HostError.h"
#include "host/engine/Outputs.h"

namespace tolvex::host {

namespace {

/// Opens the first output that will: the sound server, the default device,
/// and last the null output, so that a preview runs on any machine. The
/// server's output is made at once (it connects in the background) and kept;
/// the others are made anew on each open.
class DeviceOutput : public AudioOutput {
public:
    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        close();
        try {
            m_active = m_server.get();
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
    std::unique_ptr<AudioOutput> m_server = makePulseOutput();
    std::unique_ptr<AudioOutput> m_fallback;
    AudioOutput* m_active = nullptr;
};

} // namespace

std::unique_ptr<AudioOutput> makeDeviceOutput()
{
    return std::make_unique<DeviceOutput>();
}

} // namespace tolvex::host
