// Picking on the frame: the surfaces a pick may hit in the current shading, the probe text of
// the nearest hit, and landmarks and landcurve points defined there.
#include "app/app.h"
#include "app/frame.h"
#include "surface/status_log.h"
#include "view/gl_canvas.h"
#include "view/landmark_definition.h"
#include "view/landmark_definition_ui.h"
#include "view/probe_text.h"

#include <wx/checkbox.h>
#include <wx/radiobox.h>

namespace {

// Names a new landmark at the hit in a dialog and adds it to the hit's surface, unless the
// surfaces were cleared or loaded again while the dialog was open.
void define_landmark(MyFrame& frame, const PickHit& hit)
{
    const bool on_hr = hit.surface == PickedSurface::hr;
    ++main_canvas->landmark_counter;
    Surface& surface = on_hr ? *frame.hr_surface : *frame.lr_surface;
    const std::uint64_t generation = frame.surfaces_generation;
    std::string name;
    if (!ask_annotation_name(
            &frame, on_hr ? "HR landmark name" : "LR landmark name", "Name landmark",
            wxString::Format("Landmark %u", main_canvas->landmark_counter), false, name) ||
        !same_surfaces(frame, generation, "Landmark"))
        return;
    surface.landmarks.push_back(picked_point(hit, name));
    frame.note_hand_defined(surface);
    frame.pair_landmarks();
    frame.Refresh();
}

} // namespace

void MyFrame::intersect_surfaces(bool define, const Point3& near_point, const Point3& far_point)
{
    const double range2 = search_range2();
    const Matrix4 lr_placement =
        product(hr_surface->from_centred, product(current_transform, lr_surface->to_centred));
    const auto mode = static_cast<ShadingMode>(shading_radiobox->GetSelection());

    std::vector<PickHit> hits;
    main_canvas->make_current();
    const PickTargets targets =
        pick_targets(mode, hr_checkbox->GetValue(), lr_checkbox->GetValue(),
                     display_list_exists(hr_surface->data_list), lr_data_loaded);
    if (targets.hr)
        append_ray_hits(*hr_surface, PickedSurface::hr, identity_matrix(), near_point, far_point,
                        hits);
    main_canvas->make_current();
    if (targets.lr) {
        if (targets.lr_needs_matches && range2 > lr_surface->match_range2)
            establish_matches();
        append_ray_hits(*lr_surface, PickedSurface::lr, lr_placement, near_point, far_point, hits);
    }
    if (hits.empty()) {
        SetStatusText("", 0);
        return;
    }
    for (PickHit& hit : hits)
        hit.probe_text = probe_text(hit, *lr_surface, *hr_surface, mode, range2, data_units);
    order_hits_by_distance(hits);
    const PickHit& nearest = hits.front();
    log_status(nearest.probe_text);
    if (!define)
        return;
    if (landcurve_state != landcurve_not_defining) {
        collect_landcurve_point(*this, nearest);
        Refresh();
    } else {
        define_landmark(*this, nearest);
    }
}
