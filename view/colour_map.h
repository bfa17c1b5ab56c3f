// The seven built-in colour maps that turn a value in [0, 1] into a colour. Each map has 256
// RGB entries: entry 0 is the no-data colour, entry 1 the below-range colour, entries 2 to 254
// the ramp (low values first) and entry 255 the above-range colour.
#pragma once

#include <array>
#include <cstdint>

constexpr int colour_map_count = 7;
constexpr int colour_map_entries = 256;
constexpr int colour_map_no_data = 0;
constexpr int colour_map_below = 1;
constexpr int colour_map_ramp_start = 2;
constexpr int colour_map_ramp_end = 254;
constexpr int colour_map_above = 255;

// Map 3 colours data and registration error by default, map 1 curvature and signed data error.
constexpr int default_data_colour_map = 3;
constexpr int default_signed_colour_map = 1;

using Rgb8 = std::array<std::uint8_t, 3>;
using Rgba = std::array<float, 4>;

// All maps as one table of 7 x 768 bytes, map after map, R G B per entry.
const std::array<std::uint8_t, colour_map_count * colour_map_entries * 3>& colour_map_table();

// Entry `entry` (0..255) of map `map` (0..6).
Rgb8 colour_map_entry(int map, int entry);

// The colour of value v under map `map`, channels divided by 255, with `alpha`: v < 0 gives the
// below-range entry, v > 1 the above-range entry, and [0, 1] is interpolated linearly over the
// 252 segments of the ramp (0 gives entry 2, 1 gives entry 254). A NaN has no place on the ramp
// and gives the no-data entry.
Rgba colour_from_map(int map, double v, float alpha);

// Entry `entry` of map `map` as floats with `alpha`.
Rgba colour_map_rgba(int map, int entry, float alpha);
