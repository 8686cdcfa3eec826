#include "render/ChainBuffers.h"

#include "render/RenderError.h"

#include <algorithm>
#include <cmath>

namespace tolvex::render {

host::AudioBuffer makeRenderBuffer(const host::AudioFormat& format, qint64 frames)
{
    auto buffer = host::AudioBuffer::make(format, frames);
    if (!buffer)
        throw RenderError(QStringLiteral("Kein Speicher für den Export."));
    return std::move(*buffer);
}

bool applyChainFormat(const host::AudioFormat& format,
                      const std::vector<host::PluginInstance*>& instances)
{
    for (host::PluginInstance* instance : instances) {
        if (instance->inputBusCount() > 0 && !instance->setInputFormat(0, format))
            return false;
        if (instance->outputBusCount() > 0 && !instance->setOutputFormat(0, format))
            return false;
    }
    return true;
}

void fillChainBuffer(host::AudioBuffer& target, qint64 frames, host::AudioFileReader& file,
                     host::AudioBuffer& readBuffer)
{
    target.setFrameLength(frames);
    qint64 delivered = 0;
    if (file.framePosition() < file.length()) {
        file.read(readBuffer, std::min(readBuffer.frameCapacity(), frames));
        delivered = std::min(readBuffer.frameLength(), frames);
    }
    const int readChannels = readBuffer.channelCount();
    for (int c = 0; c < target.channelCount(); ++c) {
        float* out = target.channel(c);
        std::copy_n(readBuffer.channel(std::min(c, readChannels - 1)), delivered, out);
        std::fill(out + delivered, out + frames, 0.0f);
    }
}

void throwOnFailure(host::RenderStatus status)
{
    if (status != host::RenderStatus::success && status != host::RenderStatus::insufficientInput)
        throw RenderError(QStringLiteral("Ein Plugin hat beim Rechnen abgebrochen."));
}

float peakLevel(const host::AudioBuffer& buffer)
{
    float peak = 0;
    for (int c = 0; c < buffer.channelCount(); ++c) {
        const float* samples = buffer.channel(c);
        for (qint64 i = 0; i < buffer.frameLength(); ++i)
            peak = std::max(peak, std::abs(samples[i]));
    }
    return peak;
}

void copyForOutput(const host::AudioBuffer& render, qint64 skip, host::AudioBuffer& write)
{
    const qint64 length = render.frameLength() - skip;
    write.setFrameLength(length);
    if (render.channelCount() == write.channelCount()) {
        for (int c = 0; c < write.channelCount(); ++c)
            std::copy_n(render.channel(c) + skip, length, write.channel(c));
        return;
    }
    const float scale = 1.0f / float(render.channelCount());
    float* mean = write.channel(0);
    std::fill_n(mean, length, 0.0f);
    for (int c = 0; c < render.channelCount(); ++c) {
        const float* in = render.channel(c) + skip;
        for (qint64 i = 0; i < length; ++i)
            mean[i] += in[i];
    }
    for (qint64 i = 0; i < length; ++i)
        mean[i] *= scale;
    for (int c = 1; c < write.channelCount(); ++c)
        std::copy_n(mean, length, write.channel(c));
}

} // namespace tolvex::render
