// Closed zero-crossing contours: marks at the positive ends of sign changes, thinned to closed
// bands, walked into vertex loops.
#include "analysis/zero_crossing_contours.h"

#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int n = 15; // grid vertices per side; vertex (i, j) has index i * n + j

struct GridCase {
    const char* name;
    std::function<double(int, int)> value;
    std::size_t contour_count;
};

std::vector<std::vector<std::int64_t>> grid_contours(const std::function<double(int, int)>& value)
{
    const Mesh grid = flat_grid(14.0, n);
    std::vector<double> values;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            values.push_back(value(i, j));
    return zero_crossing_contours(build_curvature_mesh(grid.positions, grid.triangles),
                                  grid.triangles, values);
}

} // namespace

TEST(ZeroCrossingContours, OnlyClosedBandsBecomeContours)
{
    const GridCase cases[] = {
        // A positive disc inside a negative plane: its border is one closed loop.
        {"disc", [](int i, int j) { return std::hypot(i - 7, j - 7) <= 4.5 ? 1.0 : -1.0; }, 1},
        // A positive half plane: its border runs from grid edge to grid edge and wears away.
        {"half plane", [](int i, int) { return i < 7 ? 1.0 : -1.0; }, 0},
        // One sign everywhere, or zeros against negatives: nothing is marked.
        {"all positive", [](int, int) { return 1.0; }, 0},
        {"zero disc", [](int i, int j) { return std::hypot(i - 7, j - 7) <= 4.5 ? 0.0 : -1.0; }, 0},
        // Two discs far apart: two loops, in the order of their lowest vertices.
        {"two discs",
         [](int i, int j) {
             return std::hypot(i - 3, j - 3) <= 2.0 || std::hypot(i - 10, j - 10) <= 2.5 ? 1.0
                                                                                         : -1.0;
         },
         2},
    };
    for (const GridCase& c : cases)
        EXPECT_EQ(grid_contours(c.value).size(), c.contour_count) << c.name;
}

TEST(ZeroCrossingContours, ALoopWalksTheDiscBorderFromItsLowestVertex)
{
    auto inside = [](int i, int j) { return std::hypot(i - 7, j - 7) <= 4.5; };
    const auto contours = grid_contours([&](int i, int j) { return inside(i, j) ? 1.0 : -1.0; });
    ASSERT_EQ(contours.size(), 1u);
    const std::vector<std::int64_t>& loop = contours.front();
    EXPECT_EQ(loop.front(), *std::min_element(loop.begin(), loop.end()));
    ASSERT_GT(loop.size(), 12u);
    for (std::size_t k = 0; k < loop.size(); ++k) {
        const int i = static_cast<int>(loop[k] / n), j = static_cast<int>(loop[k] % n);
        // Every point is a positive vertex with a negative mesh neighbour (the grid's
        // diagonals run from (i, j) to (i + 1, j + 1)) ...
        EXPECT_TRUE(inside(i, j));
        EXPECT_FALSE(inside(i - 1, j) && inside(i + 1, j) && inside(i, j - 1) && inside(i, j + 1) &&
                     inside(i + 1, j + 1) && inside(i - 1, j - 1));
        // ... and a grid neighbour of the next one, round the loop.
        const std::int64_t next = loop[(k + 1) % loop.size()];
        const int di = std::abs(i - static_cast<int>(next / n));
        const int dj = std::abs(j - static_cast<int>(next % n));
        EXPECT_LE(std::max(di, dj), 1) << k;
        EXPECT_NE(loop[k], next);
    }
}
