#include "registration/ffd_grid.h"

#include "registration/registration_type.h"
#include "state/working_state.h"
#include "surface/thread_pool.h"
#include "surface/vertex_normals.h"

#include <cmath>

namespace {

// Uniform cubic B-spline basis at t.
std::array<double, 4> basis(double t)
{
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double s = 1.0 - t;
    return {s * s * s / 6.0, (3.0 * t3 - 6.0 * t2 + 4.0) / 6.0,
            (-3.0 * t3 + 3.0 * t2 + 3.0 * t + 1.0) / 6.0, t3 / 6.0};
}

// Lattice coordinate within the supported cell along one axis. The grid holds the control
// points of cell 0 only, so that cell's polynomial serves every point.
double lattice_t(double p, double low, double spacing) { return (p - low) / spacing; }

} // namespace

void reset_ffd_grid(const FfdLattice& lattice, FfdGrid& grid)
{
    const Point3& low = lattice.origin;
    const std::array<double, 3>& s = lattice.spacing;
    std::size_t e = 0;
    for (int i = -1; i <= 2; ++i)
        for (int j = -1; j <= 2; ++j)
            for (int k = -1; k <= 2; ++k) {
                grid.values[e++] = low.x + i * s[0];
                grid.values[e++] = low.y + j * s[1];
                grid.values[e++] = low.z + k * s[2];
            }
}

std::array<double, 64> ffd_weights(const FfdLattice& lattice, const Point3& point)
{
    const Point3& low = lattice.origin;
    const std::array<double, 3>& s = lattice.spacing;
    const std::array<double, 4> bx = basis(lattice_t(point.x, low.x, s[0]));
    const std::array<double, 4> by = basis(lattice_t(point.y, low.y, s[1]));
    const std::array<double, 4> bz = basis(lattice_t(point.z, low.z, s[2]));
    std::array<double, 64> weights{};
    std::size_t w = 0;
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            for (int c = 0; c < 4; ++c)
                weights[w++] = bx[static_cast<std::size_t>(a)] * by[static_cast<std::size_t>(b)] *
                               bz[static_cast<std::size_t>(c)];
    return weights;
}

Point3 apply_ffd_weights(const std::array<double, 64>& weights, const double* control_values)
{
    Point3 result;
    for (std::size_t w = 0; w < 64; ++w) {
        const double* control = control_values + 3 * w;
        result.x += weights[w] * control[0];
        result.y += weights[w] * control[1];
        result.z += weights[w] * control[2];
    }
    return result;
}

Point3 evaluate_ffd(const FfdLattice& lattice, const double* control_values, const Point3& point)
{
    return apply_ffd_weights(ffd_weights(lattice, point), control_values);
}

void update_deformed_positions(WorkingState& state, int registration_type)
{
    Surface& lr = *state.lr_surface;
    if (const std::vector<Point3>* result = stored_result_view(lr, registration_type)) {
        lr.deformed_positions = *result;
    } else if (shows_positions_as_read(registration_type)) {
        // The current grid belongs to the last FFD type chosen, whatever its family; the LR
        // surface saved, mapped or shown on the Utilities page under a linear type must not
        // carry it.
        lr.deformed_positions = lr.positions;
    } else {
        const double* grid = state.current_ffd_grid->values.data();
        const FfdLattice lattice = state.ffd_lattice();
        lr.deformed_positions.resize(lr.positions.size());
        // Each position depends on its own vertex alone; a few thousand grid evaluations
        // outweigh handing them to a thread.
        constexpr std::size_t vertices_per_chunk = 4096;
        parallel_for_each(lr.positions.size(), vertices_per_chunk, [&](std::size_t i) {
            lr.deformed_positions[i] = evaluate_ffd(lattice, grid, lr.positions[i]);
        });
    }
    lr.deformed_normals.resize(static_cast<std::size_t>(lr.vertex_count));
    compute_vertex_normals(lr);
}
