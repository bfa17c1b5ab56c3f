#include "registration/lad_neighbours.h"

#include "surface/thread_pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// A cell is never narrower than the largest extent over this, so a tiny radius cannot make the
// cell keys overflow.
constexpr double most_cells_per_axis = 1000.0;
// Cells a little wider than the radius keep two points closer than the radius in adjacent
// cells even when the division that bins them rounds.
constexpr double cell_margin = 1.0 + 1e-9;
// Lists per chunk when they are filled on the pool's threads.
constexpr std::size_t entries_per_chunk = 256;

// Cubic cells over the finite positions; a cell key orders the cells x outermost.
class CellGrid {
public:
    CellGrid(const std::vector<Point3>& positions, double radius)
    {
        Point3 high{-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                    -std::numeric_limits<double>::max()};
        origin_ = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                   std::numeric_limits<double>::max()};
        for (const Point3& p : positions)
            if (is_finite(p)) {
                origin_ = {std::min(origin_.x, p.x), std::min(origin_.y, p.y),
                           std::min(origin_.z, p.z)};
                high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
            }
        const std::array<double, 3> extent = {high.x - origin_.x, high.y - origin_.y,
                                              high.z - origin_.z};
        const double largest = std::max({0.0, extent[0], extent[1], extent[2]});
        edge_ = std::max(radius * cell_margin, largest / most_cells_per_axis);
        for (std::size_t axis = 0; axis < 3; ++axis)
            counts_[axis] =
                static_cast<std::int64_t>(std::floor(std::max(0.0, extent[axis]) / edge_)) + 1;
    }

    std::array<std::int64_t, 3> cell_of(const Point3& p) const
    {
        const double offsets[3] = {p.x - origin_.x, p.y - origin_.y, p.z - origin_.z};
        std::array<std::int64_t, 3> cell{};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const auto c = static_cast<std::int64_t>(std::floor(offsets[axis] / edge_));
            cell[axis] = std::clamp<std::int64_t>(c, 0, counts_[axis] - 1);
        }
        return cell;
    }

    bool contains(const std::array<std::int64_t, 3>& cell) const
    {
        for (std::size_t axis = 0; axis < 3; ++axis)
            if (cell[axis] < 0 || cell[axis] >= counts_[axis])
                return false;
        return true;
    }

    std::int64_t key(const std::array<std::int64_t, 3>& cell) const
    {
        return (cell[0] * counts_[1] + cell[1]) * counts_[2] + cell[2];
    }

private:
    Point3 origin_;
    double edge_ = 1.0;
    std::array<std::int64_t, 3> counts_{1, 1, 1};
};

} // namespace

std::vector<std::vector<std::int32_t>> find_lad_neighbours(const std::vector<Point3>& positions,
                                                           double radius)
{
    std::vector<std::vector<std::int32_t>> neighbours(positions.size());
    if (!(radius > 0.0))
        return neighbours;

    const CellGrid grid(positions, radius);
    // (cell key, vertex) sorted, so each cell is one run of ascending vertex indices.
    std::vector<std::pair<std::int64_t, std::int32_t>> entries;
    entries.reserve(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        if (is_finite(positions[i]))
            entries.emplace_back(grid.key(grid.cell_of(positions[i])),
                                 static_cast<std::int32_t>(i));
    std::sort(entries.begin(), entries.end());

    // Each entry fills the list of its own vertex from the sorted entries, which nothing
    // changes any more: the lists can be filled on any thread.
    parallel_for_each(entries.size(), entries_per_chunk, [&](std::size_t e) {
        const auto& entry = entries[e];
        const std::int32_t vertex = entry.second;
        const Point3& p = positions[static_cast<std::size_t>(vertex)];
        const std::array<std::int64_t, 3> centre = grid.cell_of(p);
        std::vector<std::int32_t>& list = neighbours[static_cast<std::size_t>(vertex)];
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const std::array<std::int64_t, 3> cell = {centre[0] + dx, centre[1] + dy,
                                                              centre[2] + dz};
                    if (!grid.contains(cell))
                        continue;
                    const std::int64_t key = grid.key(cell);
                    auto it =
                        std::lower_bound(entries.begin(), entries.end(),
                                         std::pair{key, std::numeric_limits<std::int32_t>::min()});
                    for (; it != entries.end() && it->first == key; ++it)
                        if (std::sqrt(squared_distance(
                                p, positions[static_cast<std::size_t>(it->second)])) < radius)
                            list.push_back(it->second);
                }
        std::sort(list.begin(), list.end());
    });
    return neighbours;
}
