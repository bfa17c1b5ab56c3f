#include "view/shown_lists.h"

#include <gtest/gtest.h>

namespace {

DirtyLists all(bool dirty)
{
    DirtyLists flags;
    flags.fill(dirty);
    return flags;
}

} // namespace

TEST(ShownLists, EachShadingModeShowsItsListsBarAndTranslucency)
{
    struct Case {
        ShadingMode mode;
        DisplayListKind lr;
        bool hr_shown;
        DisplayListKind hr;
        int bar;
        bool translucent_with_both_data;
    } cases[] = {
        {shading_plain, list_lr_plain, true, list_hr_plain, -1, true},
        {shading_surface_data, list_lr_data, true, list_hr_data, 3, false},
        {shading_gaussian_curvature, list_lr_curvature, true, list_hr_curvature, 9, false},
        {shading_registration_error, list_lr_registration_error, false, list_hr_plain, 2, false},
        {shading_signed_data_error, list_lr_signed_data_error, false, list_hr_plain, 5, false},
        {shading_absolute_data_error, list_lr_absolute_data_error, false, list_hr_plain, 4, false},
    };
    for (const Case& c : cases) {
        const ShownLists s = choose_shown_lists(c.mode, all(true), true, true, true);
        EXPECT_EQ(s.lr_kind, c.lr) << c.mode;
        EXPECT_EQ(s.hr_shown, c.hr_shown) << c.mode;
        if (c.hr_shown) {
            EXPECT_EQ(s.hr_kind, c.hr) << c.mode;
        }
        EXPECT_EQ(s.colour_bar_kind, c.bar) << c.mode;
        EXPECT_EQ(s.translucent, c.translucent_with_both_data) << c.mode;
        EXPECT_TRUE(s.rebuild_lr) << c.mode;
        EXPECT_FALSE(choose_shown_lists(c.mode, all(false), true, true, true).rebuild_lr) << c.mode;
    }
}

TEST(ShownLists, DataErrorModesAreTranslucentAndNotRebuiltWithoutBothDataSets)
{
    for (ShadingMode mode : {shading_signed_data_error, shading_absolute_data_error}) {
        // Unticked LR, no LR data, no HR data list.
        for (int missing = 0; missing < 3; ++missing) {
            const ShownLists s =
                choose_shown_lists(mode, all(true), missing != 0, missing != 1, missing != 2);
            EXPECT_TRUE(s.translucent) << mode << " " << missing;
            EXPECT_FALSE(s.rebuild_lr) << mode << " " << missing;
        }
    }
    // Each error mode clears only its own flag: a signed-error list stays current when only the
    // absolute-error flag is set.
    DirtyLists flags = all(false);
    flags[dirty_absolute_data_error] = true;
    EXPECT_FALSE(choose_shown_lists(shading_signed_data_error, flags, true, true, true).rebuild_lr);
    EXPECT_TRUE(
        choose_shown_lists(shading_absolute_data_error, flags, true, true, true).rebuild_lr);
}

TEST(ShownLists, RebuildConditionsOfTheOtherModes)
{
    EXPECT_FALSE(choose_shown_lists(shading_surface_data, all(true), true, false, true).rebuild_lr);
    EXPECT_FALSE(
        choose_shown_lists(shading_registration_error, all(true), false, true, true).rebuild_lr);
    // Plain and curvature lists are rebuilt even with "LR" unticked.
    EXPECT_TRUE(choose_shown_lists(shading_plain, all(true), false, false, false).rebuild_lr);
    EXPECT_TRUE(
        choose_shown_lists(shading_gaussian_curvature, all(true), false, false, false).rebuild_lr);
}
