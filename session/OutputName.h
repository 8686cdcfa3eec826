#pragma once

#include "model/ExportFormat.h"

#include <QSet>
#include <QString>
#include <QUrl>

namespace tolvex::session {

/// Where outputs go: read again as each file of an export starts.
struct OutputPlace {
    QString folderPath; ///< empty: next to each source
    QString suffix;     ///< appended to the source's base name
};

/// An output name picked for a file, and its place in the series of names
/// it was picked from (model::numberedName): 1 for "base.ext", n for
/// "base n.ext".
struct OutputName {
    QUrl url;
    int number = 1;
};

/// A free output location for the source: in the place's folder (or next to
/// the source), base name + suffix + extension, then " 2", " 3", … while
/// anything stands at the path or the path is in `taken` (names handed out
/// to files that are being written now).
OutputName freeOutputName(const QUrl& source, model::ExportFormat format, const OutputPlace& place,
                          const QSet<QString>& taken = {});

} // namespace tolvex::session
