#include "surface/surface.h"

void Surface::allocate_vertex_arrays()
{
    const auto n = static_cast<std::size_t>(vertex_count);
    selected.assign(n, 0);
    fussy.assign(n, 0);
    on_rim.assign(n, 0);
    rim_direction.assign(n, Point3{});
    match_index.assign(n, 0);
    match_distance2.assign(n, missing_value);
    curvature.assign(n, 0.0);
    data.assign(n, 0.0);
    sigma.assign(n, 1.0);
}

void Surface::release_vertex_arrays()
{
    for (auto* bytes : {&selected, &fussy, &on_rim})
        std::vector<std::uint8_t>().swap(*bytes);
    std::vector<Point3>().swap(rim_direction);
    std::vector<std::int64_t>().swap(match_index);
    for (auto* values : {&match_distance2, &curvature, &data, &sigma})
        std::vector<double>().swap(*values);
}

void Surface::clear()
{
    if (vertex_count != 0)
        release_vertex_arrays();
    for (auto* shape : {&positions, &deformed_positions, &sim_lad_positions, &aff_lad_positions,
                        &aspect_lad_positions, &sim_tps_positions, &sim_ssm_positions})
        shape->clear();
    vertex_count = 0;
    rim_vertex_count = 0;
    landmark_pair_count = 0;
    curve_point_pair_count = 0;
    landmarks_changed = true;
    landmarks_repeated = false;
    normals.clear();
    deformed_normals.clear();
    normal_count = 0;
    triangles.clear();
    triangle_count = 0;
    rim_band.clear();
    smoothing_steps = 0;
    hr_smoothing_steps = 0;
    landmarks.clear();
    semilandmarks.clear();
    landcurves.clear();
    reader_reset = true;
    match_range2 = -1.0;
    lad_radius_hint = -1.0;
    shown = ShownShape::as_read;
}
