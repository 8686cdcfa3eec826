#pragma once

#include <lilv/lilv.h>

#include <memory>

namespace tolvex::host {

/// Owning pointers for what lilv hands out to be freed: each frees its
/// object with the matching lilv call when it goes, and a null one frees
/// nothing.
template <typename T, void (*Free)(T*)>
struct LilvFree {
    void operator()(T* handle) const { Free(handle); }
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
using LilvStatePtr = std::unique_ptr<LilvState, LilvFree<LilvState, lilv_state_free>>;
using LilvInstancePtr = std::unique_ptr<LilvInstance, LilvFree<LilvInstance, lilv_instance_free>>;
/// A string lilv made (a state as Turtle).
using LilvStringPtr = std::unique_ptr<char, LilvFree<char, lilvFreeString>>;

} // namespace tolvex::host
