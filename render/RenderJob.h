#pragma once

#include "model/ExportFormat.h"
#include "model/LoudnessTarget.h"
#include "model/PluginState.h"

#include <QList>
#include <QUrl>

#include <optional>

namespace tolvex::render {

/// One file's render order, built by the batch export and consumed once.
struct RenderJob {
    QUrl source; ///< the file to read
    QUrl target; ///< the file to create; its extension selects the container
    /// The active chain entries, first effect first. Their bypass flags are
    /// not looked at: bypassed entries are not in the list.
    QList<model::PluginState> plugins;
    model::ExportFormat format = model::ExportFormat::wav24;
    /// Where `target` stands in its series of names (model::numberedName):
    /// when something takes the target while the file is being written, the
    /// finished file moves on to the next free name of that series. 0: the
    /// target or nothing.
    int targetNumber = 0;
    /// How many threads the chain's plugins may keep busy at once. 1 runs
    /// them one after another on the rendering thread; more lets a chain of
    /// several plugins run as a pipeline of up to that many stages. The
    /// batch gives no more than its jobs, which default to the machine's
    /// cores. Reading and encoding run on threads of their own either way
    /// and are not counted.
    int threads = 1;
    /// Normalise the file to this target; none: the chain's own level.
    std::optional<model::LoudnessTarget> loudnessTarget = std::nullopt;

    /// A file of a run that gives all its files one gain (an album, see
    /// model::albumGain) is rendered in two passes, each a job of its own:
    /// the first runs the chain into the scratch file and measures it (no
    /// output yet), the second writes the target from the scratch file with
    /// the album's gain (no plugins run). The run holds the file meanwhile.
    struct AlbumPass {
        QString scratch; ///< the file (see host::ScratchLease)
        /// Second pass: the album's gain and how far the ceiling kept it
        /// below the target; none in the first pass.
        std::optional<model::TargetGain> gain = std::nullopt;
        int channels = 0; ///< second pass: the scratch audio's, as the first reported

        friend bool operator==(const AlbumPass&, const AlbumPass&) = default;
    };
    /// Which pass of an album this is; none: the file is rendered whole.
    std::optional<AlbumPass> album = std::nullopt;
};

} // namespace tolvex::render
