#pragma once

#include "cli/ExportFile.h"

namespace tolvex::cli {

/// What the user sees of a command-line export while it runs: a live
/// terminal display, plain lines or JSON lines. Called on the main thread.
class ExportReport {
public:
    virtual ~ExportReport() = default;

    virtual void started(const ExportFile& file) { (void)file; }
    virtual void progressed(const ExportFile& file) { (void)file; }
    /// The file has ended: done, failed or cancelled (also for files that a
    /// cancelled run never started, and for unreadable inputs).
    virtual void ended(const ExportFile& file) = 0;
    /// The run is over; `notice` counts the written files as the window does
    /// ("3 Dateien exportiert."), empty when none was.
    virtual void closing(const QString& notice) { (void)notice; }
};

} // namespace tolvex::cli
