#include "tests/support/LilvLockProbe.h"

#include "tests/support/AudioThreadProbe.h"

#include <lilv/lilv.h>

#include <algorithm>
#include <atomic>
#include <dlfcn.h>
#include <mutex>

namespace tolvex::testing::lilvprobe {

namespace {

std::atomic<bool> g_watching{false};
std::mutex g_mutex; ///< guards what follows
long g_calls = 0;
probe::HeldLocks g_common; ///< held at every call so far
const char* g_firstUnguarded = nullptr;

} // namespace

bool available()
{
    return probe::available();
}

void start()
{
    if (!available())
        return; // no lock of the probe's may order the calls the sanitizer watches
    std::lock_guard lock(g_mutex);
    g_calls = 0;
    g_common = {};
    g_firstUnguarded = nullptr;
    g_watching = true;
}

Report stop()
{
    g_watching = false;
    std::lock_guard lock(g_mutex);
    return {g_calls, !g_firstUnguarded, QString::fromLatin1(g_firstUnguarded)};
}

/// Intersects the mutexes held now with those held at every call before.
void note(const char* call)
{
    if (!g_watching.load(std::memory_order_acquire))
        return;
    const probe::HeldLocks held = probe::heldLocks();
    const int count = std::min(held.count, probe::HeldLocks::capacity);
    std::lock_guard lock(g_mutex);
    if (g_calls++ == 0) {
        g_common = held;
        g_common.count = count;
    } else {
        const auto gone =
            std::remove_if(g_common.locks, g_common.locks + g_common.count, [&](const void* mutex) {
                return std::find(held.locks, held.locks + count, mutex) == held.locks + count;
            });
        g_common.count = int(gone - g_common.locks);
    }
    if (g_common.count == 0 && !g_firstUnguarded)
        g_firstUnguarded = call;
}

} // namespace tolvex::testing::lilvprobe

// The calls that read or change what a world shares: instances (the
// library counts), states and nodes (the node store), and the queries the
// host makes while plugins are in use. Each is noted, then passed on to
// lilv's own.
extern "C" {

#define TOLVEX_WATCH(result, name, parameters, arguments)                                          \
    result name parameters                                                                         \
    {                                                                                              \
        using Real = result(*) parameters;                                                         \
        static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, #name));                  \
        tolvex::testing::lilvprobe::note(#name);                                                   \
        return real arguments;                                                                     \
    }

TOLVEX_WATCH(LilvInstance*, lilv_plugin_instantiate,
             (const LilvPlugin* plugin, double rate, const LV2_Feature* const* features),
             (plugin, rate, features))
TOLVEX_WATCH(void, lilv_instance_free, (LilvInstance * instance), (instance))
TOLVEX_WATCH(LilvState*, lilv_state_new_from_instance,
             (const LilvPlugin* plugin, LilvInstance* instance, LV2_URID_Map* map,
              const char* scratch, const char* copy, const char* link, const char* save,
              LilvGetPortValueFunc value, void* user, uint32_t flags,
              const LV2_Feature* const* features),
             (plugin, instance, map, scratch, copy, link, save, value, user, flags, features))
TOLVEX_WATCH(void, lilv_state_restore,
             (const LilvState* state, LilvInstance* instance, LilvSetPortValueFunc set, void* user,
              uint32_t flags, const LV2_Feature* const* features),
             (state, instance, set, user, flags, features))
TOLVEX_WATCH(void, lilv_state_free, (LilvState * state), (state))
TOLVEX_WATCH(char*, lilv_state_to_string,
             (LilvWorld * world, LV2_URID_Map* map, LV2_URID_Unmap* unmap, const LilvState* state,
              const char* uri, const char* base),
             (world, map, unmap, state, uri, base))
TOLVEX_WATCH(LilvState*, lilv_state_new_from_string,
             (LilvWorld * world, LV2_URID_Map* map, const char* text), (world, map, text))
TOLVEX_WATCH(void, lilv_node_free, (LilvNode * node), (node))
TOLVEX_WATCH(void, lilv_nodes_free, (LilvNodes * nodes), (nodes))
TOLVEX_WATCH(bool, lilv_plugin_has_extension_data, (const LilvPlugin* plugin, const LilvNode* uri),
             (plugin, uri))
TOLVEX_WATCH(LilvNodes*, lilv_plugin_get_required_features, (const LilvPlugin* plugin), (plugin))
TOLVEX_WATCH(LilvNode*, lilv_port_get,
             (const LilvPlugin* plugin, const LilvPort* port, const LilvNode* predicate),
             (plugin, port, predicate))
TOLVEX_WATCH(LilvNode*, lilv_port_get_name, (const LilvPlugin* plugin, const LilvPort* port),
             (plugin, port))
TOLVEX_WATCH(LilvScalePoints*, lilv_port_get_scale_points,
             (const LilvPlugin* plugin, const LilvPort* port), (plugin, port))
TOLVEX_WATCH(void, lilv_scale_points_free, (LilvScalePoints * points), (points))
TOLVEX_WATCH(LilvNode*, lilv_world_get,
             (LilvWorld * world, const LilvNode* subject, const LilvNode* predicate,
              const LilvNode* object),
             (world, subject, predicate, object))
TOLVEX_WATCH(bool, lilv_world_ask,
             (LilvWorld * world, const LilvNode* subject, const LilvNode* predicate,
              const LilvNode* object),
             (world, subject, predicate, object))
TOLVEX_WATCH(LilvUIs*, lilv_plugin_get_uis, (const LilvPlugin* plugin), (plugin))
TOLVEX_WATCH(void, lilv_uis_free, (LilvUIs * uis), (uis))
}
