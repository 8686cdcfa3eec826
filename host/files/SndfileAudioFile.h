#pragma once

#include "host/AudioFile.h"
#include "host/AudioTags.h"
#include "model/WriterSettings.h"

#include <QString>

#include <memory>

namespace tolvex::host {

/// Opens a file libsndfile knows (WAV, AIFF, FLAC, Ogg, …). Nothing when
/// libsndfile does not recognise it or it is MPEG, which FFmpeg decodes past
/// damage; throws HostError when it recognises the file but it cannot be used
/// (rate or channel count out of range). A read that fails on damage ends
/// the stream after the frames before it.
std::unique_ptr<AudioFileReader> openSndfileReader(const QString& path);

/// Creates a new PCM file ("wav" or "aif" container), never over an existing
/// one; removed again unless finish() succeeds. The tags go in as far as
/// the container holds them: RIFF INFO in WAV, text chunks in AIFF (title,
/// artist, comment); never a cover. Throws HostError.
std::unique_ptr<AudioFileWriter> createSndfileWriter(const QString& path, bool aiff,
                                                     const model::WriterSettings& settings,
                                                     const AudioTags& tags);

} // namespace tolvex::host
