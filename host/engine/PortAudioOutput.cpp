#include "host/HostError.h"
#include "host/engine/Outputs.h"

#include <portaudio.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace tolvex::host {

namespace {

constexpr double suggestedLatency = 0.04; ///< seconds

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
        // The device's low latency is too short for a busy machine (a few
        // milliseconds on ALSA): ask for a buffer like the sound server's.
        output.suggestedLatency = std::max(info->defaultLowOutputLatency, suggestedLatency);
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

    double latency() const override
    {
        const PaStreamInfo* info = m_stream ? Pa_GetStreamInfo(m_stream.get()) : nullptr;
        return info ? info->outputLatency : 0;
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

} // namespace

std::unique_ptr<AudioOutput> makePortAudioOutput()
{
    return std::make_unique<PortAudioOutput>();
}

} // namespace tolvex::host
