#include "render/RenderOutput.h"

#include "model/NumberedName.h"
#include "render/RenderError.h"
#include "render/ScratchPass.h"

#include <cmath>
#include <vector>

namespace tolvex::render {

namespace {

/// Blocks that may wait for the encoder: enough to ride out its uneven pace
/// (an AAC frame, a disk flush), few enough to keep memory small.
constexpr int encoderQueueDepth = 6;
/// How many further names of its series a finished file tries when its own
/// was taken meanwhile.
constexpr int maxNamesTried = 1000;

host::AudioFormat supported(double rate, int channels)
{
    const auto format = host::AudioFormat::standard(rate, channels);
    if (!format)
        throw RenderError(QStringLiteral("Ausgabeformat wird nicht unterstützt."));
    return *format;
}

} // namespace

RenderOutput::RenderOutput(host::AudioHost& host, const RenderJob& job,
                           const host::AudioFileReader& source, double rate, int channels,
                           qint64 blockFrames)
    : m_host(host), m_job(job), m_source(source), m_rate(rate), m_format(supported(rate, channels)),
      m_blockFrames(blockFrames)
{}

RenderOutput::~RenderOutput()
{
    m_encoder.reset(); // before the writer it uses
    m_writer.reset();
}

double RenderOutput::writtenShare(model::ExportFormat format)
{
    return OutputStage::measuredAfterWriting(format) ? 1 - OutputStage::measuringShare : 1;
}

void RenderOutput::startEncoder()
{
    std::vector<host::AudioBuffer> blocks;
    for (int i = 0; i < encoderQueueDepth; ++i) {
        auto block = host::AudioBuffer::make(m_format, m_blockFrames);
        if (!block)
            throw RenderError(QStringLiteral("Ausgabeformat wird nicht unterstützt."));
        blocks.push_back(std::move(*block));
    }
    m_encoder = std::make_unique<EncoderThread>(
        *m_writer, std::move(blocks),
        [this](host::AudioBuffer& block) { m_stage->process(block); });
}

void RenderOutput::open(double gain)
{
    m_stage = OutputStage::forJob(m_host, m_job, m_format, gain);
    m_writer = m_host.openForWriting(
        m_job.target.toLocalFile(),
        model::writerSettings(m_job.format, m_format.channelCount(), m_rate), m_source.tags());
    startEncoder();
}

void RenderOutput::openScratch()
{
    // An album's first pass measures the file's share of the album's loudness.
    m_stage = std::make_unique<OutputStage>(
        model::ExportFormat::wav32f,
        m_host.makeLoudnessMeter(m_format, m_job.album ? host::MeasuredFor::withOthers
                                                       : host::MeasuredFor::itself));
    m_scratch = m_job.album ? m_host.openScratchAudio(m_job.album->scratch,
                                                      m_job.target.toLocalFile(), m_format)
                            : m_host.makeScratchAudio(m_job.target.toLocalFile(), m_format);
    m_writer = std::make_unique<ScratchWriter>(*m_scratch);
    startEncoder();
}

void RenderOutput::closeEncoder()
{
    m_encoder.reset();
    m_writer.reset();
}

std::optional<double> RenderOutput::writeToTarget(const ProgressCallback& progress,
                                                  std::stop_token stop)
{
    m_encoder->finish();
    const model::TargetGain gain =
        model::targetGain(m_stage->loudness().value_or(model::Loudness{}), *m_job.loudnessTarget);
    closeEncoder();
    open(std::pow(10.0, gain.gain / 20.0));
    const auto scratch = m_scratch->read();
    writeFromScratch(*scratch, *m_encoder, progress, stop);
    return gain.shortfall;
}

RenderResult RenderOutput::keepForAlbum()
{
    m_encoder->finish();
    closeEncoder();
    return {m_job.target, std::nullopt,
            RenderResult::Kept{m_stage->albumShare(), m_format.channelCount()}};
}

std::optional<double> RenderOutput::writeAlbumFile(const ProgressCallback& progress,
                                                   std::stop_token stop)
{
    const RenderJob::AlbumPass& album = *m_job.album;
    m_scratch = m_host.openScratchAudio(album.scratch, m_job.target.toLocalFile(),
                                        supported(m_rate, album.channels));
    open(std::pow(10.0, album.gain->gain / 20.0));
    const auto scratch = m_scratch->read();
    writeFromScratch(*scratch, *m_encoder, progress, stop);
    return album.gain->shortfall;
}

RenderResult RenderOutput::finish(std::optional<double> belowTarget,
                                  const ProgressCallback& reported, const std::stop_token& stop)
{
    const double written = writtenShare(m_job.format);
    m_encoder->finish();
    reported(written);
    const QUrl placed = place();
    RenderResult result{placed, m_stage->loudness()};
    if (OutputStage::measuredAfterWriting(m_job.format)) {
        result.loudness = OutputStage::measureFile(
            m_host, placed.toLocalFile(),
            [&](double fraction) { reported(written + (1 - written) * fraction); }, stop);
        reported(1.0);
    }
    if (result.loudness)
        result.loudness->belowTarget = belowTarget;
    return result;
}

/// Completes the output and puts it in place: under the target's name, or,
/// when another process took that while the file was being written and the
/// job allows it, under the next free name of the target's series. Never
/// renders again for a name.
QUrl RenderOutput::place()
{
    try {
        m_writer->finish();
        return m_job.target;
    } catch (const host::NameTaken&) {
        if (m_job.targetNumber < 1)
            throw;
    }
    const QString target = m_job.target.toLocalFile();
    const QString first = model::firstNumberedName(target, m_job.targetNumber);
    for (int n = m_job.targetNumber + 1;; ++n) {
        const QString path = model::numberedName(first, n);
        try {
            m_writer->placeAt(path);
            return QUrl::fromLocalFile(path);
        } catch (const host::NameTaken&) {
            if (n >= m_job.targetNumber + maxNamesTried)
                throw;
        }
    }
}

} // namespace tolvex::render
