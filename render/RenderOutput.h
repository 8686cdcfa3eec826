#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioFile.h"
#include "host/AudioHost.h"
#include "host/ScratchAudio.h"
#include "render/EncoderThread.h"
#include "render/OutputStage.h"
#include "render/RenderJob.h"
#include "render/RenderResult.h"
#include "render/Renderer.h"

#include <memory>
#include <optional>
#include <stop_token>

namespace tolvex::render {

/// The output side of one render: where the chain's blocks go (the output
/// file, or scratch audio beside it for a loudness target or an album), the
/// passes that write the output from the scratch audio, and how the finished
/// output is put in place and measured. The blocks reach the writer through
/// the encoder thread (encoder()). Made and called by the rendering thread.
///
/// Released in reverse: the encoder thread ends before the writer it uses,
/// and the writer of an unfinished output removes its file.
class RenderOutput {
public:
    /// For `job`, whose source is `source`: the output at `rate` with
    /// `channels` channels, in blocks of up to `blockFrames`. Throws
    /// RenderError when there is no such format.
    RenderOutput(host::AudioHost& host, const RenderJob& job, const host::AudioFileReader& source,
                 double rate, int channels, qint64 blockFrames);
    ~RenderOutput();
    RenderOutput(const RenderOutput&) = delete;
    RenderOutput& operator=(const RenderOutput&) = delete;

    /// Opens the output file with `gain` (linear) applied on its way; from
    /// here on a failure leaves no file behind. Throws RenderError or the
    /// host's HostError.
    void open(double gain = 1);
    /// Opens scratch audio in the output's format instead, measured, kept
    /// as rendered: the job's album scratch file, or a fresh one.
    void openScratch();
    /// Where the blocks go; after open() or openScratch().
    EncoderThread& encoder() { return *m_encoder; }

    /// After the chain's pass into the scratch audio: the output written
    /// from it with the gain that meets the loudness target; how far the
    /// ceiling kept it below.
    std::optional<double> writeToTarget(const ProgressCallback& progress, std::stop_token stop);
    /// After the chain's pass into the album's scratch file: what it keeps
    /// for the album's gain, no output written.
    RenderResult keepForAlbum();
    /// An album's second pass: the output from its scratch file, whose
    /// audio has the output's channels, with the album's gain; how far the
    /// ceiling kept it below the target.
    std::optional<double> writeAlbumFile(const ProgressCallback& progress, std::stop_token stop);

    /// Completes the written output, places it and takes its figures;
    /// `reported` is the render's progress callback as given.
    RenderResult finish(std::optional<double> belowTarget, const ProgressCallback& reported,
                        const std::stop_token& stop);

    /// The share of the progress that writing the output takes: a format
    /// measured on its file after writing keeps the rest for that.
    static double writtenShare(model::ExportFormat format);

private:
    /// Drops the encoder thread, once finished, and its writer.
    void closeEncoder();
    /// The encoder thread that writes to m_writer through m_stage.
    void startEncoder();
    QUrl place();

    host::AudioHost& m_host;
    const RenderJob& m_job;
    const host::AudioFileReader& m_source;
    double m_rate;
    host::AudioFormat m_format; ///< the output's
    qint64 m_blockFrames;

    std::unique_ptr<host::ScratchAudio> m_scratch; // the chain's output, for a loudness target
    std::unique_ptr<OutputStage> m_stage;          // the encoder's last step before the writer
    std::unique_ptr<host::AudioFileWriter> m_writer;
    std::unique_ptr<EncoderThread> m_encoder; // writes what goes to the output
};

} // namespace tolvex::render
