// The coordinates a surface may carry. Every file the program writes stores positions as
// single-precision floats, so nothing beyond that range can be saved; within it, the squares,
// cross products and sums that normals, the vertex grid and the fits form stay finite in double
// precision (edges square to at most about 1e77), where a coordinate from about 1e154 on would
// make the normals NaN.
#pragma once

#include <cmath>

constexpr double largest_coordinate = 3.4028234663852886e38; // the largest float

// Finite and within the range above (NaN is not).
inline bool is_usable_coordinate(double value) { return std::fabs(value) <= largest_coordinate; }

// No bone surface reaches this far from its origin in any unit its users work in (a kilometre
// in micrometres), while one stray vertex beyond it pulls the start pose off by as much and
// lets every LR vertex match the same HR vertex. The surface readers refuse such a vertex.
constexpr double largest_surface_coordinate = 1e9;

// Finite and at most largest_surface_coordinate in magnitude.
inline bool is_surface_coordinate(double value)
{
    return std::fabs(value) <= largest_surface_coordinate;
}
