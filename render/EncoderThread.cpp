#include "render/EncoderThread.h"

#include "render/RenderError.h"

namespace tolvex::render {

EncoderThread::EncoderThread(host::AudioFileWriter& writer, std::vector<host::AudioBuffer> buffers,
                             Prepare prepare)
    : m_writer(writer), m_buffers(std::move(buffers)), m_prepare(std::move(prepare)),
      m_thread(&EncoderThread::run, this)
{}

EncoderThread::~EncoderThread()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

host::AudioBuffer& EncoderThread::next(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    const bool ready =
        m_changed.wait(lock, stop, [this] { return m_error || m_queued < m_buffers.size(); });
    if (m_error)
        std::rethrow_exception(m_error);
    if (!ready)
        throw RenderCancelled();
    return m_buffers[(m_first + m_queued) % m_buffers.size()];
}

void EncoderThread::push()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_queued;
    }
    m_changed.notify_all();
}

void EncoderThread::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
}

void EncoderThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_queued > 0 || m_closed || m_abandoned; });
        if (m_abandoned || m_queued == 0)
            return;
        host::AudioBuffer& block = m_buffers[m_first];
        lock.unlock();
        std::exception_ptr error;
        try {
            if (m_prepare)
                m_prepare(block);
            m_writer.write(block);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error) {
            m_error = error;
            m_changed.notify_all();
            return;
        }
        m_first = (m_first + 1) % m_buffers.size();
        --m_queued;
        m_changed.notify_all();
    }
}

} // namespace tolvex::render
