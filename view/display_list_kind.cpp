#include "view/display_list_kind.h"

#include "state/dirty_lists.h"

bool draws_hr_surface(DisplayListKind kind)
{
    return kind == list_hr_plain || kind == list_hr_data || kind == list_hr_curvature;
}

bool has_vertex_colours(DisplayListKind kind)
{
    return kind != list_hr_plain && kind != list_lr_plain;
}

bool needs_matches(DisplayListKind kind)
{
    return kind == list_lr_registration_error || kind == list_lr_absolute_data_error ||
           kind == list_lr_signed_data_error;
}

namespace {

// One body for the const and the non-const accessor.
template <typename S> auto& list_member(S& surface, DisplayListKind kind)
{
    switch (kind) {
    case list_hr_plain:
    case list_lr_plain:
        return surface.shading_list;
    case list_lr_registration_error:
        return surface.error_list;
    case list_lr_data:
    case list_hr_data:
        return surface.data_list;
    case list_lr_absolute_data_error:
        return surface.abs_error_list;
    case list_lr_signed_data_error:
        return surface.signed_error_list;
    case list_hr_curvature:
    case list_lr_curvature:
        return surface.curvature_list;
    }
    return surface.selection_list;
}

} // namespace

std::uint32_t& display_list_id(Surface& surface, DisplayListKind kind)
{
    return list_member(surface, kind);
}

std::uint32_t display_list_id(const Surface& surface, DisplayListKind kind)
{
    return list_member(surface, kind);
}

int dirty_flag(DisplayListKind kind)
{
    switch (kind) {
    case list_lr_plain:
        return dirty_lr_plain;
    case list_lr_registration_error:
        return dirty_registration_error;
    case list_lr_data:
        return dirty_lr_data;
    case list_lr_absolute_data_error:
        return dirty_absolute_data_error;
    case list_lr_signed_data_error:
        return dirty_signed_data_error;
    case list_lr_curvature:
        return dirty_lr_curvature;
    case list_hr_plain:
    case list_hr_data:
    case list_hr_curvature:
        break;
    }
    return -1;
}
