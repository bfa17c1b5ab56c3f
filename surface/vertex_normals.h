// Unit vertex normals from the triangles around each vertex.
#pragma once

#include "surface/surface.h"

// Recomputes surface.deformed_normals (vertex_count entries) from deformed_positions.
void compute_vertex_normals(Surface& surface);
