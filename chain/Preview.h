#pragma once

#include "host/AudioEngine.h"
#include "host/AudioFile.h"
#include "host/AudioHost.h"
#include "model/AudioItem.h"

#include <QObject>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tolvex::chain {

/// The preview: one file of the list played through the live chain. The
/// player reads the file block by block; each block's completion schedules
/// the next. Lives on the GUI thread, owned by the Chain; completions arrive
/// on the player's threads and only post their generation back here.
class Preview : public QObject {
    Q_OBJECT

public:
    /// Frames per block, and how many are queued at the start.
    static constexpr qint64 blockFrames = 32768;
    static constexpr int prerollBlocks = 4;

    /// Wires player → slots → mixer in the format; false when the chain has
    /// slots and one of them refused the format.
    using WireGraph = std::function<bool(const host::AudioFormat& format)>;

    /// `engine` and `player` belong to the chain and outlive the preview.
    Preview(host::AudioHost& host, host::RealtimeEngine& engine, host::PlayerNode& player,
            WireGraph wire, QObject* parent = nullptr);

    /// Stops any preview, then plays `item` from `seconds` (clamped to the
    /// file's end). Failures the user must see are announced by `failed`.
    void play(const model::AudioItem& item, double seconds);
    /// Ends any preview; harmless when nothing plays.
    void stop();

    std::optional<QUuid> playingID() const { return m_playingID; }
    /// The position in seconds; 0 when nothing plays or the player reports
    /// no time yet. Not limited to the file's duration.
    double currentTime() const;
    /// Incremented by every stop; blocks of an earlier generation are stale.
    qint64 generation() const { return m_generation; }
    /// Blocks of the current generation not yet completed.
    qint64 pending() const { return m_pending; }

Q_SIGNALS:
    void playingIDChanged();
    void failed(const QString& message);

private:
    /// Opens the file and wires the graph; false when it stays stopped.
    bool prepare(const model::AudioItem& item, double seconds);
    void cannotPlay(const model::AudioItem& item);
    void setPlayingID(std::optional<QUuid> id);
    void scheduleNext(qint64 generation);
    void blockCompleted(qint64 generation);

    host::AudioHost& m_host;
    host::RealtimeEngine& m_engine;
    host::PlayerNode& m_player;
    WireGraph m_wire;

    std::optional<QUuid> m_playingID;
    std::unique_ptr<host::AudioFileReader> m_file;
    std::optional<host::AudioFormat> m_format;
    qint64 m_startFrame = 0;
    qint64 m_pending = 0;
    qint64 m_generation = 0;
    bool m_toldInaudible = false;
    bool m_warned = false; ///< the current start has said something already
};

} // namespace tolvex::chain
