// Unit vertex normals from the triangles around each vertex.
#pragma once

#include "surface/surface.h"

// Recomputes surface.deformed_normals (resized to vertex_count) from deformed_positions: each
// vertex gets the normalised mean of the unit normals of its triangles, every triangle
// weighing the same whatever its area; the stored winding decides the side. A vertex in no
// triangle, or whose face normals cancel, gets (0, 0, 0); a degenerate triangle adds nothing
// but still counts. normals is never touched.
void compute_vertex_normals(Surface& surface);
