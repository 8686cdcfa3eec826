#pragma once

#include "host/AudioFile.h"
#include "host/AudioTags.h"
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

/// Opens a file's container only to read its tags (texts and cover); none
/// when FFmpeg cannot open it.
AudioTags readContainerTags(const QString& path);

/// Creates a new M4A file (AAC-LC in MP4), never over an existing one. The
/// encoder delay and the exact length are signalled in the edit list, so
/// decoders give back exactly the frames written. Removed again unless
/// finish() succeeds. The tags go into its MP4 metadata, the cover as its
/// picture. Throws HostError.
std::unique_ptr<AudioFileWriter>
createAacWriter(const QString& path, const model::WriterSettings& settings, const AudioTags& tags);

} // namespace tolvex::host
