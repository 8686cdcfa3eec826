#pragma once

#include <vector>

namespace tolvex::render {

/// How a chain whose plugins cost `costs` (per frame, in chain order) is
/// split into runs of consecutive plugins, one per thread, using at most
/// `threads`: the sizes of the runs, in chain order. The split makes the
/// dearest run as cheap as it can be, with as few runs as that takes: a
/// thread that would not lower the dearest run is not used. Without costs
/// (none measured, all zero) every plugin counts the same. One run, or
/// none for an empty chain, means the chain is not split.
std::vector<int> stagesByCost(std::vector<double> costs, int threads);

} // namespace tolvex::render
