#pragma once

#include "host/AudioFile.h"
#include "host/AudioTags.h"
#include "model/WriterSettings.h"

#include <QString>

#include <memory>

namespace tolvex::host {

/// Opens an audio file for reading: libsndfile first (WAV, AIFF, FLAC, Ogg
/// Vorbis and Opus), FFmpeg for everything else it decodes (MP3, M4A/AAC,
/// …). A damaged stream delivers what decodes: FFmpeg passes over what it
/// cannot decode, libsndfile ends the stream there. Throws HostError with a
/// German description naming the file, also for a rate below 1 kHz.
std::unique_ptr<AudioFileReader> openAudioFile(const QString& path);

/// Creates a new audio file for the writer settings, the container chosen by
/// the extension: "wav" RIFF WAVE, "aif"/"aiff" AIFF, "m4a" MP4 audio. Never
/// replaces an existing file. The tags go in as far as the container holds
/// them (a cover only in M4A). Throws HostError naming the file.
std::unique_ptr<AudioFileWriter> createAudioFile(const QString& path,
                                                 const model::WriterSettings& settings,
                                                 const AudioTags& tags = {});

} // namespace tolvex::host
