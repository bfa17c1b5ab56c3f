// The share of a run's time its paints may take before a step skips its repaint.
#include "view/paint_budget.h"

#include <gtest/gtest.h>

TEST(PaintBudget, AStepSkipsItsRepaintOnlyWhileTheLastPaintTookMoreThanItsShare)
{
    PaintBudget budget;
    EXPECT_FALSE(budget.may_skip(5.0)); // nothing painted yet: paint
    budget.painted(10.0, 11.0);         // a paint of 1 s
    const struct {
        double share;
        double now;
        bool skip;
    } cases[] = {
        {0.2, 11.5, true},  // 1 s of 1.5 s
        {0.2, 14.9, true},  // 1 s of 4.9 s
        {0.2, 15.0, false}, // 1 s of 5 s: within a fifth
        {0.2, 20.0, false}, // 1 s of 10 s
        {0.5, 12.5, false}, // a larger share: 1 s of 2.5 s is within it
        {1.0, 11.0, false}, // a share of 1 paints every step
        {0.0, 99.0, true},  // a share of 0 paints no step it may skip
    };
    for (const auto& c : cases) {
        budget.share = c.share;
        EXPECT_EQ(budget.may_skip(c.now), c.skip) << c.share << " at " << c.now;
    }
}
