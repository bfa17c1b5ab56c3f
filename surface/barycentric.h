// The value at a point of a triangle from the values at its corners: the weights are those of
// the second and third corner, the first corner takes the rest.
#pragma once

#include "surface/point3.h"

#include <array>
#include <cstdint>
#include <vector>

struct Landmark;

template <typename Value>
Value barycentric(const std::array<double, 2>& weights, const Value& first, const Value& second,
                  const Value& third)
{
    return (1.0 - weights[0] - weights[1]) * first + weights[0] * second + weights[1] * third;
}

// (1 - w1 - w2) V[t0] + w1 V[t1] + w2 V[t2] over the corners triangle of values. False, with
// result untouched, when a corner is not an index of values.
bool interpolate_at_triangle(const std::vector<Point3>& values,
                             const std::array<std::int64_t, 3>& triangle,
                             const std::array<double, 2>& weights, Point3& result);

// The same over the point's triangle and weights.
bool interpolate_at_triangle(const std::vector<Point3>& values, const Landmark& point,
                             Point3& result);
