// Which display lists a paint shows for each "Surface shading" mode, which LR list it rebuilds
// first, whether a colour bar is drawn and whether the surfaces are translucent.
#pragma once

#include "state/dirty_lists.h"
#include "view/display_list_kind.h"
#include "view/shading_mode.h"

struct ShownLists {
    DisplayListKind lr_kind = list_lr_plain;
    bool hr_shown = true; // the error modes never draw the HR surface
    DisplayListKind hr_kind = list_hr_plain;
    bool rebuild_lr = false;  // the LR list is out of date and is rebuilt before drawing
    int colour_bar_kind = -1; // a DisplayListKind, -1 for no colour bar
    bool translucent = false; // surfaces drawn half transparent, back faces first
};

// lr_ticked: the "LR" box is ticked; hr_has_data_list: the HR surface has a data list (HR data
// are loaded).
ShownLists choose_shown_lists(ShadingMode mode, const DirtyLists& list_dirty, bool lr_ticked,
                              bool lr_data_loaded, bool hr_has_data_list);
