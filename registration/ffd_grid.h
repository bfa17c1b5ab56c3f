// Free-form deformation lattice: 4 x 4 x 4 cubic B-spline control points, x y z each, the x
// lattice index outermost; absolute positions in LR file coordinates.
#pragma once

#include <array>

struct FfdGrid {
    std::array<double, 192> values{};
};

struct WorkingState;

// Writes the undeformed lattice of the loaded LR surface into grid.
void reset_ffd_grid(const WorkingState& state, FfdGrid& grid);
