#include "render/OutputStage.h"

#include "render/ProgressSteps.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace tolvex::render {

OutputStage::OutputStage(model::ExportFormat format, std::unique_ptr<host::LoudnessMeter> meter,
                         std::optional<TpdfDither> dither, float gain)
    : m_clips(format != model::ExportFormat::wav32f && format != model::ExportFormat::m4a),
      m_meter(std::move(meter)), m_dither(std::move(dither)), m_gain(gain)
{}

void OutputStage::process(host::AudioBuffer& block)
{
    const float limit = m_clips ? 1.0f : INFINITY;
    for (int c = 0; c < block.channelCount(); ++c) {
        float* samples = block.channel(c);
        for (qint64 i = 0; i < block.frameLength(); ++i) {
            const float sample = samples[i] * m_gain;
            samples[i] = std::isfinite(sample) ? std::clamp(sample, -limit, limit) : 0.0f;
        }
    }
    if (m_dither)
        m_dither->process(block);
    if (m_meter)
        m_meter->add(block);
}

std::optional<model::Loudness> OutputStage::loudness() const
{
    return m_meter ? std::optional(m_meter->result()) : std::nullopt;
}

model::AlbumShare OutputStage::albumShare() const
{
    if (!m_meter)
        return {};
    return {m_meter->gatingBlocks(), m_meter->result().truePeak};
}

std::unique_ptr<OutputStage> OutputStage::forJob(host::AudioHost& host, const RenderJob& job,
                                                 const host::AudioFormat& format, double gain)
{
    std::optional<TpdfDither> dither;
    if (job.format == model::ExportFormat::wav16 && (!job.plugins.isEmpty() || gain != 1))
        dither.emplace(TpdfDither::seedFor(QFileInfo(job.source.toLocalFile()).fileName()),
                       format.channelCount());
    return std::make_unique<OutputStage>(
        job.format,
        measuredAfterWriting(job.format)
            ? nullptr
            : host.makeLoudnessMeter(format, host::MeasuredFor::itself),
        std::move(dither), float(gain));
}

bool OutputStage::measuredAfterWriting(model::ExportFormat format)
{
    return format == model::ExportFormat::m4a;
}

std::optional<model::Loudness> OutputStage::measureFile(host::AudioHost& host, const QString& path,
                                                        const std::function<void(double)>& progress,
                                                        std::stop_token stop)
{
    constexpr qint64 blockFrames = 8192;
    try {
        const auto file = host.openForReading(path);
        const auto meter =
            host.makeLoudnessMeter(file->processingFormat(), host::MeasuredFor::itself);
        auto block = host::AudioBuffer::make(file->processingFormat(), blockFrames);
        if (!block)
            return std::nullopt;
        ProgressSteps steps(progress, 0, 1, file->length());
        for (;;) {
            if (stop.stop_requested())
                return std::nullopt;
            file->read(*block, blockFrames);
            if (block->frameLength() == 0)
                return meter->result();
            meter->add(*block);
            steps.reach(file->framePosition());
        }
    } catch (const host::HostError&) {
        return std::nullopt;
    }
}

} // namespace tolvex::render
