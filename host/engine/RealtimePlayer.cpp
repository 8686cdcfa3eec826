#include "host/engine/RealtimePlayer.h"

#include <algorithm>
#include <chrono>

namespace tolvex::host {

RealtimePlayer::RealtimePlayer()
{
    m_deliverer = std::thread([this] { deliverCompletions(); });
}

RealtimePlayer::~RealtimePlayer()
{
    // The engine has stopped (nodes are detached before they die): the queue
    // is ours. Drop what is left, then let the deliverer finish.
    m_rendering = false;
    takeCommands();
    dropQueue();
    m_quit.store(true, std::memory_order_release);
    m_deliverer.join();
}

void RealtimePlayer::send(Node* node)
{
    m_commands.push(node);
    if (!m_rendering.load(std::memory_order_acquire))
        takeCommands();
}

void RealtimePlayer::schedule(AudioBuffer buffer, Completion completion)
{
    send(new Node{Command::schedule, std::move(buffer), std::move(completion)});
}

void RealtimePlayer::play()
{
    m_time = 0;
    m_hasRendered = false;
    send(new Node{Command::play, std::nullopt, {}});
}

void RealtimePlayer::stop()
{
    send(new Node{Command::stop, std::nullopt, {}});
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

void RealtimePlayer::dropQueue() noexcept
{
    while (m_first) {
        Node* next = m_first->next;
        m_finished.push(m_first);
        m_first = next;
    }
    m_last = nullptr;
}

void RealtimePlayer::takeCommands() noexcept
{
    for (Node* node = m_commands.takeAll(); node;) {
        Node* next = node->next;
        switch (node->command) {
        case Command::schedule:
            node->next = nullptr;
            (m_last ? m_last->next : m_first) = node;
            m_last = node;
            break;
        case Command::play:
        case Command::stop:
            m_playing = node->command == Command::play;
            m_time.store(0, std::memory_order_release);
            m_hasRendered.store(false, std::memory_order_release);
            if (!m_playing)
                dropQueue();
            m_finished.push(node); // spent
            break;
        }
        node = next;
    }
}

void RealtimePlayer::pull(AudioBuffer& out, qint64 frames) noexcept
{
    takeCommands();
    qint64 filled = 0;
    if (m_playing) {
        while (filled < frames && m_first) {
            Node* item = m_first;
            const AudioBuffer& source = *item->buffer;
            const qint64 n = std::min(frames - filled, source.frameLength() - item->offset);
            for (int c = 0; c < out.channelCount(); ++c)
                std::copy_n(source.channel(std::min(c, source.channelCount() - 1)) + item->offset,
                            n, out.channel(c) + filled);
            filled += n;
            item->offset += n;
            if (item->offset >= source.frameLength()) {
                m_first = item->next;
                if (!m_first)
                    m_last = nullptr;
                m_finished.push(item);
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
    // system call to hand a buffer back. What was pushed before the quit
    // flag was raised is delivered before the thread ends.
    for (;;) {
        const bool quit = m_quit.load(std::memory_order_acquire);
        Node* node = m_finished.takeAll();
        const bool any = node != nullptr;
        while (node) {
            Node* next = node->next;
            if (node->completion)
                node->completion();
            delete node;
            node = next;
        }
        if (quit)
            return;
        if (!any)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace tolvex::host
