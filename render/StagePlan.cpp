#include "render/StagePlan.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace tolvex::render {

std::vector<int> stagesByCost(std::vector<double> costs, int threads)
{
    const size_t n = costs.size();
    if (n == 0)
        return {};
    if (std::all_of(costs.begin(), costs.end(), [](double cost) { return !(cost > 0); }))
        std::fill(costs.begin(), costs.end(), 1.0);
    const size_t parts = std::clamp<size_t>(size_t(std::max(threads, 1)), 1, n);
    std::vector<double> prefix(n + 1, 0.0);
    std::partial_sum(costs.begin(), costs.end(), prefix.begin() + 1);
    // best[k][i]: the dearest run when the first i plugins go into k runs;
    // cut[k][i]: where the last of those runs begins.
    const double none = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> best(parts + 1, std::vector<double>(n + 1, none));
    std::vector<std::vector<size_t>> cut(parts + 1, std::vector<size_t>(n + 1, 0));
    best[0][0] = 0;
    for (size_t k = 1; k <= parts; ++k)
        for (size_t i = k; i <= n; ++i)
            for (size_t j = k - 1; j < i; ++j) {
                const double dearest = std::max(best[k - 1][j], prefix[i] - prefix[j]);
                if (dearest < best[k][i]) {
                    best[k][i] = dearest;
                    cut[k][i] = j;
                }
            }
    size_t used = 1;
    while (best[used][n] > best[parts][n])
        ++used;
    std::vector<int> sizes(used);
    for (size_t k = used, i = n; k > 0; --k) {
        const size_t begin = cut[k][i];
        sizes[k - 1] = int(i - begin);
        i = begin;
    }
    return sizes;
}

} // namespace tolvex::render
