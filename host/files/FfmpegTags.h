#pragma once

#include "host/AudioTags.h"
#include "host/files/FfmpegHandles.h"

#include <QString>

namespace tolvex::host {

/// The tags of an opened container: its own metadata, where missing the
/// audio stream's (Ogg keeps its comments there), and the first attached
/// JPEG or PNG picture as the cover.
AudioTags containerTags(const AVFormatContext& container, int audioStream);

/// Puts the tags into an output before its header is written: the texts as
/// metadata under the usual names, the cover as an attached picture stream
/// after the streams already there. Returns that stream's index, or -1
/// without a cover (or with a picture that is neither JPEG nor PNG); the
/// caller hands the picture over with writeCover() after the header.
int addContainerTags(AVFormatContext& output, const AudioTags& tags);

/// Writes the cover's one packet into its stream, after the header. A
/// picture the muxer refuses is left out: it is no reason to fail the file.
void writeCover(AVFormatContext& output, int stream, const QByteArray& cover);

} // namespace tolvex::host
