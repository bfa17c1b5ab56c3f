// Picking: the triangles of the shown surfaces that a ray through the pointer crosses, and
// which surfaces a pick may hit in each shading.
#pragma once

#include "surface/surface.h"
#include "view/shading_mode.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class PickedSurface { hr, lr };

// One crossing of the ray with a triangle.
struct PickHit {
    std::string probe_text; // what the status line says about the place
    double distance = 0.0;  // ray parameter t (millimetres from the near point) x |far - near|
    std::int64_t nearest_vertex = 0; // the triangle's corner nearest to the crossing
    Point3 position; // in the surface's file coordinates, from its positions as read
    PickedSurface surface = PickedSurface::hr;
    std::array<std::int64_t, 3> triangle{};
    std::array<double, 2> weights{}; // barycentric weights of the second and third corner
};

// The surfaces a pick may hit. hr_has_data_list: the HR surface has surface data.
struct PickTargets {
    bool hr = false;
    bool lr = false;
    bool lr_needs_matches = false; // the LR probe text reads the matches (error shadings)
};

// HR: when ticked, in "Surface data" only with HR data, never in the three error shadings.
// LR: when ticked, in "Surface data" only with LR data, in the data-error shadings only with
// data on both surfaces.
PickTargets pick_targets(ShadingMode mode, bool hr_ticked, bool lr_ticked, bool hr_has_data_list,
                         bool lr_data_loaded);

// Appends a hit (without probe text) for every triangle of the surface's shown shape, its
// corners moved by placement, that the line from near_point through far_point crosses. Points on
// edges and corners count (tolerance 1e-12); triangles far from the line, degenerate ones, those
// parallel to the line and those naming missing vertices are skipped.
void append_ray_hits(const Surface& surface, PickedSurface which, const Matrix4& placement,
                     const Point3& near_point, const Point3& far_point, std::vector<PickHit>& hits);

// Orders hits nearest first; equally near hits keep their order.
void order_hits_by_distance(std::vector<PickHit>& hits);

// The value at a hit interpolated from its three corners' values.
double interpolate_at_hit(const PickHit& hit, const std::array<double, 3>& corner_values);
