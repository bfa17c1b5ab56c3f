#include "tests/registration/pair_fixture.h"

#include "analysis/surface_geometry.h"
#include "registration/ffd_grid.h"
#include "registration/vertex_grid.h"
#include "state/working_state.h"
#include "surface/load_surfaces.h"


void load_pair(WorkingState& state, const Mesh& lr, const Mesh& hr)
{
    state.clear_working_data();
    for (auto [surface, mesh] : {std::pair{state.lr_surface, &lr}, std::pair{state.hr_surface, &hr}}) {
        fill_surface_with_normals(*surface, *mesh);
        compute_bounds_and_radii(*surface);
    }
    build_vertex_grid(state);
    fit_lattice_and_lad_radius(state);
    for (FfdGrid* grid : {&state.similarity_ffd_grid, &state.affine_ffd_grid, &state.aspect_ffd_grid})
        reset_ffd_grid(state.ffd_lattice(), *grid);
}

std::vector<Landmark> points_at(const std::vector<Point3>& positions)
{
    std::vector<Landmark> points(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        points[i].position = positions[i];
    return points;
}
