#include "tests/registration/pair_fixture.h"

#include "registration/ffd_grid.h"
#include "registration/vertex_grid.h"

#include <algorithm>
#include <cmath>

void set_surface_geometry(Surface& surface)
{
    Point3 low{1e10, 1e10, 1e10}, high{-1e10, -1e10, -1e10}, sum;
    for (const Point3& p : surface.positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        sum = sum + p;
    }
    surface.bbox_min = low;
    surface.bbox_max = high;
    const double count = static_cast<double>(std::max<std::size_t>(surface.positions.size(), 1));
    surface.centroid = (1.0 / count) * sum;
    make_translation(surface.from_centred, surface.centroid.x, surface.centroid.y,
                     surface.centroid.z);
    make_inverse_translation(surface.to_centred, surface.centroid.x, surface.centroid.y,
                             surface.centroid.z);
    double radius2 = 0.0;
    for (const Point3& p : surface.positions)
        radius2 = std::max(radius2, squared_distance(p, surface.centroid));
    surface.max_radius = static_cast<float>(std::sqrt(radius2));
}

void load_pair(WorkingState& state, const Mesh& lr, const Mesh& hr)
{
    state.clear_working_data();
    for (auto [surface, mesh] : {std::pair{state.lr_surface, &lr}, std::pair{state.hr_surface, &hr}}) {
        fill_surface_with_normals(*surface, *mesh);
        set_surface_geometry(*surface);
    }
    build_vertex_grid(state);
    const Surface& l = *state.lr_surface;
    const double extents[3] = {l.bbox_max.x - l.bbox_min.x, l.bbox_max.y - l.bbox_min.y,
                               l.bbox_max.z - l.bbox_min.z};
    for (int axis = 0; axis < 3; ++axis) {
        const double spacing = extents[axis] * 1e-4 + extents[axis];
        state.ffd_spacing[static_cast<std::size_t>(axis)] = spacing > 0.0 ? spacing : 1e-4;
    }
    for (FfdGrid* grid : {&state.similarity_ffd_grid, &state.affine_ffd_grid, &state.aspect_ffd_grid})
        reset_ffd_grid(state, *grid);
}

std::vector<Landmark> points_at(const std::vector<Point3>& positions)
{
    std::vector<Landmark> points(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        points[i].position = positions[i];
    return points;
}
