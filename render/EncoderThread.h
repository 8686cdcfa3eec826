#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioFile.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace tolvex::render {

/// Writes a render's blocks to its output file on a thread of its own, so
/// that encoding runs beside the plugins. The rendering thread fills the
/// buffer next() hands out and queues it with push(); the encoder thread
/// writes the blocks in that order and hands their buffers back. The few
/// buffers are made once and go round: nothing is allocated per block.
///
/// next(), push() and finish() are called by one thread, the one that made
/// the object. The writer is used by the encoder thread alone from
/// construction until finish() returns or the object is destroyed.
class EncoderThread {
public:
    /// Runs on the encoder thread on each block before it is written; what
    /// it throws fails the write.
    using Prepare = std::function<void(host::AudioBuffer&)>;

    /// Starts the thread; the blocks go round in `buffers` (at least one),
    /// all in the writer's format, and pass `prepare` (if any) on their way.
    EncoderThread(host::AudioFileWriter& writer, std::vector<host::AudioBuffer> buffers,
                  Prepare prepare = {});
    /// Drops the blocks not yet written and joins the thread; a write under
    /// way is completed, no further one starts.
    ~EncoderThread();

    EncoderThread(const EncoderThread&) = delete;
    EncoderThread& operator=(const EncoderThread&) = delete;

    /// The buffer to fill next, once one is free. Throws the writer's error
    /// once a write has failed, RenderCancelled when `stop` is requested
    /// while it waits.
    host::AudioBuffer& next(std::stop_token stop);
    /// Queues the buffer next() handed out.
    void push();
    /// Waits until every queued block is written and ends the thread.
    /// Throws the writer's error.
    void finish();

private:
    void run();

    host::AudioFileWriter& m_writer;
    std::vector<host::AudioBuffer> m_buffers;
    Prepare m_prepare;

    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    // Guarded by m_mutex. The queued blocks are m_buffers[m_first] and the
    // ones after it, round the ring; the oldest stays queued while written.
    size_t m_first = 0;
    size_t m_queued = 0;
    bool m_closed = false;    ///< no more blocks come: write the rest, then end
    bool m_abandoned = false; ///< end without writing the rest
    std::exception_ptr m_error;

    std::thread m_thread; // last: starts when everything else is ready
};

} // namespace tolvex::render
