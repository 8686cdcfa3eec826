#include "host/lv2/Lv2Worker.h"

#include <utility>

namespace tolvex::host {

Lv2Worker::Lv2Worker() : m_workBuffer(1 << 16) {}

Lv2Worker::~Lv2Worker()
{
    if (m_thread.joinable()) {
        m_quit = true;
        m_wake.release();
        m_thread.join();
    }
    freeAll(m_responses.takeAll());
    freeAll(m_delivered.takeAll());
}

void Lv2Worker::freeAll(Response* list) noexcept
{
    while (list)
        delete std::exchange(list, list->next);
}

void Lv2Worker::attach(const LV2_Worker_Interface* interface, LV2_Handle handle)
{
    m_interface = interface;
    m_handle = handle;
    if (m_interface && !m_thread.joinable())
        m_thread = std::thread([this] { loop(); });
}

LV2_Worker_Status Lv2Worker::scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                          const void* data)
{
    auto* self = static_cast<Lv2Worker*>(handle);
    if (!self->m_interface)
        return LV2_WORKER_ERR_NO_SPACE;
    ++self->m_outstanding; // before the worker can see the request
    if (!self->m_requests.write(data, size)) {
        --self->m_outstanding;
        return LV2_WORKER_ERR_NO_SPACE;
    }
    if (!self->m_realtime)
        self->m_wake.release(); // a system call when the worker sleeps
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2Worker::respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                     const void* data)
{
    auto* self = static_cast<Lv2Worker*>(handle);
    try {
        const auto* bytes = static_cast<const char*>(data);
        self->m_responses.push(new Response{nullptr, std::vector<char>(bytes, bytes + size)});
    } catch (const std::bad_alloc&) {
        return LV2_WORKER_ERR_NO_SPACE;
    }
    return LV2_WORKER_SUCCESS;
}

void Lv2Worker::loop()
{
    for (;;) {
        m_wake.try_acquire_for(pollInterval);
        if (m_quit)
            return;
        freeAll(m_delivered.takeAll());
        while (!m_requests.empty()) {
            const uint32_t size = m_requests.peekSize();
            if (size > m_workBuffer.size())
                m_workBuffer.resize(size);
            if (m_requests.read(m_workBuffer.data(), uint32_t(m_workBuffer.size())))
                m_interface->work(m_handle, &Lv2Worker::respond, this, size, m_workBuffer.data());
            --m_outstanding;
            m_outstanding.notify_all();
        }
    }
}

void Lv2Worker::deliverResponses()
{
    if (!m_interface)
        return;
    if (!m_realtime) {
        for (int outstanding = m_outstanding.load(); outstanding > 0;
             outstanding = m_outstanding.load())
            m_outstanding.wait(outstanding);
    }
    Response* oldest = m_responses.takeAll();
    while (oldest) {
        Response* response = std::exchange(oldest, oldest->next);
        m_interface->work_response(m_handle, uint32_t(response->data.size()),
                                   response->data.data());
        m_delivered.push(response);
    }
}

void Lv2Worker::endRun()
{
    if (m_interface && m_interface->end_run)
        m_interface->end_run(m_handle);
}

} // namespace tolvex::host
