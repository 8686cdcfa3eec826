#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace tolvex::bench {

/// Records a sink's monitor through libpulse while a run lasts, keeping for
/// every frame its level (the largest magnitude of its channels), and tells
/// when the sink took each frame: by the monitor's frame clock (the sink
/// takes frames at its rate, one after the other), set for every piece read
/// by the piece that arrived soonest after its frames within a second
/// around it. A piece cannot arrive before the sink took its first frame,
/// so the moments found are late by the smallest delivery delay nearby,
/// never early. The stream asks for pieces of `fragment` seconds and no
/// latency adjustment: long enough not to change how the sink runs (on
/// PipeWire a record stream's pieces set the graph's cycle: 10 ms pieces
/// make it run every 5.3 ms, a quarter of the preview's own cycle).
///
/// (The record stream's own reported latency would be simpler, but
/// PulseAudio's is stale for up to a second after the stream starts: it
/// keeps the null sink's latency from before the preview connected.)
///
/// Moments are steady-clock nanoseconds. Failures throw std::runtime_error.
class MonitorRecorder {
public:
    /// Connects to the server at `address`; records from `source` in stereo
    /// at `rate`, at most `maxSeconds` per run, in pieces of `fragment`
    /// seconds.
    MonitorRecorder(const QString& address, const QString& source, double rate, double maxSeconds,
                    double fragment);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    /// Forgets the last run and connects a new record stream, corked: it
    /// neither records nor wakes the sink until listen().
    void start();
    /// Starts recording; returns at once.
    void listen();
    /// Ends the recording; the queries below read what it kept.
    void stop();

    /// When the first frame at or after `from` louder than `level` was
    /// played; none when there is none.
    std::optional<qint64> firstAbove(float level, qint64 from) const;
    /// When the sink took the first frame at or after `from` louder than
    /// `level` that begins a stretch of `stretch` ns in which every
    /// millisecond holds such a frame: the onset of a steady sound, not a
    /// click or a decaying tail. None when there is none.
    std::optional<qint64> firstSustained(float level, qint64 from, qint64 stretch) const;
    /// When the sink took the last frame louder than `level`, of those at or
    /// after `from` and before the first stretch of `quiet` ns with none
    /// louder; none when no frame after `from` is louder.
    std::optional<qint64> lastAboveBeforeQuiet(float level, qint64 from, qint64 quiet) const;
    /// Whether the recording holds frames from before `moment`: false when
    /// it began late, after something of interest.
    bool heardBefore(qint64 moment) const { return frameAt(moment) > 0; }
    /// The largest level among the frames the sink took in [from, to).
    float peak(qint64 from, qint64 to) const;

private:
    struct Piece {
        qint64 firstFrame;
        qint64 arrival;   ///< when it was read
        qint64 start = 0; ///< when the sink took its first frame, by the frame clock
    };
    /// Sets every piece's start from the arrivals; after recording.
    void setClock();
    qint64 playedAt(qint64 frame) const;
    qint64 frameAt(qint64 moment) const; ///< the first frame played at or after `moment`
    static void readable(pa_stream* stream, size_t bytes, void* user);
    void dropStream();

    double m_rate;
    QString m_source;
    double m_fragment;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr; ///< touched under the loop's lock
    std::vector<float> m_levels;   ///< written on the loop's thread while recording
    std::vector<Piece> m_pieces;   ///< likewise; the starts set by stop()
};

} // namespace tolvex::bench
