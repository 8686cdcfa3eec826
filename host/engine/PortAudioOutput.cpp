#include "host/HostError.h"
#include "host/engine/Outputs.h"

#include <portaudio.h>

#include <memory>
#include <mutex>

namespace tolvex::host {

namespace {

/// PortAudio is initialised once for the process and never terminated:
/// terminating while another output is open would close that one too.
bool portAudioReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = Pa_Initialize() == paNoError; });
    return ready;
}

QString deviceError(PaError error)
{
    return QStringLiteral("Die Audioausgabe lässt sich nicht öffnen (") +
           QString::fromUtf8(Pa_GetErrorText(error)) + QStringLiteral(").");
}

/// Closing a stream that still runs stops it first.
struct StreamClose {
    void operator()(PaStream* stream) const { Pa_CloseStream(stream); }
};
using StreamPtr = std::unique_ptr<PaStream, StreamClose>;

class PortAudioOutput : public AudioOutput {
public:
    ~PortAudioOutput() override { close(); }

    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        close();
        if (!portAudioReady())
            throw HostError(QStringLiteral("Die Audioausgabe lässt sich nicht starten."));
        const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
        const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
        if (!info)
            throw HostError(QStringLiteral("Es gibt kein Ausgabegerät."));
        m_renderer = &renderer;
        m_channels = channels;
        PaStreamParameters output{};
        output.device = device;
        output.channelCount = channels;
        output.sampleFormat = paFloat32 | paNonInterleaved;
        output.suggestedLatency = info->defaultLowOutputLatency;
        // The file's own rate if the device takes it, else the device's.
        for (double rate : {sampleRate, info->defaultSampleRate}) {
            PaStream* stream = nullptr;
            const PaError error =
                Pa_OpenStream(&stream, nullptr, &output, rate, paFramesPerBufferUnspecified,
                              paClipOff, &PortAudioOutput::callback, this);
            if (error == paNoError) {
                m_stream.reset(stream);
                return rate;
            }
            if (rate == info->defaultSampleRate)
                throw HostError(deviceError(error));
        }
        throw HostError(QStringLiteral("Die Audioausgabe lässt sich nicht öffnen."));
    }

    void start() override
    {
        if (!m_stream)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        if (Pa_IsStreamActive(m_stream.get()) == 1)
            return;
        if (const PaError error = Pa_StartStream(m_stream.get()); error != paNoError)
            throw HostError(deviceError(error));
    }

    void stop() override
    {
        if (m_stream && Pa_IsStreamStopped(m_stream.get()) == 0)
            Pa_StopStream(m_stream.get());
    }

    void close() override
    {
        stop();
        m_stream.reset();
    }

private:
    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags flags, void* user)
    {
        auto* self = static_cast<PortAudioOutput*>(user);
        if (flags & paOutputUnderflow)
            self->m_renderer->underrun();
        self->m_renderer->renderOutput(static_cast<float* const*>(output), self->m_channels,
                                       qint64(frames));
        return paContinue;
    }

    StreamPtr m_stream;
    Renderer* m_renderer = nullptr;
    int m_channels = 2;
};

/// Tries the device on open and falls back to the null output.
class DeviceOutput : public AudioOutput {
public:
    double open(double sampleRate, int channels, Renderer& renderer) override
    {
        m_active = makePortAudioOutput();
        try {
            return m_active->open(sampleRate, channels, renderer);
        } catch (const HostError&) {
            m_active = makeNullOutput();
            return m_active->open(sampleRate, channels, renderer);
        }
    }
    void start() override { m_active->start(); }
    void stop() override
    {
        if (m_active)
            m_active->stop();
    }
    void close() override
    {
        if (m_active)
            m_active->close();
    }

private:
    std::unique_ptr<AudioOutput> m_active;
};

} // namespace

std::unique_ptr<AudioOutput> makePortAudioOutput()
{
    return std::make_unique<PortAudioOutput>();
}

std::unique_ptr<AudioOutput> makeDeviceOutput()
{
    return std::make_unique<DeviceOutput>();
}

} // namespace tolvex::host
