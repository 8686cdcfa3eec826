#pragma once

#include <QByteArray>

namespace tolvex::host {

// The hidden files outputs are written under until they are complete:
// ".tolvex-<machine>-<pid>-<16 hex digits>.part" in the output's folder,
// locked with flock by their writer while it lives.

/// Whether `name` (not followed when a link) in the folder, an open
/// descriptor of it or AT_FDCWD, is the open file `fd`.
bool nameIsFile(int folder, const char* name, int fd);

/// A fresh part-file name for this process.
QByteArray newPartName();

/// Removes from the folder (an open descriptor of it) the part files of this
/// machine whose writer is gone: no one holds the file's lock and the
/// process its name names has ended. Another machine's are left alone: a
/// folder shared over the network may have no locks that reach across. Both must hold, as two
/// processes may write into one folder at once: the lock covers processes of other PID namespaces,
/// the process check file systems without locks. Only regular files of this user whose names follow
/// the pattern exactly are touched. Failures are passed over: leftovers are only tidied away.
void removeLeftoverParts(int folder);

} // namespace tolvex::host
