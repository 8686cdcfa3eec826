#pragma once

#include "host/AudioEngine.h"
#include "host/engine/SpscRing.h"

#include <atomic>
#include <thread>
#include <vector>

namespace tolvex::host {

/// The player of the real-time engine. The GUI thread schedules, plays and
/// stops through a command ring; while its engine runs, the audio thread
/// alone owns the queue of buffers, and while it is stopped the GUI thread
/// does. Finished and dropped buffers leave through a second ring to a
/// helper thread, which runs their completions and frees them.
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
    struct Scheduled {
        AudioBuffer buffer;
        Completion completion;
        qint64 offset = 0;
    };
    enum class Command : quint8 { schedule, play, stop };
    struct Message {
        Command command;
        Scheduled* item;
    };

    void send(Command command, Scheduled* item);
    /// Runs pending commands; on the audio thread, or on the GUI thread
    /// while the engine is stopped.
    void takeCommands() noexcept;
    void finish(Scheduled* item) noexcept;
    void deliverCompletions();

    // Shared between the threads.
    SpscRing m_commands{1 << 14};
    SpscRing m_finished{1 << 14};
    std::atomic<bool> m_rendering{false};
    std::atomic<qint64> m_time{0};
    std::atomic<bool> m_hasRendered{false};

    // The queue's owner (audio thread while rendering, else GUI thread).
    std::vector<Scheduled*> m_queue; ///< fixed capacity: never grows on the audio thread
    size_t m_head = 0, m_count = 0;
    bool m_playing = false;

    std::atomic<bool> m_quit{false};
    std::thread m_deliverer;
};

} // namespace tolvex::host
