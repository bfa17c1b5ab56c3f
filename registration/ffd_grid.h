// Free-form deformation lattice: 4 x 4 x 4 cubic B-spline control points, x y z each, the x
// lattice index outermost; absolute positions in LR file coordinates. Also the routine that
// turns the current type's deformation into the LR deformed positions.
#pragma once

#include "surface/point3.h"

#include <array>

struct WorkingState;

struct FfdGrid {
    // Control point (i, j, k), lattice indices -1..2, coordinate c at
    // (((i + 1) * 4 + (j + 1)) * 4 + (k + 1)) * 3 + c.
    std::array<double, 192> values{};
};

// Where the undeformed lattice stands: control point (0, 0, 0) at origin (the LR bbox_min),
// the others spacing apart along x, y and z.
struct FfdLattice {
    Point3 origin;
    std::array<double, 3> spacing{};
};

// The undeformed lattice: control point (i, j, k) = origin + (i sx, j sy, k sz), s being the
// lattice's spacing. It maps every point of the LR bounding box to itself.
void reset_ffd_grid(const FfdLattice& lattice, FfdGrid& grid);

// The uniform cubic B-spline deformation of point (LR file coordinates) by the control points
// control_values (192 doubles in FfdGrid order). Points of the LR bounding box lie in the one
// lattice cell the grid supports; points outside it are evaluated with that cell's polynomial.
Point3 evaluate_ffd(const FfdLattice& lattice, const double* control_values, const Point3& point);
inline Point3 evaluate_ffd(const FfdLattice& lattice, const FfdGrid& grid, const Point3& point)
{
    return evaluate_ffd(lattice, grid.values.data(), point);
}

// The 64 products B_a(tx) B_b(ty) B_c(tz) of point, in control-point order, so that a fit can
// evaluate the same point under many grids: the deformed point is the sum of weight times
// control point.
std::array<double, 64> ffd_weights(const FfdLattice& lattice, const Point3& point);
Point3 apply_ffd_weights(const std::array<double, 64>& weights, const double* control_values);

// Fills the LR deformed_positions for registration_type (a copy of the type's stored result
// for the LAD, TPS and SSM types, a copy of the positions as read for the linear types, the
// current FFD grid applied to the positions as read for every other type) and recomputes the
// LR deformed normals.
void update_deformed_positions(WorkingState& state, int registration_type);
