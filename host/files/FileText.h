#pragma once

#include <QString>

namespace tolvex::host {

// German descriptions of audio-file failures, shared by the readers and
// writers. Every message names the file by its name in „ “.

/// „name“ for a path.
QString quotedFileName(const QString& path);

/// Why a file cannot be read at all: missing, unreadable, empty, or a folder.
/// Empty when none of these holds.
QString accessProblem(const QString& path);

/// "„name“ lässt sich nicht öffnen: " + reason.
QString cannotOpen(const QString& path, const QString& reason);
/// "„name“ ist beschädigt und lässt sich nicht weiterlesen."
QString cannotRead(const QString& path);
/// "„name“ lässt sich nicht anlegen: " + the reason for errno.
QString cannotCreate(const QString& path, int error);
/// "„name“ lässt sich nicht schreiben: " + the reason for errno (0: unknown).
QString cannotWrite(const QString& path, int error);

/// "„name“ lässt sich nicht speichern: " + the folder gone while it was
/// written (deleted, replaced or moved).
QString folderGone(const QString& path);

/// A short German sentence for an errno value.
QString systemErrorText(int error);

} // namespace tolvex::host
