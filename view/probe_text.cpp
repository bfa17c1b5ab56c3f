#include "view/probe_text.h"

#include "registration/match_range.h"
#include "surface/c_locale.h"
#include "view/vertex_colour.h"

#include <cmath>
#include <functional>
#include <limits>

namespace {

std::size_t corner_index(const PickHit& hit, int corner)
{
    return static_cast<std::size_t>(hit.triangle[static_cast<std::size_t>(corner)]);
}

// The corners' entries of a per-vertex array; NaN for an entry the array does not hold.
std::array<double, 3> corner_values(const PickHit& hit, const std::vector<double>& values)
{
    std::array<double, 3> result{};
    for (int k = 0; k < 3; ++k) {
        const std::size_t i = corner_index(hit, k);
        result[static_cast<std::size_t>(k)] =
            i < values.size() ? values[i] : std::numeric_limits<double>::quiet_NaN();
    }
    return result;
}

bool all_corners(const PickHit& hit, const std::function<bool(std::size_t)>& test)
{
    for (int k = 0; k < 3; ++k)
        if (!test(corner_index(hit, k)))
            return false;
    return true;
}

// The LR value minus the HR value of its match at the three corners; false when a corner or
// its match has no data.
bool corner_differences(const PickHit& hit, const Surface& lr, const Surface& hr,
                        std::array<double, 3>& differences)
{
    for (int k = 0; k < 3; ++k) {
        const std::size_t i = corner_index(hit, k);
        const std::int64_t j = matched_hr_vertex(lr, hr, i);
        if (j < 0 || !vertex_has_data(lr, i) || !vertex_has_data(hr, static_cast<std::size_t>(j)))
            return false;
        differences[static_cast<std::size_t>(k)] =
            lr.data[i] - hr.data[static_cast<std::size_t>(j)];
    }
    return true;
}

std::string data_error_text(const PickHit& hit, const Surface& lr, const Surface& hr, bool absolute,
                            double range2, const std::string& data_units)
{
    std::string text = absolute ? "Absolute data error " : "Signed data error ";
    std::array<double, 3> differences{};
    if (!all_corners(hit, [&](std::size_t i) { return within_match_range(lr, i, range2); }))
        return text + "unavailable (unmatched)";
    if (!corner_differences(hit, lr, hr, differences))
        return text + "unavailable (invalid)";
    if (absolute)
        for (double& d : differences)
            d = std::fabs(d);
    return text + probe_number(interpolate_at_hit(hit, differences)) + " " + data_units;
}

std::string value_text(const PickHit& hit, const Surface& lr, const Surface& hr, ShadingMode mode,
                       double range2, const std::string& data_units)
{
    const bool on_lr = hit.surface == PickedSurface::lr;
    const Surface& surface = on_lr ? lr : hr;
    const std::string letters = on_lr ? "LR " : "HR ";
    switch (mode) {
    case shading_plain:
        return letters;
    case shading_surface_data: {
        const std::string text = on_lr ? "LR data " : "HR data ";
        if (!all_corners(hit, [&](std::size_t i) { return vertex_has_data(surface, i); }))
            return text + "invalid";
        return text + probe_number(interpolate_at_hit(hit, corner_values(hit, surface.data))) +
               " " + data_units;
    }
    case shading_gaussian_curvature:
        return letters + "Gaussian curvature " +
               probe_number(interpolate_at_hit(hit, corner_values(hit, surface.curvature))) +
               " mm-2";
    case shading_registration_error: {
        if (!all_corners(hit, [&](std::size_t i) { return within_match_range(lr, i, range2); }))
            return "Registration error >" + probe_number(std::sqrt(range2)) + " mm";
        std::array<double, 3> distances = corner_values(hit, lr.match_distance2);
        for (double& d : distances)
            d = std::sqrt(d);
        return "Registration error " + probe_number(interpolate_at_hit(hit, distances)) + " mm";
    }
    case shading_signed_data_error:
    case shading_absolute_data_error:
        return data_error_text(hit, lr, hr, mode == shading_absolute_data_error, range2,
                               data_units);
    }
    return letters;
}

} // namespace

std::string probe_number(double value)
{
    std::string text = c_format("%#.3g", value);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::string probe_text(const PickHit& hit, const Surface& lr, const Surface& hr, ShadingMode mode,
                       double range2, const std::string& data_units)
{
    const auto vertex = static_cast<long long>(hit.nearest_vertex);
    const std::string value = value_text(hit, lr, hr, mode, range2, data_units);
    // Plain shading has no value: the surface letters, then the vertex without brackets.
    if (mode == shading_plain)
        return value + c_format(" vertex %lli", vertex);
    return value + c_format(" (vertex %lli)", vertex);
}
