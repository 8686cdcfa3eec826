#include "host/HostError.h"
#include "host/engine/Outputs.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <vector>

#include <sched.h>

namespace tolvex::host {

namespace {

/// How long the server may take to answer a connection or a new stream.
constexpr pa_usec_t answerTime = 2 * PA_USEC_PER_SEC;

/// The stream's buffer: the server asks for sound when less than the target
/// is queued, in pieces of at least `requestLength`. Short enough for the
/// compare switch and seeks to be heard within a tenth of a second, long
/// enough for PipeWire's default quantum (1,024 frames) and a busy machine;
/// 40 ms ran dry a few times a minute on PipeWire.
constexpr pa_usec_t targetLength = 60 * PA_USEC_PER_MSEC;
constexpr pa_usec_t requestLength = 10 * PA_USEC_PER_MSEC;

/// The loop thread's real-time priority, where it may have one: below the
/// sound server's threads (PulseAudio's 5 and up, PipeWire's 20 and up).
constexpr int realtimePriority = 3;

/// The most frames rendered in one go; a larger request is filled in turns.
constexpr qint64 scratchFrames = 4096;

QString serverError(const char* what, int error)
{
    return QString::fromUtf8(what) + QStringLiteral(" (") + QString::fromUtf8(pa_strerror(error)) +
           QStringLiteral(").");
}

/// Holds the main loop's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop)
    {
        pa_threaded_mainloop_lock(loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

/// Properties by which the desktop's volume control names the stream.
pa_proplist* streamProperties()
{
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Tolvex");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "tolvex");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "tolvex");
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, "Vorhören");
    return properties;
}

void forget(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}

/// Sound through the desktop's sound server, spoken to with its own client
/// library: PulseAudio, or PipeWire's PulseAudio service.
///
/// The output connects as soon as it is made, in the background, and keeps
/// one stereo stream at the server's own rate for its whole life (the
/// engine resamples to it): corked and emptied between previews, so that a
/// start, a seek or the compare switch is heard after the short buffer
/// alone. A new stream on a sink that has been idle can wait for the sink's
/// idle timing first (PulseAudio's null sink runs up to two seconds ahead),
/// which the stream made at the start has long got over when the user first
/// previews.
///
/// The renderer runs on the client library's main-loop thread, in the
/// stream's write callback, writing into the memory the library hands out.
class PulseOutput : public AudioOutput {
public:
    PulseOutput()
    {
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop)
            return;
        pa_threaded_mainloop_set_name(m_loop, "tolvex-sound");
        if (pa_threaded_mainloop_start(m_loop) < 0) {
            pa_threaded_mainloop_free(m_loop);
            m_loop = nullptr;
            return;
        }
        LoopLock lock(m_loop);
        beginConnecting();
    }

    ~PulseOutput() override
    {
        if (!m_loop)
            return;
        {
            LoopLock lock(m_loop);
            dropStream();
            dropContext();
        }
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }

    double open(double, int channels, Renderer& renderer) override
    {
        stop();
        if (!m_loop)
            throw HostError(QStringLiteral("Der Tonserver lässt sich nicht ansprechen."));
        LoopLock lock(m_loop);
        if (m_stream && !PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            dropStream(); // the server or its sink went away
        if (!m_context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context))) {
            dropContext();
            beginConnecting();
        } else if (!m_stream && pa_context_get_state(m_context) == PA_CONTEXT_READY) {
            forget(pa_context_get_server_info(m_context, &PulseOutput::serverDescribed, this));
        }
        if (!waitUntil([this] { return settled(); }) || !m_stream ||
            pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            const int error = m_context ? pa_context_errno(m_context) : PA_ERR_CONNECTIONREFUSED;
            dropStream();
            dropContext();
            throw HostError(serverError("Kein Tonserver antwortet", error));
        }
        const pa_sample_spec& sound = *pa_stream_get_sample_spec(m_stream);
        if (sound.channels != channels)
            throw HostError(QStringLiteral("Der Tonserver kann dieses Format nicht abspielen."));
        m_renderer = &renderer;
        return sound.rate;
    }

    void start() override
    {
        if (!m_loop)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        LoopLock lock(m_loop);
        if (!m_renderer || !m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        if (m_started)
            return;
        m_started = true;
        // What the server asked for while the stream was corked, then play.
        if (const size_t writable = pa_stream_writable_size(m_stream); writable != size_t(-1))
            fill(writable);
        forget(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    }

    /// Silences the stream at once: corked, and what the server still holds
    /// dropped. The stream stays for the next start.
    void stop() override
    {
        if (!m_loop)
            return;
        LoopLock lock(m_loop);
        if (!m_started)
            return;
        m_started = false;
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return;
        forget(pa_stream_cork(m_stream, 1, nullptr, nullptr));
        forget(pa_stream_flush(m_stream, nullptr, nullptr));
    }

    void close() override
    {
        stop();
        if (m_loop) {
            LoopLock lock(m_loop);
            m_renderer = nullptr;
        }
    }

    double latency() const override
    {
        if (!m_loop)
            return 0;
        LoopLock lock(m_loop);
        pa_usec_t usec = 0;
        int negative = 0;
        if (!m_started || pa_stream_get_latency(m_stream, &usec, &negative) < 0 || negative)
            return 0;
        return double(usec) / double(PA_USEC_PER_SEC);
    }

private:
    // Everything below runs with the loop's lock held: on the loop's thread
    // in its callbacks, or on the owner's thread inside a LoopLock.

    /// Starts connecting to the session's server; the stream follows when
    /// the server has said its rate.
    void beginConnecting()
    {
        pa_proplist* properties = streamProperties();
        m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "Tolvex",
                                                 properties);
        pa_proplist_free(properties);
        if (!m_context)
            return;
        pa_context_set_state_callback(m_context, &PulseOutput::contextChanged, this);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            dropContext();
    }

    /// Asks for real-time scheduling for the loop's thread, as the server
    /// has for its own, so that a busy machine does not make the preview
    /// late; at a low priority, below the server's. Where the system does
    /// not allow it, the thread stays as it is.
    static void raisePriority()
    {
        sched_param parameters{};
        parameters.sched_priority = std::min(realtimePriority, sched_get_priority_max(SCHED_RR));
        sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &parameters);
    }

    /// Whether the connection has come to an end, good or bad.
    bool settled() const
    {
        if (!m_context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            return true;
        return m_stream && pa_stream_get_state(m_stream) != PA_STREAM_CREATING &&
               pa_stream_get_state(m_stream) != PA_STREAM_UNCONNECTED;
    }

    static void contextChanged(pa_context* context, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        if (pa_context_get_state(context) == PA_CONTEXT_READY) {
            raisePriority();
            forget(pa_context_get_server_info(context, &PulseOutput::serverDescribed, self));
        }
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    /// The stream runs at the default sink's rate, so that the server has
    /// nothing to convert; the server's own rate when it has no sink.
    static void serverDescribed(pa_context* context, const pa_server_info* info, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        self->m_rate = info ? info->sample_spec.rate : 48000;
        if (info && info->default_sink_name)
            forget(pa_context_get_sink_info_by_name(context, info->default_sink_name,
                                                    &PulseOutput::sinkDescribed, self));
        else
            self->connectStream();
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    static void sinkDescribed(pa_context*, const pa_sink_info* info, int end, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        if (!end && info)
            self->m_rate = info->sample_spec.rate;
        if (end)
            self->connectStream();
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    /// Makes the stream, corked; it is ready when the server says so.
    void connectStream()
    {
        const pa_sample_spec sound{PA_SAMPLE_FLOAT32NE, m_rate, 2};
        if (m_stream || !pa_sample_spec_valid(&sound))
            return;
        pa_channel_map map;
        pa_channel_map_init_extend(&map, sound.channels, PA_CHANNEL_MAP_DEFAULT);
        pa_proplist* properties = streamProperties();
        m_stream = pa_stream_new_with_proplist(m_context, "Vorhören", &sound, &map, properties);
        pa_proplist_free(properties);
        if (!m_stream)
            return;
        m_frameBytes = pa_frame_size(&sound);
        m_channelCount = sound.channels;
        m_samples.assign(size_t(sound.channels) * size_t(scratchFrames), 0.0f);
        m_channels.clear();
        for (int c = 0; c < sound.channels; ++c)
            m_channels.push_back(m_samples.data() + size_t(c) * size_t(scratchFrames));
        pa_stream_set_state_callback(m_stream, &PulseOutput::streamChanged, this);
        pa_stream_set_write_callback(m_stream, &PulseOutput::writeRequested, this);
        pa_stream_set_underflow_callback(m_stream, &PulseOutput::underflowed, this);
        pa_buffer_attr buffer{};
        buffer.maxlength = quint32(-1);
        buffer.tlength = quint32(pa_usec_to_bytes(targetLength, &sound));
        buffer.prebuf = quint32(-1); // starts as soon as the target is queued
        buffer.minreq = quint32(pa_usec_to_bytes(requestLength, &sound));
        buffer.fragsize = quint32(-1);
        const auto flags =
            pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                              PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(m_stream, nullptr, &buffer, flags, nullptr, nullptr) < 0)
            dropStream();
    }

    static void streamChanged(pa_stream*, void* user)
    {
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(user)->m_loop, 0);
    }

    /// Waits on the loop until `done`, or false after the answer time.
    template <typename Done>
    bool waitUntil(Done done)
    {
        struct Timeout {
            pa_threaded_mainloop* loop;
            bool late = false;
        } timeout{m_loop};
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, answerTime);
        pa_time_event* timer = api->time_new(
            api, &when,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
                auto* t = static_cast<Timeout*>(user);
                t->late = true;
                pa_threaded_mainloop_signal(t->loop, 0);
            },
            &timeout);
        while (!done() && !timeout.late)
            pa_threaded_mainloop_wait(m_loop);
        api->time_free(timer);
        return done();
    }

    void dropStream()
    {
        m_started = false;
        if (!m_stream)
            return;
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    void dropContext()
    {
        if (!m_context)
            return;
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }

    /// Renders `bytes` bytes' worth of frames into the server's memory. On
    /// the loop's thread, or in start(): nothing here allocates, and the
    /// only lock is the one the library already holds.
    void fill(size_t bytes) noexcept
    {
        while (bytes >= m_frameBytes) {
            void* data = nullptr;
            size_t size = std::min(bytes, size_t(scratchFrames) * m_frameBytes);
            if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
                return;
            const qint64 frames = qint64(std::min(size, bytes) / m_frameBytes);
            if (frames == 0) {
                pa_stream_cancel_write(m_stream);
                return;
            }
            m_renderer->renderOutput(m_channels.data(), m_channelCount, frames);
            auto* out = static_cast<float*>(data);
            for (qint64 f = 0; f < frames; ++f)
                for (int c = 0; c < m_channelCount; ++c)
                    *out++ = m_channels[size_t(c)][f];
            const size_t written = size_t(frames) * m_frameBytes;
            pa_stream_write(m_stream, data, written, nullptr, 0, PA_SEEK_RELATIVE);
            bytes -= written;
        }
    }

    static void writeRequested(pa_stream*, size_t bytes, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        if (self->m_started)
            self->fill(bytes);
    }

    static void underflowed(pa_stream*, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        if (self->m_started)
            self->m_renderer->underrun();
    }

    pa_threaded_mainloop* m_loop = nullptr;
    // Touched only under the loop's lock:
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    bool m_started = false;
    Renderer* m_renderer = nullptr;
    quint32 m_rate = 48000; ///< the stream's, as the server said
    int m_channelCount = 2;
    size_t m_frameBytes = 8;
    std::vector<float> m_samples;
    std::vector<float*> m_channels;
};

} // namespace

std::unique_ptr<AudioOutput> makePulseOutput()
{
    return std::make_unique<PulseOutput>();
}

} // namespace tolvex::host
