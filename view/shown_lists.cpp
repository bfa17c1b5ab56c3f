#include "view/shown_lists.h"

ShownLists choose_shown_lists(ShadingMode mode, const DirtyLists& list_dirty, bool lr_ticked,
                              bool lr_data_loaded, bool hr_has_data_list)
{
    ShownLists shown;
    const auto dirty = [&](DisplayListKind kind) {
        return list_dirty[static_cast<std::size_t>(dirty_flag(kind))];
    };
    const bool both_data = lr_ticked && lr_data_loaded && hr_has_data_list;
    switch (mode) {
    case shading_plain:
        shown.rebuild_lr = dirty(list_lr_plain);
        shown.translucent = true;
        break;
    case shading_surface_data:
        shown.lr_kind = list_lr_data;
        shown.hr_kind = list_hr_data;
        shown.rebuild_lr = dirty(list_lr_data) && lr_data_loaded;
        shown.colour_bar_kind = list_lr_data;
        break;
    case shading_gaussian_curvature:
        shown.lr_kind = list_lr_curvature;
        shown.hr_kind = list_hr_curvature;
        shown.rebuild_lr = dirty(list_lr_curvature);
        shown.colour_bar_kind = list_lr_curvature;
        break;
    case shading_registration_error:
        shown.lr_kind = list_lr_registration_error;
        shown.hr_shown = false;
        shown.rebuild_lr = lr_ticked && dirty(list_lr_registration_error);
        shown.colour_bar_kind = list_lr_registration_error;
        break;
    case shading_signed_data_error:
    case shading_absolute_data_error:
        shown.lr_kind = mode == shading_signed_data_error ? list_lr_signed_data_error
                                                          : list_lr_absolute_data_error;
        shown.hr_shown = false;
        shown.rebuild_lr = both_data && dirty(shown.lr_kind);
        shown.colour_bar_kind = shown.lr_kind;
        shown.translucent = !both_data;
        break;
    }
    return shown;
}
