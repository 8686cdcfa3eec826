#pragma once

#include "host/ScratchAudio.h"
#include "host/ScratchLease.h"

#include <QString>

#include <memory>

namespace tolvex::host {

/// Scratch audio in `format` in the folder of `output` (a part file, see
/// OutputFile): raw interleaved samples, never given a name. Errors name
/// `output`. Throws HostError.
std::unique_ptr<ScratchAudio> createScratchFile(const QString& output, const AudioFormat& format);

/// An empty part file of this process beside `output`, removed with the
/// lease (see ScratchLease). Holds no descriptor open. Throws HostError
/// naming `output`.
std::unique_ptr<ScratchLease> leaseScratchFile(const QString& output);

/// Scratch audio in the leased file at `scratch` (see
/// AudioHost::openScratchAudio): raw interleaved samples as
/// createScratchFile writes them. Errors name `output`. Throws HostError.
std::unique_ptr<ScratchAudio> openScratchFile(const QString& scratch, const QString& output,
                                              const AudioFormat& format);

} // namespace tolvex::host
