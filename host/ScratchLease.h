#pragma once

#include <QString>

namespace tolvex::host {

/// A scratch file that outlives the renders writing and reading it: a
/// batch run that gives all its files one gain holds one per file between
/// the file's two passes, which may run in other processes (see
/// AudioHost::openScratchAudio). Made empty beside the output, under a
/// hidden part-file name of the holding process, so that no other Tolvex
/// sweeps it away while that process lives, and the next output made in
/// its folder does after a crash. Removed when this object goes, if the
/// name still stands for the file made. Used on one thread.
class ScratchLease {
public:
    virtual ~ScratchLease() = default;

    /// Where the file stands.
    virtual QString path() const = 0;
};

} // namespace tolvex::host
