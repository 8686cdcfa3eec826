#pragma once

#include "host/AudioHost.h"
#include "model/ExportFormat.h"
#include "model/ExportSettings.h"
#include "model/PluginState.h"
#include "model/Status.h"
#include "session/AlbumPasses.h"
#include "session/OutputName.h"
#include "session/RenderLauncher.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tolvex::session {

/// A batch export run: files rendered through the offline renderer, up to
/// `jobs` at once, each with its own plugin instances, started in the order
/// given. Where the renders run is the launcher's business: on threads of
/// this process by default, in worker processes where a plugin must not be
/// able to take the caller down (the window, the command line). Serves the window's Session and the
/// command line alike: it knows files by id and asks the caller for their location and for the
/// output place as each one starts.
///
/// Lives on the GUI thread; every signal is emitted there. Output names are
/// picked on the GUI thread and held for the files being written, so two
/// files never race for the same name; a name another process takes while a
/// file is written moves it on to the next free one when it is finished (its
/// `done` status names where it went). Destroying the runner cancels the run
/// and waits for every render, so the host may go right after it.
///
/// The `jobs` slots are threads for the plugins: a file normally takes one.
/// A file that starts while slots are free and no files wait behind those
/// starting now (a single file, or fewer files than slots) is given a share
/// of the free slots for its chain's stages (RenderJob::threads), so that
/// the threads busy with plugins stay at about `jobs`. The share is fixed
/// when the file starts: slots freed later are not handed to running files.
///
/// A loudness target as an album gives every file the same gain: each file
/// is rendered in two passes (RenderJob::AlbumPass), `jobs` at once in
/// either. First every file's chain runs into a scratch file beside its
/// output and is measured (progress 0…0.8); once every first pass has ended
/// the album's gain is fixed from the files measured together, then every
/// file is written from its scratch file with it (0.8…1). A file whose first
/// pass fails drops out of the album (its figures do not count) and the
/// others go on; a cancel ends the files between their passes as waiting.
/// A file keeps its output name from its first pass to the end of its
/// second. Scratch files are removed as each file ends, and with the run.
class BatchRunner : public QObject {
    Q_OBJECT

public:
    /// The file's location when its turn comes; nothing when it has left
    /// the list meanwhile (the file is then skipped silently).
    using SourceLookup = std::function<std::optional<QUrl>(const QUuid&)>;
    /// The output folder and suffix for the file starting now.
    using PlaceLookup = std::function<OutputPlace()>;

    /// The most files rendered at once.
    static constexpr int maxJobs = model::ExportSettings::maxJobs;

    /// Renders on threads of this process, with the host; an album's
    /// scratch files are made through the host in any case.
    BatchRunner(host::AudioHost& host, SourceLookup source, PlaceLookup place,
                QObject* parent = nullptr);
    /// Cancels the run and waits until every render has let go of the host;
    /// each render removes its unfinished output before that.
    ~BatchRunner() override;

    /// Renders through `launcher` from the next run on. Ignored while a run
    /// is going.
    void setLauncher(std::unique_ptr<RenderLauncher> launcher);

    /// Starts a run over `ids` with the plugins, format and loudness target
    /// fixed now and at most `jobs` files at once (clamped to 1…maxJobs).
    /// Ignored while a run is going: start the next after `finished`.
    void start(QList<QUuid> ids, QList<model::PluginState> plugins, model::ExportFormat format,
               int jobs, std::optional<model::LoudnessTarget> loudness = std::nullopt);
    /// Cancels the run: every file being rendered stops at its next block,
    /// its partial output is removed and it ends as waiting; no further file
    /// starts. No effect when no run is going.
    void cancel();
    bool isRunning() const { return m_run != nullptr; }

Q_SIGNALS:
    /// A file's turn has come; it will be written to `target`.
    void fileStarted(const QUuid& id, const QUrl& target);
    /// A running file's progress, 0…1.
    void fileProgress(const QUuid& id, double fraction);
    /// A file has ended: done with its output, failed with the message, or
    /// waiting when the run was cancelled; `seconds` of wall time it took.
    void fileFinished(const QUuid& id, const model::Status& status, double seconds);
    /// The run has ended; `exported` files were written.
    void finished(qint64 exported);

private:
    struct Run;
    /// Starts files until `jobs` are running or none is left; ends the run
    /// when nothing runs any more.
    void fill();
    /// Starts the next file of the list (its first pass in an album).
    void startNext();
    /// Starts the next second pass of the album, once every first pass has
    /// ended; false when none is left to start.
    bool startSecondPass();
    /// The threads the file starting now may use for its plugins.
    int threadsForNext() const;
    /// One pass of a file, or the whole of it: `clock` runs since its start.
    struct Pass {
        QUuid id;
        QUrl source;
        OutputName target;
        int threads = 1;
        QElapsedTimer clock;
        std::optional<render::RenderJob::AlbumPass> album;
    };
    void launch(const Pass& pass);
    void fileEnded(const Pass& pass, const RenderOutcome& outcome);
    /// The file has ended with `status`: its name and scratch file are freed.
    void fileLeft(const Pass& pass, const model::Status& status);
    void endRun();

    host::AudioHost& m_host;
    SourceLookup m_source;
    PlaceLookup m_place;
    std::unique_ptr<Run> m_run;
    std::unique_ptr<RenderLauncher> m_launcher; // last: its renders end before the run goes
};

} // namespace tolvex::session
