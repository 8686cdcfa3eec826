#include "bench/preview/GraphProfile.h"

#include <pipewire/extensions/profiler.h>
#include <pipewire/impl-module.h>
#include <pipewire/pipewire.h>
#include <spa/param/profiler.h>
#include <spa/pod/iter.h>
#include <spa/pod/parser.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tolvex::bench {

namespace {

/// One cycle of the graph as the profiler reported it; 0: not reported.
struct Cycle {
    qint64 quantum = 0;      ///< the cycle's length, ns
    qint64 driverBegan = 0;  ///< when the driver began this cycle
    qint64 driverBefore = 0; ///< ... and the one before
    qint64 firstSignal = 0;  ///< when the first client was signalled
    qint64 streamSignal = 0;
    qint64 streamAwake = 0;
};

constexpr int finished = 3; ///< a node's state when its work in the cycle is done
constexpr int awake = 2;

} // namespace

struct GraphProfile::Listener {
    QByteArray stream;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    pw_proxy* profiler = nullptr;
    spa_hook registryHook{};
    spa_hook profilerHook{};
    mutable std::mutex mutex;
    std::vector<Cycle> cycles; ///< under the mutex

    /// One reported cycle: its clock, its driver's block, and one block per
    /// client that took part.
    void read(const spa_pod* object)
    {
        Cycle cycle;
        const spa_pod_prop* prop;
        SPA_POD_OBJECT_FOREACH(reinterpret_cast<const spa_pod_object*>(object), prop)
        {
            int32_t id = 0, status = 0, flags = 0;
            char* name = nullptr;
            int64_t prev = 0, signal = 0, woke = 0, finish = 0, nsec = 0, position = 0,
                    duration = 0;
            spa_fraction rate{};
            switch (prop->key) {
            case SPA_PROFILER_clock:
                if (spa_pod_parse_struct(&prop->value, SPA_POD_Int(&flags), SPA_POD_Int(&id),
                                         SPA_POD_String(&name), SPA_POD_Long(&nsec),
                                         SPA_POD_Fraction(&rate), SPA_POD_Long(&position),
                                         SPA_POD_Long(&duration)) >= 0 &&
                    rate.denom > 0)
                    cycle.quantum = duration * 1'000'000'000 / rate.denom;
                break;
            case SPA_PROFILER_driverBlock:
                if (spa_pod_parse_struct(&prop->value, SPA_POD_Int(&id), SPA_POD_String(&name),
                                         SPA_POD_Long(&prev), SPA_POD_Long(&signal),
                                         SPA_POD_Long(&woke), SPA_POD_Long(&finish),
                                         SPA_POD_Int(&status)) >= 0) {
                    cycle.driverBefore = prev;
                    cycle.driverBegan = signal;
                }
                break;
            case SPA_PROFILER_followerBlock:
                if (spa_pod_parse_struct(&prop->value, SPA_POD_Int(&id), SPA_POD_String(&name),
                                         SPA_POD_Long(&prev), SPA_POD_Long(&signal),
                                         SPA_POD_Long(&woke), SPA_POD_Long(&finish),
                                         SPA_POD_Int(&status)) < 0 ||
                    status == 0 || signal <= 0)
                    break;
                if (cycle.firstSignal == 0 || signal < cycle.firstSignal)
                    cycle.firstSignal = signal;
                if (name && isStream(name) && (status == awake || status == finished)) {
                    cycle.streamSignal = signal;
                    cycle.streamAwake = woke;
                }
                break;
            default:
                break;
            }
        }
        if (cycle.driverBegan == 0 || cycle.quantum == 0)
            return;
        std::lock_guard lock(mutex);
        cycles.push_back(cycle);
    }

    /// The preview's node, not the bench's own record stream nor the sink.
    bool isStream(const char* name) const
    {
        const QByteArray node = QByteArray(name).toLower();
        return node.contains(stream) && !node.contains("monitor") && !node.contains("_null");
    }

    static void profile(void* data, const spa_pod* pod)
    {
        auto* self = static_cast<Listener*>(data);
        // SPA_POD_STRUCT_FOREACH, without its conversion from void* that C++ refuses.
        const auto* body = static_cast<const uint8_t*>(SPA_POD_BODY_CONST(pod));
        for (uint32_t offset = 0; offset + sizeof(spa_pod) <= SPA_POD_BODY_SIZE(pod);) {
            const auto* object = reinterpret_cast<const spa_pod*>(body + offset);
            if (offset + SPA_POD_SIZE(object) > SPA_POD_BODY_SIZE(pod))
                break;
            if (spa_pod_is_object_type(object, SPA_TYPE_OBJECT_Profiler))
                self->read(object);
            offset += SPA_ROUND_UP_N(SPA_POD_SIZE(object), 8);
        }
    }

    static void global(void* data, uint32_t id, uint32_t, const char* type, uint32_t,
                       const spa_dict*)
    {
        auto* self = static_cast<Listener*>(data);
        if (self->profiler || std::strcmp(type, PW_TYPE_INTERFACE_Profiler) != 0)
            return;
        self->profiler = static_cast<pw_proxy*>(
            pw_registry_bind(self->registry, id, type, PW_VERSION_PROFILER, 0));
        if (!self->profiler)
            return;
        static const pw_profiler_events events{PW_VERSION_PROFILER_EVENTS, &Listener::profile};
        pw_proxy_add_object_listener(self->profiler, &self->profilerHook, &events, self);
    }
};

GraphProfile::GraphProfile(const QString& remote, QByteArray stream)
    : m_listener(std::make_unique<Listener>())
{
    pw_init(nullptr, nullptr);
    Listener& l = *m_listener;
    l.stream = stream.toLower();
    l.loop = pw_thread_loop_new("bench-profile", nullptr);
    if (!l.loop)
        return;
    l.context = pw_context_new(pw_thread_loop_get_loop(l.loop), nullptr, 0);
    // The module brings the protocol's side of the profiler's interface.
    if (!l.context ||
        !pw_context_load_module(l.context, PW_EXTENSION_MODULE_PROFILER, nullptr, nullptr) ||
        pw_thread_loop_start(l.loop) < 0)
        return;
    pw_thread_loop_lock(l.loop);
    l.core = pw_context_connect(
        l.context, pw_properties_new(PW_KEY_REMOTE_NAME, remote.toUtf8().constData(), nullptr), 0);
    if (l.core) {
        l.registry = pw_core_get_registry(l.core, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events events{PW_VERSION_REGISTRY_EVENTS, &Listener::global,
                                               nullptr};
        if (l.registry)
            pw_registry_add_listener(l.registry, &l.registryHook, &events, &l);
    }
    pw_thread_loop_unlock(l.loop);
}

GraphProfile::~GraphProfile()
{
    Listener& l = *m_listener;
    if (l.loop)
        pw_thread_loop_stop(l.loop);
    if (l.profiler)
        pw_proxy_destroy(l.profiler);
    if (l.registry)
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(l.registry));
    if (l.core)
        pw_core_disconnect(l.core);
    if (l.context)
        pw_context_destroy(l.context);
    if (l.loop)
        pw_thread_loop_destroy(l.loop);
}

bool GraphProfile::available() const
{
    std::lock_guard lock(m_listener->mutex);
    return !m_listener->cycles.empty();
}

GraphProfile::Window GraphProfile::between(qint64 from, qint64 to) const
{
    Window window;
    std::lock_guard lock(m_listener->mutex);
    for (const Cycle& c : m_listener->cycles) {
        if (c.driverBegan < from || c.driverBegan > to)
            continue;
        const qint64 half = c.quantum / 2;
        // (A driver that slept between previews began late by its sleep: not a stall.)
        if (c.driverBefore >= from && c.driverBegan - c.driverBefore > c.quantum + half)
            window.stalls.push_back({c.driverBefore + c.quantum, c.driverBegan});
        if (c.firstSignal > 0 && c.firstSignal - c.driverBegan > half)
            window.stalls.push_back({c.driverBegan, c.firstSignal});
        if (c.streamSignal > 0) {
            ++window.streamCycles;
            if (const qint64 late = c.streamAwake - c.streamSignal; late > half) {
                ++window.streamLate;
                window.streamLongest = std::max(window.streamLongest, double(late) / 1e6);
            }
        }
    }
    // A late driver that then signalled late is one stall.
    std::sort(window.stalls.begin(), window.stalls.end(),
              [](const Stall& a, const Stall& b) { return a.from < b.from; });
    std::vector<Stall> merged;
    for (const Stall& s : window.stalls) {
        if (!merged.empty() && s.from <= merged.back().to)
            merged.back().to = std::max(merged.back().to, s.to);
        else
            merged.push_back(s);
    }
    window.stalls = std::move(merged);
    return window;
}

} // namespace tolvex::bench
