#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioHost.h"
#include "host/LoudnessMeter.h"
#include "model/ExportFormat.h"
#include "model/LoudnessTarget.h"
#include "render/RenderJob.h"
#include "render/TpdfDither.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace tolvex::render {

/// The last step of a render before the writer, applied to each finished
/// block on the encoder thread: a loudness target's gain is applied, the
/// samples are brought to what the file will hold, and measured there.
///
/// With dither (WAV 16 whose signal the chain changed) the samples are
/// rounded to 16 bits here with TPDF dither, so that the writer's own
/// conversion keeps them exactly; the meter sees them as they are written.
/// Without it a 16-bit source through an empty chain reaches the writer
/// untouched and comes out with its very samples.
///
/// Integer PCM formats hold full scale at most: their samples are clipped to
/// ±1 here, as the writer would clip them, so that the meter sees the
/// clipped peaks. Non-finite samples become 0, as the writer writes them.
/// The quantisation to the format's bit depth itself is left to the writer:
/// at 16 bits and more it moves the loudness and true peak by far less than
/// the figures show (0.1 dB). M4A is measured on the decoded file after
/// writing instead (encoding raises peaks): its stage measures nothing.
class OutputStage {
public:
    /// `meter` in the blocks' format, or none for formats measured later;
    /// `dither` for WAV 16 when the signal is not the source's own; `gain`
    /// (linear) applied first.
    OutputStage(model::ExportFormat format, std::unique_ptr<host::LoudnessMeter> meter,
                std::optional<TpdfDither> dither = std::nullopt, float gain = 1);

    /// Brings the block's valid frames to what the file holds and measures
    /// them. Throws the meter's HostError.
    void process(host::AudioBuffer& block);
    /// The figures of every block processed; absent without a meter.
    std::optional<model::Loudness> loudness() const;
    /// What the blocks processed bring to an album's gain; empty without a
    /// meter.
    model::AlbumShare albumShare() const;

    /// The stage for a job's blocks in `format`, with `gain` (linear):
    /// dithered when the job writes WAV 16 through plugins or with a gain,
    /// seeded by the source's file name. Throws the host's HostError.
    static std::unique_ptr<OutputStage> forJob(host::AudioHost& host, const RenderJob& job,
                                               const host::AudioFormat& format, double gain = 1);
    /// Whether the format is measured on its decoded file after writing.
    static bool measuredAfterWriting(model::ExportFormat format);
    /// The share of a render's progress that measuring such a file takes.
    static constexpr double measuringShare = 0.1;
    /// The figures of the file at `path`, decoded through the host; absent
    /// when it cannot be read or measured, or when `stop` is requested
    /// before a block. Reports its progress, 0…1, as ProgressSteps does.
    static std::optional<model::Loudness> measureFile(host::AudioHost& host, const QString& path,
                                                      const std::function<void(double)>& progress,
                                                      std::stop_token stop = {});

private:
    bool m_clips;
    std::unique_ptr<host::LoudnessMeter> m_meter;
    std::optional<TpdfDither> m_dither;
    float m_gain;
};

} // namespace tolvex::render
