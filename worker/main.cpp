// tolvex-render-worker: renders files for the window and tolvex-cli in a
// process of its own, so that a plugin that crashes or hangs takes only the
// file with it. Started by its parent, which speaks to it through standard
// input and output (see session/WorkerProtocol.h); not meant to be run by hand.
#include "host/lv2/Lv2AudioHost.h"
#include "worker/CrashReporter.h"
#include "worker/ReportPipe.h"
#include "worker/ReportingHost.h"
#include "worker/WorkerLoop.h"

#include <csignal>

using namespace tolvex;

int main()
{
    worker::CrashReporter::install();
    // A parent that is gone shows as a failed write: the render is cancelled.
    std::signal(SIGPIPE, SIG_IGN);
    worker::ReportPipe reports;
    host::Lv2AudioHost lv2;            // plays nowhere: the worker only renders
    lv2.components(model::effectType); // the registry loaded before the parent's watchdog counts
    worker::ReportingHost host(lv2, reports);
    if (!reports.send(session::ReadyReport{}))
        return 1;
    return worker::WorkerLoop(host, reports).run();
}
