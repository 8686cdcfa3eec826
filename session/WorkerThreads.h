#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvex::session {

/// Threads that run the batch's renders: tasks start in the order given, at
/// most `maxThreadCount` at once, each on a thread that is reused for later
/// tasks. Tasks and their results change hands under a standard mutex, an
/// order the thread sanitizer can follow (QThreadPool keeps its queues
/// behind a lock it cannot see, and reports its own bookkeeping as races).
///
/// Owned and driven by one thread; tasks run on the workers.
class WorkerThreads {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    /// Runs what was started to its end, then ends the threads.
    ~WorkerThreads();

    /// The most tasks running at once, at least 1; threads are made as they
    /// are needed, never more than the largest count set.
    void setMaxThreadCount(int count);
    /// Queues `task`; it runs as soon as fewer than the maximum are running.
    void start(std::function<void()> task);
    /// Returns once no task is queued or running.
    void waitForDone();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_ready; ///< a task may be taken, or the threads end
    std::condition_variable m_idle;  ///< a task has ended
    std::deque<std::function<void()>> m_tasks;
    std::vector<std::thread> m_threads;
    int m_max = 1;
    int m_running = 0;
    int m_waiting = 0; ///< threads waiting for a task
    bool m_quit = false;
};

} // namespace tolvex::session
