#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tolvex::session {

/// What importing one location finds: the files to read, and apart from
/// them the audio files whose paths are not valid UTF-8, which cannot be
/// opened by name and are reported instead (see FileNames.h).
struct FolderContents {
    QList<QUrl> files;
    /// Paths as decodeFileName gives them, their stray bytes kept.
    QStringList undecodable;

    /// A folder's audio files (by extension), deep, hidden entries and
    /// everything below a hidden folder skipped, each list in natural order
    /// of the paths; links to files count, links to folders are not
    /// followed. Any other location is itself the one file (or the one
    /// undecodable path). `path` is absolute, as decodeFileName gives it.
    static FolderContents of(const QString& path);
};

} // namespace tolvex::session
