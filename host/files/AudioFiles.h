#pragma once

#include "host/AudioFile.h"
#include "model/WriterSettings.h"

#include <QString>

#include <memory>

namespace tolvex::host {

/// Opens an audio file for reading: libsndfile first (WAV, AIFF, FLAC, Ogg
/// Vorbis and Opus, MP3), FFmpeg for everything else it decodes (M4A/AAC, …).
/// Throws HostError with a German description naming the file.
std::unique_ptr<AudioFileReader> openAudioFile(const QString& path);

/// Creates a new audio file for the writer settings, the container chosen by
/// the extension: "wav" RIFF WAVE, "aif"/"aiff" AIFF, "m4a" MP4 audio. Never
/// replaces an existing file. Throws HostError naming the file.
std::unique_ptr<AudioFileWriter> createAudioFile(const QString& path,
                                                 const model::WriterSettings& settings);

} // namespace tolvex::host
