#pragma once

#include "render/RenderJob.h"
#include "session/RenderOutcome.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <variant>

namespace tolvex::session {

// What the parent and a render worker process say to each other: one compact
// JSON object per line, UTF-8. The parent writes requests to the worker's
// standard input and closes it to end the worker; the worker writes reports
// to its standard output. A line that cannot be read is ignored.

/// Parent to worker: stop the render going on, removing its partial output.
struct CancelRequest {};
/// Parent to worker: a file to render (only while no other is going on), or
/// a cancel.
using WorkerRequest = std::variant<render::RenderJob, CancelRequest>;

/// The worker has loaded the plugin registry and reads requests.
struct ReadyReport {};
/// The render's progress, 0…1.
struct ProgressReport {
    double fraction = 0;
};
/// Sent a few times a second while a render goes on: the blocks the worker
/// has rendered so far (a count that moves while the render does) and the
/// index in the job's plugin list of the plugin being run now, -1 if none.
struct TickReport {
    quint64 blocks = 0;
    int stage = -1;
};
/// The render has created an output file: the parent removes it when the
/// worker dies before it has ended, if the file there is still this one.
struct CreatedReport {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
};
/// The render has ended; the worker waits for the next request.
struct EndedReport {
    RenderOutcome outcome;
};
/// The worker is dying of a fatal signal, raised while the plugin at this
/// index of the job's list was running (-1: outside any plugin).
struct CrashedReport {
    int stage = -1;
};
using WorkerReport = std::variant<ReadyReport, ProgressReport, TickReport, CreatedReport,
                                  EndedReport, CrashedReport>;

/// The line for a request or a report, with its line feed.
QByteArray writeRequest(const WorkerRequest& request);
QByteArray writeReport(const WorkerReport& report);
/// Reads a line (the line feed may be there or not); nothing when it is not
/// a well-formed message.
std::optional<WorkerRequest> readRequest(QByteArrayView line);
std::optional<WorkerReport> readReport(QByteArrayView line);

/// A crash report is written by a signal handler, which cannot build JSON:
/// these two texts with the stage's decimal digits between them.
inline constexpr char crashedReportHead[] = "{\"crashed\":";
inline constexpr char crashedReportTail[] = "}\n";

} // namespace tolvex::session
