#pragma once

#include "host/engine/PushList.h"
#include "host/engine/SpscRing.h"

#include <lv2/worker/worker.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

namespace tolvex::host {

/// The LV2 worker of one plugin instance: work the plugin schedules from
/// run() is done on a thread of its own, in order, and every response the
/// work hands over reaches the plugin, in order, before its next run,
/// whatever its size. Offline, scheduling wakes the worker and
/// deliverResponses() first waits for the work to finish, so a render does
/// not depend on timing. In real time neither makes a system call or waits:
/// the worker looks for work every pollInterval, and responses arrive at
/// the first run after they are done.
class Lv2Worker {
public:
    static constexpr std::chrono::milliseconds pollInterval{2};

    Lv2Worker();
    ~Lv2Worker();
    Lv2Worker(const Lv2Worker&) = delete;
    Lv2Worker& operator=(const Lv2Worker&) = delete;

    /// Binds the worker to an instance that offers the worker interface.
    void attach(const LV2_Worker_Interface* interface, LV2_Handle handle);
    /// While the plugin does not run.
    void setRealtime(bool realtime) { m_realtime = realtime; }
    /// Whether the instance does work on this worker's thread.
    bool attached() const { return m_interface != nullptr; }

    /// The feature the plugin schedules work through.
    LV2_Worker_Schedule* schedule() { return &m_schedule; }

    /// Run thread, before run(): hands the plugin its responses. Neither
    /// allocates nor frees.
    void deliverResponses();
    /// Run thread, after run().
    void endRun();

private:
    /// One response, made and freed on the worker thread only.
    struct Response {
        Response* next = nullptr;
        std::vector<char> data;
    };
    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                          const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                     const void* data);
    static void freeAll(Response* list) noexcept;
    void loop();

    const LV2_Worker_Interface* m_interface = nullptr;
    LV2_Handle m_handle = nullptr;
    bool m_realtime = false;
    LV2_Worker_Schedule m_schedule{this, &Lv2Worker::scheduleWork};
    SpscRing m_requests{1 << 16};
    std::vector<char> m_workBuffer; ///< worker thread only
    PushList<Response> m_responses; ///< waiting for the run thread
    PushList<Response> m_delivered; ///< handed to the plugin, waiting to be freed
    std::atomic<int> m_outstanding{0};
    std::counting_semaphore<> m_wake{0}; ///< released offline only, and to quit
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

} // namespace tolvex::host
