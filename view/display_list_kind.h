// The compiled surface drawings: which surface each kind draws, which list id of the Surface
// holds it, which out-of-date flag a build clears, and how its vertices are coloured.
#pragma once

#include "surface/surface.h"

#include <cstdint>

enum DisplayListKind : int {
    list_hr_plain = 0,
    list_lr_plain = 1,
    list_lr_registration_error = 2,
    list_lr_data = 3,
    list_lr_absolute_data_error = 4,
    list_lr_signed_data_error = 5,
    // 6 is not used: the selection list is never compiled.
    list_hr_data = 7,
    list_hr_curvature = 8,
    list_lr_curvature = 9,
};

// True for the kinds drawn from the HR surface (0, 7, 8); the others draw the LR surface.
bool draws_hr_surface(DisplayListKind kind);

// True for the kinds that colour each vertex (all but the two plain kinds).
bool has_vertex_colours(DisplayListKind kind);

// True for the kinds whose colours depend on the matches (2, 4, 5).
bool needs_matches(DisplayListKind kind);

// The list id member of `surface` that holds a list of this kind.
std::uint32_t& display_list_id(Surface& surface, DisplayListKind kind);
std::uint32_t display_list_id(const Surface& surface, DisplayListKind kind);

// The out-of-date flag that a build of this kind clears; -1 for the HR kinds, which have none.
int dirty_flag(DisplayListKind kind);
