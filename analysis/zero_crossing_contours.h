// Closed curves along which a per-vertex value changes sign, traced through the mesh's vertices.
#pragma once

#include "analysis/gaussian_curvature.h"

#include <cstdint>
#include <vector>

// Marks the positive end of every triangle edge whose end values have a negative product, thins
// the marks until only closed bands remain (open chains wear away from their ends), then walks
// each band from its lowest-numbered vertex, always to the first marked neighbour, unmarking as
// it goes. Each contour lists its vertices in walking order, the start not repeated; contours
// come in order of their start vertices. `values` holds one value per vertex of the mesh.
std::vector<std::vector<std::int64_t>>
zero_crossing_contours(const CurvatureMesh& mesh, const std::vector<Triangle>& triangles,
                       const std::vector<double>& values);
