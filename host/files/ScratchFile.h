#pragma once

#include "host/ScratchAudio.h"

#include <QString>

namespace tolvex::host {

/// Scratch audio in `format` in the folder of `output` (a part file, see
/// OutputFile): raw interleaved samples, never given a name. Errors name
/// `output`. Throws HostError.
std::unique_ptr<ScratchAudio> createScratchFile(const QString& output, const AudioFormat& format);

} // namespace tolvex::host
