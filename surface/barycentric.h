// The value at a point of a triangle from the values at its corners: the weights are those of
// the second and third corner, the first corner takes the rest.
#pragma once

#include <array>

template <typename Value>
Value barycentric(const std::array<double, 2>& weights, const Value& first, const Value& second,
                  const Value& third)
{
    return (1.0 - weights[0] - weights[1]) * first + weights[0] * second + weights[1] * third;
}
