#pragma once

#include "model/Loudness.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>

namespace tolvex::cli {

/// One file of a command-line export as the reports see it.
struct ExportFile {
    enum class Phase { waiting, running, done, failed, cancelled };

    QString source;      ///< absolute path
    QString output;      ///< absolute path, once the file has started
    double duration = 0; ///< seconds of audio
    Phase phase = Phase::waiting;
    double progress = 0;                     ///< 0…1 while running
    QElapsedTimer clock;                     ///< started with the file
    QString message;                         ///< why it failed
    double seconds = 0;                      ///< wall time the render took
    std::optional<model::Loudness> loudness; ///< what the written file measures
};

/// A path as the user would type it from here: relative when it lies below
/// the current folder, else absolute.
QString displayPath(const QString& path);

} // namespace tolvex::cli
