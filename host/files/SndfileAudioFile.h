#pragma once

#include "host/AudioFile.h"
#include "model/WriterSettings.h"

#include <QString>

#include <memory>

namespace tolvex::host {

/// Opens a file libsndfile knows (WAV, AIFF, FLAC, Ogg, MP3, …). Nothing when
/// libsndfile does not recognise it; throws HostError when it recognises the
/// file but it cannot be used (rate or channel count out of range).
std::unique_ptr<AudioFileReader> openSndfileReader(const QString& path);

/// Creates a new PCM file ("wav" or "aif" container), never over an existing
/// one. Throws HostError.
std::unique_ptr<AudioFileWriter> createSndfileWriter(const QString& path, bool aiff,
                                                     const model::WriterSettings& settings);

} // namespace tolvex::host
