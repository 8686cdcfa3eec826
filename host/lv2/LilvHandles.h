#pragma once

#include <lilv/lilv.h>

#include <cassert>
#include <memory>
#include <mutex>

namespace tolvex::host {

/// Owning pointers for what lilv hands out to be freed: each frees its
/// object with the matching lilv call when it goes, and a null one frees
/// nothing. Freeing a node, a collection of nodes or scale points changes
/// the world's node store: such a pointer goes while its thread holds the
/// world's lock.
template <typename T, void (*Free)(T*)>
struct LilvFree {
    void operator()(T* handle) const { Free(handle); }
};

/// The deleter for what lilv frees by changing what its world shares with
/// every thread: an instance's free closes its plugin's library (a count of
/// the world's, the library unloaded with the last), a state's releases
/// nodes of the world's store. It frees under the world's lock, which the
/// freeing thread must not hold. Default-made only for a pointer that stays
/// null.
template <typename T, void (*Free)(T*)>
class LilvLockedFree {
public:
    LilvLockedFree() = default;
    explicit LilvLockedFree(std::mutex& worldLock) : m_lock(&worldLock) {}
    void operator()(T* handle) const
    {
        assert(m_lock);
        std::lock_guard lock(*m_lock);
        Free(handle);
    }

private:
    std::mutex* m_lock = nullptr;
};

inline void lilvFreeString(char* text)
{
    lilv_free(text);
}

using LilvWorldPtr = std::unique_ptr<LilvWorld, LilvFree<LilvWorld, lilv_world_free>>;
using LilvNodePtr = std::unique_ptr<LilvNode, LilvFree<LilvNode, lilv_node_free>>;
using LilvNodesPtr = std::unique_ptr<LilvNodes, LilvFree<LilvNodes, lilv_nodes_free>>;
using LilvScalePointsPtr =
    std::unique_ptr<LilvScalePoints, LilvFree<LilvScalePoints, lilv_scale_points_free>>;
/// Made by Lv2World::own(), which gives them the world's lock.
using LilvStatePtr = std::unique_ptr<LilvState, LilvLockedFree<LilvState, lilv_state_free>>;
using LilvInstancePtr =
    std::unique_ptr<LilvInstance, LilvLockedFree<LilvInstance, lilv_instance_free>>;
/// A string lilv made (a state as Turtle).
using LilvStringPtr = std::unique_ptr<char, LilvFree<char, lilvFreeString>>;

} // namespace tolvex::host
