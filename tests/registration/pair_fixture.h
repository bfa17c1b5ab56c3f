// A loaded pair for registration tests: both surfaces filled from meshes with the geometry
// that loading would give them (bounding box, centroid, centring transforms, normals), the
// vertex grid built and the FFD lattice laid over the LR box.
#pragma once

#include "app/working_state.h"
#include "tests/fixtures/generated_surfaces.h"

// Bounding box, centroid, centring transforms and max radius from the positions as read.
void set_surface_geometry(Surface& surface);

// Fills state's LR and HR surfaces, builds the grid, sets the FFD spacing and resets the three
// FFD grids to the undeformed lattice.
void load_pair(WorkingState& state, const Mesh& lr, const Mesh& hr);

// Points with only their positions set, one per position.
std::vector<Landmark> points_at(const std::vector<Point3>& positions);
