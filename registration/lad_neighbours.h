// The neighbourhoods of the local affine deformation: for every LR vertex the vertices within
// the LAD sphere radius of it.
#pragma once

#include "surface/point3.h"

#include <cstdint>
#include <vector>

// Per vertex of positions, the indices of every vertex whose distance to it is strictly below
// radius (millimetres), the vertex itself included, in ascending order. The result equals
// comparing every pair; vertices are bucketed in cells at least radius wide, so only the 27
// cells around a vertex are searched. A radius of 0 or less (or NaN) gives empty lists, and a
// vertex with a non-finite coordinate is nobody's neighbour, its own list empty.
std::vector<std::vector<std::int32_t>> find_lad_neighbours(const std::vector<Point3>& positions,
                                                           double radius);
