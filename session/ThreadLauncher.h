#pragma once

#include "host/AudioHost.h"
#include "session/RenderLauncher.h"
#include "session/WorkerThreads.h"

#include <QObject>

#include <stop_token>

namespace tolvex::session {

/// Renders on worker threads of this process, each file with its own plugin
/// instances on the given host. What a plugin does there reaches the whole
/// process; the fake host of the logic tests works only this way.
class ThreadLauncher : public QObject, public RenderLauncher {
    Q_OBJECT

public:
    explicit ThreadLauncher(host::AudioHost& host, QObject* parent = nullptr);
    /// Stops every render and waits until each has let go of the host.
    ~ThreadLauncher() override;

    void begin(int jobs) override;
    void launch(render::RenderJob job, Progress progress, Finished finished) override;
    void cancel() override { m_stop.request_stop(); }

private:
    host::AudioHost& m_host;
    std::stop_source m_stop;
    WorkerThreads m_workers; // last: waited for before the rest goes
};

} // namespace tolvex::session
