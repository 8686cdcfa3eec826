#pragma once

#include "host/AudioHost.h"
#include "model/LoudnessTarget.h"
#include "render/RenderJob.h"
#include "render/RenderResult.h"
#include "session/OutputName.h"

#include <QElapsedTimer>
#include <QList>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

namespace tolvex::session {

/// The files of a batch run that gives them all one gain (an album), from
/// their first pass to the end of their second (see RenderJob::AlbumPass):
/// the scratch file each holds, what its first pass kept, and the second
/// passes to come, in the order the first ones started. A file's scratch
/// file goes when the file leaves: its second pass ended, its first failed
/// or was cancelled, or the run ended; all of them go with this object.
/// Lives on the GUI thread, with its run.
class AlbumPasses {
public:
    /// One file of the album, as its passes need it.
    struct File {
        QUuid id;
        QUrl source;
        OutputName target;
        QElapsedTimer clock; ///< since its first pass started
    };

    /// The file's first pass starts: its scratch file is made beside the
    /// target. Throws HostError, and then holds nothing for it.
    render::RenderJob::AlbumPass begin(host::AudioHost& host, File file);
    /// The file's first pass has done and kept this: it waits for the
    /// album's gain.
    void keep(const QUuid& id, const render::RenderResult::Kept& kept);
    /// The file leaves the album; its scratch file goes. Its entry, if any.
    std::optional<File> leave(const QUuid& id);

    /// Whether the gain is fixed: the second passes may start.
    bool hasGain() const { return m_gain.has_value(); }
    /// Fixes the album's gain from what the files that have been kept
    /// brought (model::albumGain); call once every first pass has ended.
    void fixGain(const model::LoudnessTarget& target);
    /// The next kept file whose second pass has not started, with that pass;
    /// none when none waits. Only once the gain is fixed.
    std::optional<std::pair<File, render::RenderJob::AlbumPass>> nextSecondPass();
    /// The kept files whose second pass has not started: those a cancelled
    /// run ends as waiting.
    QList<QUuid> waiting() const;

private:
    struct Entry {
        File file;
        std::unique_ptr<host::ScratchLease> scratch;
        std::optional<render::RenderResult::Kept> kept;
        bool secondStarted = false;
    };
    Entry* find(const QUuid& id);

    std::vector<Entry> m_entries; ///< in the order the first passes started
    std::optional<model::TargetGain> m_gain;
};

} // namespace tolvex::session
