#include "analysis/femur_smoothing.h"

#include "surface/data_smoothing.h"

#include <cmath>
#include <cstddef>

const std::array<float, 41> FemurSmoothingTable = {
    0,  3,  4,  5,  6,  6,  7,  7,  8,  8,  8,  9,  9,  9,  10, 10, 11, 11, 12, 13, 13,
    14, 14, 15, 15, 16, 16, 17, 17, 18, 19, 19, 20, 20, 21, 21, 22, 22, 23, 23, 24};

namespace {

// Index of the entry nearest to t among the first `count`, distances rounded to single
// precision; none within 10 gives the last entry searched, the widest smoothing there is.
template <std::size_t N>
int nearest_entry(const std::array<float, N>& table, std::size_t count, double t)
{
    float best = 10.0f;
    int found = static_cast<int>(count) - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const auto distance = static_cast<float>(std::fabs(static_cast<double>(table[i]) - t));
        if (distance < best) {
            best = distance;
            found = static_cast<int>(i);
        }
    }
    return found;
}

SmoothingPasses passes_for(double t)
{
    SmoothingPasses passes;
    passes.mean = nearest_entry(FwhmFactorTable, FwhmFactorTable.size() - 1, t);
    passes.median = nearest_entry(FemurSmoothingTable, FemurSmoothingTable.size(), t);
    return passes;
}

} // namespace

FemurSmoothingPasses femur_smoothing_passes(double mean_edge)
{
    return {passes_for(5.0 / mean_edge), passes_for(20.0 / mean_edge)};
}
