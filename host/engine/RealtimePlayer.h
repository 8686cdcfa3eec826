#pragma once

#include "host/AudioEngine.h"
#include "host/engine/PushList.h"

#include <atomic>
#include <thread>

namespace tolvex::host {

/// The player of the real-time engine. Every call of the GUI thread becomes
/// a command node (made there, so the audio thread never allocates) pushed
/// onto a lock-free list. While the engine runs, the audio thread alone
/// takes the commands and owns the queue of buffers; while it is stopped the
/// GUI thread does. Played and dropped buffers, and spent commands, leave
/// through a second lock-free list to a helper thread, which runs their
/// completions and frees them. Neither list has a capacity: every scheduled
/// buffer plays or is dropped by stop(), and completes exactly once.
class RealtimePlayer : public PlayerNode {
public:
    RealtimePlayer();
    ~RealtimePlayer() override;

    void schedule(AudioBuffer buffer, Completion completion) override;
    void play() override;
    void stop() override;
    std::optional<qint64> playerTime() const override;

    // For the engine.
    /// Whether the audio thread owns the queue (the engine runs).
    void setRendering(bool rendering);
    /// Audio thread: fills `frames` frames of `out` (silence where nothing
    /// plays) and advances the player's time.
    void pull(AudioBuffer& out, qint64 frames) noexcept;

private:
    enum class Command : quint8 { schedule, play, stop };
    struct Node {
        Command command;
        std::optional<AudioBuffer> buffer; ///< for schedule
        Completion completion;
        qint64 offset = 0; ///< frames of the buffer played
        Node* next = nullptr;
    };

    void send(Node* node);
    /// Runs pending commands; on the audio thread, or on the GUI thread
    /// while the engine is stopped.
    void takeCommands() noexcept;
    /// Drops every queued buffer.
    void dropQueue() noexcept;
    void deliverCompletions();

    // Shared between the threads.
    PushList<Node> m_commands;
    PushList<Node> m_finished;
    std::atomic<bool> m_rendering{false};
    std::atomic<qint64> m_time{0};
    std::atomic<bool> m_hasRendered{false};

    // The queue's owner (audio thread while rendering, else GUI thread).
    Node* m_first = nullptr; ///< the buffer playing, linked to those after it
    Node* m_last = nullptr;
    bool m_playing = false;

    std::atomic<bool> m_quit{false};
    std::thread m_deliverer;
};

} // namespace tolvex::host
