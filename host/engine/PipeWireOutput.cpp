#include "host/HostError.h"
#include "host/engine/Outputs.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include <sched.h>
#include <time.h>

namespace tolvex::host {

namespace {

/// How long the server may take to answer the connection or a new stream.
constexpr int answerSeconds = 2;

/// The frames the stream asks the graph to run in, at 48 kHz: about 21 ms,
/// PipeWire's default quantum. The compare switch and seeks are heard after
/// one or two of them and the sink's own delay; a shorter quantum wakes
/// every node of the graph more often and ran dry on a busy machine.
constexpr int latencyFrames = 1024;

constexpr int streamChannels = 2;

/// The loop thread's real-time priority, where it may have one: below the
/// server's threads and the data thread, above everything at normal
/// priority, so that a start, a stop or a seek reaches the server at once
/// on a busy machine.
constexpr int loopPriority = 3;

/// Holds the thread loop's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : m_loop(loop) { pw_thread_loop_lock(loop); }
    ~LoopLock() { pw_thread_loop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* m_loop;
};

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

/// Sound through PipeWire, spoken to natively: a stream in the graph that
/// the graph pulls each cycle, rendered on the client's real-time data
/// thread right when the sink needs it.
///
/// The output connects as soon as it is made, learns the graph's rate and
/// whether any sink is there, and makes its stream at the graph's rate (the
/// engine resamples to it). The stream is kept, inactive between previews,
/// so that a start is heard after one cycle of the graph.
class PipeWireOutput : public AudioOutput {
public:
    PipeWireOutput()
    {
        initialiseOnce();
        m_loop = pw_thread_loop_new("tolvex-sound", nullptr);
        if (!m_loop)
            return;
        // The configuration for real-time clients: its data thread, where
        // the chain renders, gets real-time scheduling (from the system,
        // or through RealtimeKit on a desktop), so that other work on a
        // busy machine does not make a cycle late.
        m_context =
            pw_context_new(pw_thread_loop_get_loop(m_loop),
                           pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
        if (!m_context || pw_thread_loop_start(m_loop) < 0) {
            dropLoop();
            return;
        }
        LoopLock lock(m_loop);
        connectCore();
    }

    ~PipeWireOutput() override
    {
        if (!m_loop)
            return;
        pw_thread_loop_stop(m_loop);
        disconnectCore();
        dropLoop();
    }

    PipeWireOutput(const PipeWireOutput&) = delete;
    PipeWireOutput& operator=(const PipeWireOutput&) = delete;

    /// Whether a PipeWire server took the connection; whether it has a sink
    /// to play to is known at open().
    bool reachable() const { return m_core != nullptr; }

    double open(double, int channels, Renderer& renderer) override
    {
        stop();
        if (!m_loop)
            throw HostError(QStringLiteral("Kein PipeWire-Server antwortet."));
        LoopLock lock(m_loop);
        if (!m_core || m_failed) { // the server went away: perhaps it is back
            disconnectCore();
            connectCore();
            if (!m_core)
                throw HostError(QStringLiteral("Kein PipeWire-Server antwortet."));
        }
        if (!waitUntil([this] { return m_synced || m_failed; }) || m_failed)
            throw HostError(QStringLiteral("Der PipeWire-Server antwortet nicht."));
        if (m_sinks.empty())
            throw HostError(QStringLiteral("PipeWire hat kein Gerät zum Abspielen."));
        if (channels != streamChannels)
            throw HostError(QStringLiteral("PipeWire kann dieses Format nicht abspielen."));
        if (m_stream && pw_stream_get_state(m_stream, nullptr) == PW_STREAM_STATE_ERROR)
            dropStream(); // the sink went away, or the server refused it
        if (!m_stream)
            connectStream();
        if (!waitUntil([this] { return streamSettled(); }) || !m_stream ||
            pw_stream_get_state(m_stream, nullptr) == PW_STREAM_STATE_ERROR) {
            const char* error = nullptr;
            if (m_stream)
                pw_stream_get_state(m_stream, &error);
            dropStream();
            throw HostError(QStringLiteral("PipeWire nimmt den Ton nicht an (%1).")
                                .arg(QString::fromUtf8(error ? error : "keine Antwort")));
        }
        m_renderer = &renderer;
        return m_rate;
    }

    void start() override
    {
        if (!m_loop)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        LoopLock lock(m_loop);
        if (!m_renderer || !m_stream)
            throw HostError(QStringLiteral("Die Audioausgabe ist nicht geöffnet."));
        if (m_started.load(std::memory_order_relaxed))
            return;
        m_lastTicks = 0;
        m_lastFrames = 0;
        m_started.store(true, std::memory_order_release);
        pw_stream_set_active(m_stream, true);
    }

    /// Silences the stream at once; when it returns, the data thread has
    /// left the renderer. The stream stays for the next start.
    void stop() override
    {
        if (!m_loop)
            return;
        LoopLock lock(m_loop);
        if (!m_started.load(std::memory_order_relaxed))
            return;
        m_started.store(false, std::memory_order_release);
        if (!m_stream)
            return;
        pw_stream_set_active(m_stream, false);
        pw_stream_flush(m_stream, false);
        // A cycle that began before the flag went down ends before this
        // returns: the data loop runs this call after it.
        pw_loop_invoke(
            pw_data_loop_get_loop(pw_context_get_data_loop(m_context)),
            [](spa_loop*, bool, uint32_t, const void*, size_t, void*) { return 0; }, 0, nullptr, 0,
            true, nullptr);
    }

    void close() override
    {
        stop();
        if (m_loop) {
            LoopLock lock(m_loop);
            m_renderer = nullptr;
        }
    }

    /// The sink's delay as the graph reports it, what the stream's resampler
    /// holds, and the cycle being rendered. (Nothing else is queued: each
    /// cycle's frames are rendered in that cycle.)
    double latency() const override
    {
        if (!m_loop)
            return 0;
        LoopLock lock(m_loop);
        if (!m_started.load(std::memory_order_relaxed) || !m_stream)
            return 0;
        pw_time time{};
        if (pw_stream_get_time_n(m_stream, &time, sizeof time) < 0 || time.rate.denom == 0 ||
            time.ticks == 0)
            return 0;
        const double tick = double(time.rate.num) / double(time.rate.denom);
        const double delay =
            double(std::max<int64_t>(time.delay, 0)) * tick + double(time.buffered) / m_rate;
        return delay + double(m_lastFrames.load(std::memory_order_relaxed)) / m_rate;
    }

private:
    // Everything below but the data thread's process() runs with the loop's
    // lock held: on the loop's thread in its callbacks, or on the owner's
    // thread inside a LoopLock.

    /// Connects to the session's server and starts learning its rate and
    /// sinks; the stream follows when the server has told them.
    void connectCore()
    {
        m_synced = false;
        m_failed = false;
        m_sinks.clear();
        m_core = pw_context_connect(m_context, nullptr, 0);
        if (!m_core)
            return; // no PipeWire in this session
        static const pw_core_events coreEvents = [] {
            pw_core_events events{};
            events.version = PW_VERSION_CORE_EVENTS;
            events.info = &PipeWireOutput::coreDescribed;
            events.done = &PipeWireOutput::coreDone;
            events.error = &PipeWireOutput::coreFailed;
            return events;
        }();
        pw_core_add_listener(m_core, &m_coreListener, &coreEvents, this);
        m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registryEvents = [] {
            pw_registry_events events{};
            events.version = PW_VERSION_REGISTRY_EVENTS;
            events.global = &PipeWireOutput::globalAdded;
            events.global_remove = &PipeWireOutput::globalRemoved;
            return events;
        }();
        pw_registry_add_listener(m_registry, &m_registryListener, &registryEvents, this);
        m_syncSeq = pw_core_sync(m_core, PW_ID_CORE, 0);
    }

    void disconnectCore()
    {
        dropStream();
        if (m_registry) {
            spa_hook_remove(&m_registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
            m_registry = nullptr;
        }
        if (m_core) {
            spa_hook_remove(&m_coreListener);
            pw_core_disconnect(m_core);
            m_core = nullptr;
        }
    }

    /// Asks for real-time scheduling for the loop's thread, where the
    /// system allows it; elsewhere the thread stays as it is.
    static void raisePriority()
    {
        sched_param parameters{};
        parameters.sched_priority = std::min(loopPriority, sched_get_priority_max(SCHED_RR));
        sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &parameters);
    }

    /// On the loop's thread, once the server has answered.
    static void coreDescribed(void* user, const pw_core_info* info)
    {
        raisePriority();
        auto* self = static_cast<PipeWireOutput*>(user);
        if (const char* rate = info && info->props
                                   ? spa_dict_lookup(info->props, "default.clock.rate")
                                   : nullptr) {
            const int value = atoi(rate);
            if (value >= 8000 && value <= 768000)
                self->m_rate = value;
        }
    }

    static void coreDone(void* user, uint32_t id, int seq)
    {
        auto* self = static_cast<PipeWireOutput*>(user);
        if (id == PW_ID_CORE && seq == self->m_syncSeq) {
            self->m_synced = true;
            if (!self->m_sinks.empty())
                self->connectStream();
            pw_thread_loop_signal(self->m_loop, false);
        }
    }

    static void coreFailed(void* user, uint32_t id, int, int, const char*)
    {
        auto* self = static_cast<PipeWireOutput*>(user);
        if (id == PW_ID_CORE) { // the connection itself, not one of its objects
            self->m_failed = true;
            pw_thread_loop_signal(self->m_loop, false);
        }
    }

    static void globalAdded(void* user, uint32_t id, uint32_t, const char* type, uint32_t,
                            const spa_dict* props)
    {
        auto* self = static_cast<PipeWireOutput*>(user);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 || !props)
            return;
        const char* mediaClass = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
        if (mediaClass && std::strcmp(mediaClass, "Audio/Sink") == 0 &&
            std::find(self->m_sinks.begin(), self->m_sinks.end(), id) == self->m_sinks.end())
            self->m_sinks.push_back(id);
    }

    static void globalRemoved(void* user, uint32_t id)
    {
        auto& sinks = static_cast<PipeWireOutput*>(user)->m_sinks;
        sinks.erase(std::remove(sinks.begin(), sinks.end(), id), sinks.end());
    }

    /// Makes the stream, inactive; the session manager links it to the
    /// default sink. Its properties name it in the desktop's volume control.
    void connectStream()
    {
        const QByteArray latency =
            QByteArray::number(latencyFrames * m_rate / 48000) + '/' + QByteArray::number(m_rate);
        pw_properties* properties = pw_properties_new(
            PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE,
            "Production", PW_KEY_MEDIA_NAME, "Vorhören", PW_KEY_APP_NAME, "Tolvex", PW_KEY_APP_ID,
            "tolvex", PW_KEY_APP_ICON_NAME, "tolvex", PW_KEY_NODE_NAME, "tolvex",
            PW_KEY_NODE_DESCRIPTION, "Tolvex", PW_KEY_NODE_LATENCY, latency.constData(), nullptr);
        m_stream = pw_stream_new(m_core, "Vorhören", properties);
        if (!m_stream)
            return;
        static const pw_stream_events streamEvents = [] {
            pw_stream_events events{};
            events.version = PW_VERSION_STREAM_EVENTS;
            events.state_changed = &PipeWireOutput::streamChanged;
            events.process = &PipeWireOutput::process;
            return events;
        }();
        pw_stream_add_listener(m_stream, &m_streamListener, &streamEvents, this);

        spa_audio_info_raw format{};
        format.format = SPA_AUDIO_FORMAT_F32P;
        format.rate = uint32_t(m_rate);
        format.channels = streamChannels;
        format.position[0] = SPA_AUDIO_CHANNEL_FL;
        format.position[1] = SPA_AUDIO_CHANNEL_FR;
        std::array<uint8_t, 1024> space{};
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, space.data(), uint32_t(space.size()));
        const spa_pod* params[1] = {
            spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
        const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_INACTIVE |
                                           PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
        if (pw_stream_connect(m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0)
            dropStream();
    }

    /// Whether the stream has come to an end of its connecting, good or bad.
    bool streamSettled() const
    {
        if (!m_stream || m_failed)
            return true;
        const pw_stream_state state = pw_stream_get_state(m_stream, nullptr);
        return state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING ||
               state == PW_STREAM_STATE_ERROR;
    }

    static void streamChanged(void* user, pw_stream_state, pw_stream_state, const char*)
    {
        pw_thread_loop_signal(static_cast<PipeWireOutput*>(user)->m_loop, false);
    }

    /// Waits on the loop until `done`, or false after the answer time.
    template <typename Done>
    bool waitUntil(Done done)
    {
        timespec deadline{};
        pw_thread_loop_get_time(m_loop, &deadline, answerSeconds * SPA_NSEC_PER_SEC);
        while (!done())
            if (pw_thread_loop_timed_wait_full(m_loop, &deadline) < 0)
                return done();
        return true;
    }

    void dropStream()
    {
        m_started.store(false, std::memory_order_release);
        if (!m_stream)
            return;
        spa_hook_remove(&m_streamListener);
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }

    void dropLoop()
    {
        if (m_context)
            pw_context_destroy(m_context);
        m_context = nullptr;
        if (m_loop)
            pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }

    /// On the data thread, once in each cycle of the graph while the stream
    /// is active: renders the cycle's frames straight into the buffer's
    /// planes. Nothing here allocates, locks or waits.
    static void process(void* user)
    {
        auto* self = static_cast<PipeWireOutput*>(user);
        if (!self->m_started.load(std::memory_order_acquire))
            return;
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->m_stream);
        if (!buffer)
            return;
        spa_buffer* planes = buffer->buffer;
        std::array<float*, streamChannels> channels{};
        uint32_t room = UINT32_MAX;
        for (int c = 0; c < streamChannels; ++c) {
            if (uint32_t(c) >= planes->n_datas || !planes->datas[c].data) {
                room = 0;
                break;
            }
            channels[size_t(c)] = static_cast<float*>(planes->datas[c].data);
            room = std::min(room, planes->datas[c].maxsize / uint32_t(sizeof(float)));
        }
        uint32_t frames = buffer->requested ? std::min(uint32_t(buffer->requested), room)
                                            : std::min(uint32_t(latencyFrames), room);
        if (frames > 0) {
            self->noteCycle();
            self->m_renderer->renderOutput(channels.data(), streamChannels, frames);
        }
        for (uint32_t c = 0; c < planes->n_datas; ++c) {
            planes->datas[c].chunk->offset = 0;
            planes->datas[c].chunk->stride = sizeof(float);
            planes->datas[c].chunk->size = frames * uint32_t(sizeof(float));
        }
        self->m_lastFrames.store(frames, std::memory_order_relaxed);
        pw_stream_queue_buffer(self->m_stream, buffer);
    }

    /// Counts a cycle of the graph that passed without this stream, so that
    /// the sink played silence in its place: the graph's clock moved on by
    /// more than the frames rendered in the call before.
    void noteCycle() noexcept
    {
        pw_time time{};
        if (pw_stream_get_time_n(m_stream, &time, sizeof time) < 0 || time.ticks == 0)
            return;
        const uint64_t last = m_lastTicks;
        const uint64_t frames = m_lastFrames.load(std::memory_order_relaxed);
        m_lastTicks = time.ticks;
        if (last != 0 && frames != 0 && time.ticks > last + frames + frames / 2)
            m_renderer->underrun();
    }

    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    // Touched only under the loop's lock:
    pw_core* m_core = nullptr;
    spa_hook m_coreListener{};
    pw_registry* m_registry = nullptr;
    spa_hook m_registryListener{};
    int m_syncSeq = -1;
    bool m_synced = false;
    bool m_failed = false;
    std::vector<uint32_t> m_sinks; ///< the graph's audio sinks, by id
    pw_stream* m_stream = nullptr;
    spa_hook m_streamListener{};
    Renderer* m_renderer = nullptr;
    int m_rate = 48000; ///< the graph's, as the server said
    // Shared with the data thread:
    std::atomic<bool> m_started{false};
    std::atomic<uint32_t> m_lastFrames{0};
    uint64_t m_lastTicks = 0; ///< the data thread's, but for start()
};

} // namespace

std::unique_ptr<AudioOutput> makePipeWireOutput()
{
    auto output = std::make_unique<PipeWireOutput>();
    if (!output->reachable())
        return nullptr;
    return output;
}

} // namespace tolvex::host
