// Pass counts of the femur analysis's two smoothing scales.
#include "analysis/femur_smoothing.h"

#include <gtest/gtest.h>

#include <limits>

TEST(FemurSmoothing, PassCountsComeFromTheNearestTableEntries)
{
    struct Case {
        double mean_edge;
        int fine_median, fine_mean, coarse_median, coarse_mean;
    } cases[] = {
        {1.0, 3, 6, 32, 108}, // 20 sits at median entries 32 and 33: the first wins
        {2.0, 1, 1, 14, 26},  // 2.5 lies halfway between mean entries 1 and 2: the first wins
        // Too fine for the coarse searches: every entry lies 10 or more below 20 / 0.5 = 40,
        // so the widest entries serve.
        {0.5, 14, 26, 40, 199},
        // No usable mean edge (no triangle, or all vertices in one point): counts stay within
        // the tables.
        {0.0, 40, 199, 40, 199},
        {std::numeric_limits<double>::quiet_NaN(), 40, 199, 40, 199},
    };
    for (const Case& c : cases) {
        const FemurSmoothingPasses passes = femur_smoothing_passes(c.mean_edge);
        EXPECT_EQ(passes.fine.median, c.fine_median) << c.mean_edge;
        EXPECT_EQ(passes.fine.mean, c.fine_mean) << c.mean_edge;
        EXPECT_EQ(passes.coarse.median, c.coarse_median) << c.mean_edge;
        EXPECT_EQ(passes.coarse.mean, c.coarse_mean) << c.mean_edge;
    }
}
