#include "view/landmark_definition.h"

#include "state/working_state.h"
#include "surface/status_log.h"

bool same_surfaces(const WorkingState& state, std::uint64_t generation, const std::string& item)
{
    if (state.surfaces_generation == generation)
        return true;
    log_status(item + " dropped: the surfaces changed while it was named");
    return false;
}

Landmark picked_point(const PickHit& hit, const std::string& name)
{
    Landmark point;
    point.name = name;
    point.position = hit.position;
    point.triangle = hit.triangle;
    point.weights = hit.weights;
    return point;
}

bool collect_landcurve_point(WorkingState& state, const PickHit& hit)
{
    const std::int32_t hit_state =
        hit.surface == PickedSurface::hr ? landcurve_on_hr : landcurve_on_lr;
    if (state.picked_points.empty())
        state.landcurve_state = hit_state;
    else if (state.landcurve_state != hit_state)
        return false;
    state.picked_points.push_back(picked_point(hit, ""));
    return true;
}

Landcurve picked_landcurve(const std::string& name, bool closed,
                           const std::vector<Landmark>& points)
{
    Landcurve curve;
    curve.name = name;
    curve.closed = closed;
    curve.points = points;
    curve.control_points = points;
    return curve;
}

std::string landcurve_name_prompt(std::int32_t landcurve_state, bool closed)
{
    return std::string(landcurve_state == landcurve_on_lr ? "LR " : "HR ") +
           (closed ? "closed" : "open") + " landcurve name";
}
