#include "session/WorkerThreads.h"

#include <algorithm>

namespace tolvex::session {

WorkerThreads::~WorkerThreads()
{
    waitForDone();
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_ready.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void WorkerThreads::setMaxThreadCount(int count)
{
    {
        std::lock_guard lock(m_mutex);
        m_max = std::max(count, 1);
    }
    m_ready.notify_all();
}

void WorkerThreads::start(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        // A thread that is waiting takes it; otherwise one more is made while
        // there are fewer than the most that may run.
        if (m_waiting < int(m_tasks.size()) && int(m_threads.size()) < m_max)
            m_threads.emplace_back(&WorkerThreads::work, this);
    }
    m_ready.notify_one();
}

void WorkerThreads::waitForDone()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_tasks.empty() && m_running == 0; });
}

void WorkerThreads::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_waiting;
        m_ready.wait(lock, [this] { return m_quit || (!m_tasks.empty() && m_running < m_max); });
        --m_waiting;
        if (m_quit)
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        ++m_running;
        lock.unlock();
        task();
        task = nullptr; // what it captured goes on this thread, before the hand-back
        lock.lock();
        --m_running;
        m_idle.notify_all();
        m_ready.notify_one(); // a queued task may run now
    }
}

} // namespace tolvex::session
