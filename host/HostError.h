#pragma once

#include "model/UserError.h"

namespace tolvex::host {

/// A failure of the audio host, with a German description for the user that
/// names the file or plugin concerned. Shown unchanged where it surfaces.
class HostError : public model::UserError {
public:
    using UserError::UserError;
};

/// The name a finished output was to take is taken: something came to stand
/// there while the file was being written. The complete file waits for
/// another name (AudioFileWriter::placeAt).
class NameTaken : public HostError {
public:
    using HostError::HostError;
};

} // namespace tolvex::host
