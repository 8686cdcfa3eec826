#include "host/engine/RealtimePlayer.h"

#include <algorithm>
#include <chrono>

namespace tolvex::host {

namespace {
constexpr size_t queueCapacity = 256;
}

RealtimePlayer::RealtimePlayer() : m_queue(queueCapacity, nullptr)
{
    m_deliverer = std::thread([this] { deliverCompletions(); });
}

RealtimePlayer::~RealtimePlayer()
{
    // The engine has stopped (nodes are detached before they die): the queue
    // is ours. Drop what is left, then let the deliverer finish.
    m_rendering = false;
    takeCommands();
    while (m_count > 0) {
        finish(m_queue[m_head]);
        m_head = (m_head + 1) % m_queue.size();
        --m_count;
    }
    m_quit = true;
    m_deliverer.join();
}

void RealtimePlayer::send(Command command, Scheduled* item)
{
    const Message message{command, item};
    while (!m_commands.write(&message, sizeof(message)))
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // the audio thread drains it
    if (!m_rendering.load(std::memory_order_acquire))
        takeCommands();
}

void RealtimePlayer::schedule(AudioBuffer buffer, Completion completion)
{
    send(Command::schedule, new Scheduled{std::move(buffer), std::move(completion)});
}

void RealtimePlayer::play()
{
    m_time = 0;
    m_hasRendered = false;
    send(Command::play, nullptr);
}

void RealtimePlayer::stop()
{
    send(Command::stop, nullptr);
    m_time = 0;
    m_hasRendered = false;
}

std::optional<qint64> RealtimePlayer::playerTime() const
{
    if (!m_hasRendered.load(std::memory_order_acquire))
        return std::nullopt;
    return m_time.load(std::memory_order_acquire);
}

void RealtimePlayer::setRendering(bool rendering)
{
    m_rendering.store(rendering, std::memory_order_release);
    if (!rendering)
        takeCommands();
}

void RealtimePlayer::finish(Scheduled* item) noexcept
{
    // The ring holds 2048 pointers, far more than are ever scheduled at once.
    m_finished.write(&item, sizeof(item));
}

void RealtimePlayer::takeCommands() noexcept
{
    Message message{};
    while (m_commands.read(&message, sizeof(message))) {
        switch (message.command) {
        case Command::schedule:
            if (m_count == m_queue.size()) {
                finish(message.item); // full: dropped, its completion still runs
                break;
            }
            m_queue[(m_head + m_count) % m_queue.size()] = message.item;
            ++m_count;
            break;
        case Command::play:
            m_playing = true;
            m_time.store(0, std::memory_order_release);
            m_hasRendered.store(false, std::memory_order_release);
            break;
        case Command::stop:
            m_playing = false;
            m_time.store(0, std::memory_order_release);
            m_hasRendered.store(false, std::memory_order_release);
            while (m_count > 0) {
                finish(m_queue[m_head]);
                m_head = (m_head + 1) % m_queue.size();
                --m_count;
            }
            break;
        }
    }
}

void RealtimePlayer::pull(AudioBuffer& out, qint64 frames) noexcept
{
    takeCommands();
    qint64 filled = 0;
    if (m_playing) {
        while (filled < frames && m_count > 0) {
            Scheduled* item = m_queue[m_head];
            const AudioBuffer& source = item->buffer;
            const qint64 n = std::min(frames - filled, source.frameLength() - item->offset);
            for (int c = 0; c < out.channelCount(); ++c)
                std::copy_n(source.channel(std::min(c, source.channelCount() - 1)) + item->offset,
                            n, out.channel(c) + filled);
            filled += n;
            item->offset += n;
            if (item->offset >= source.frameLength()) {
                finish(item);
                m_head = (m_head + 1) % m_queue.size();
                --m_count;
            }
        }
        m_time.fetch_add(frames, std::memory_order_release);
        m_hasRendered.store(true, std::memory_order_release);
    }
    for (int c = 0; c < out.channelCount(); ++c)
        std::fill(out.channel(c) + filled, out.channel(c) + frames, 0.0f);
    out.setFrameLength(frames);
}

void RealtimePlayer::deliverCompletions()
{
    // Polls rather than being woken, so the audio thread never makes a
    // system call to hand a buffer back.
    for (;;) {
        Scheduled* item = nullptr;
        bool any = false;
        while (m_finished.read(&item, sizeof(item))) {
            any = true;
            if (item->completion)
                item->completion();
            delete item;
        }
        if (!any) {
            if (m_quit.load())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

} // namespace tolvex::host
