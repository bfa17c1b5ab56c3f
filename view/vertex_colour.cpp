#include "view/vertex_colour.h"

#include "registration/match_range.h"

#include <cmath>
#include <cstddef>

bool vertex_has_data(const Surface& surface, std::size_t i)
{
    return i < surface.sigma.size() && i < surface.data.size() && surface.sigma[i] != missing_value;
}

std::int64_t matched_hr_vertex(const Surface& lr, const Surface& hr, std::size_t i)
{
    if (i >= lr.match_index.size())
        return -1;
    const std::int64_t j = lr.match_index[i];
    return j >= 0 && j < hr.vertex_count ? j : -1;
}

std::vector<Rgba> vertex_colours(DisplayListKind kind, const Surface& lr, const Surface& hr,
                                 const ColourSettings& s)
{
    if (!has_vertex_colours(kind))
        return {};
    const Surface& surface = draws_hr_surface(kind) ? hr : lr;
    const auto count = static_cast<std::size_t>(surface.vertex_count);
    const Rgba no_data = colour_map_rgba(s.colour_map, colour_map_no_data, surface_alpha);
    const double data_span = s.data_max - s.data_min;
    std::vector<Rgba> colours(count, no_data);
    // A value of NaN or an infinity has no colour on the ramp: it keeps the no-data colour.
    const auto set = [&](std::size_t i, double v) {
        if (std::isfinite(v))
            colours[i] = colour_from_map(s.colour_map, v, surface_alpha);
    };
    for (std::size_t i = 0; i < count; ++i) {
        switch (kind) {
        case list_lr_registration_error:
            if (i < lr.match_distance2.size())
                set(i, lr.match_distance2[i] / s.range2);
            break;
        case list_lr_data:
        case list_hr_data:
            if (vertex_has_data(surface, i))
                set(i, ((surface.data[i] - s.data_min) / data_span - s.offset) / s.gain);
            break;
        case list_lr_absolute_data_error:
        case list_lr_signed_data_error: {
            if (!within_match_range(lr, i, s.range2)) {
                colours[i] = unmatched_colour;
                break;
            }
            const std::int64_t j = matched_hr_vertex(lr, hr, i);
            const auto hj = static_cast<std::size_t>(j);
            if (j < 0 || !vertex_has_data(lr, i) || !vertex_has_data(hr, hj))
                break;
            const double difference = lr.data[i] - hr.data[hj];
            if (kind == list_lr_absolute_data_error)
                set(i, std::fabs(difference) / (data_span * s.gain));
            else
                set(i, difference / (data_span * s.gain) + 0.5);
            break;
        }
        case list_hr_curvature:
        case list_lr_curvature:
            if (i < surface.curvature.size())
                set(i, surface.curvature[i] / (2.0 * s.gain * curvature_ramp_limit) + 0.5);
            break;
        case list_hr_plain:
        case list_lr_plain:
            break;
        }
    }
    return colours;
}
