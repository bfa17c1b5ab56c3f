// The display lists that the view rebuilds before its next paint once they are marked out of
// date, and the two groups of them that a change of the matches or of the LR shape marks.
#pragma once

#include <array>
#include <cstddef>

// Positions in the out-of-date flags (WorkingState::list_dirty).
enum DirtyList : int {
    dirty_lr_plain = 0,
    dirty_lr_data = 1,
    dirty_lr_curvature = 2,
    dirty_lr_selection = 3,
    dirty_registration_error = 4,
    dirty_absolute_data_error = 5,
    dirty_signed_data_error = 6,
};

constexpr std::size_t dirty_list_count = 7;

// One out-of-date flag per DirtyList.
using DirtyLists = std::array<bool, dirty_list_count>;

// The lists that depend on the matches: registration error, absolute and signed data error.
inline void mark_error_lists_out_of_date(DirtyLists& list_dirty)
{
    list_dirty[dirty_registration_error] = true;
    list_dirty[dirty_absolute_data_error] = true;
    list_dirty[dirty_signed_data_error] = true;
}

// The lists that depend on the LR shape: plain, data, curvature, selection.
inline void mark_lr_shape_lists_out_of_date(DirtyLists& list_dirty)
{
    list_dirty[dirty_lr_plain] = true;
    list_dirty[dirty_lr_data] = true;
    list_dirty[dirty_lr_curvature] = true;
    list_dirty[dirty_lr_selection] = true;
}
