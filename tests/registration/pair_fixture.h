// A loaded pair for registration tests: both surfaces filled from meshes and given what loading
// gives them, through the loader's own steps.
#pragma once

#include "surface/surface.h"
#include "tests/fixtures/generated_surfaces.h"

struct WorkingState;

// Fills state's LR and HR surfaces and runs the loader's own steps that need no window: the
// bounds and radii, the vertex grid, the lattice spacing and LAD radius; then resets the three
// FFD grids to the undeformed lattice.
void load_pair(WorkingState& state, const Mesh& lr, const Mesh& hr);

// Points with only their positions set, one per position.
std::vector<Landmark> points_at(const std::vector<Point3>& positions);
