#pragma once

#include "host/AudioFile.h"
#include "model/WriterSettings.h"

#include <QString>

#include <memory>

namespace tolvex::host {

/// Turns FFmpeg's logging off, once per process.
void silenceFfmpeg();

/// Opens any audio file FFmpeg decodes (MP3, M4A/AAC and everything else
/// libsndfile does not know). Packets the decoder refuses are passed over.
/// Throws HostError naming the file, with the reason, when FFmpeg cannot use
/// it either.
std::unique_ptr<AudioFileReader> openFfmpegReader(const QString& path);

/// Creates a new M4A file (AAC-LC in MP4), never over an existing one. The
/// encoder delay and the exact length are signalled in the edit list, so
/// decoders give back exactly the frames written. Removed again unless
/// finish() succeeds. Throws HostError.
std::unique_ptr<AudioFileWriter> createAacWriter(const QString& path,
                                                 const model::WriterSettings& settings);

} // namespace tolvex::host
