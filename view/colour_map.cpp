#include "view/colour_map.h"

#include <algorithm>
#include <cmath>

namespace {

using Table = std::array<std::uint8_t, colour_map_count * colour_map_entries * 3>;

std::uint8_t to_byte(double channel)
{
    return static_cast<std::uint8_t>(std::clamp(std::floor(channel + 0.5), 0.0, 255.0));
}

void set_entry(Table& table, int map, int entry, const Rgb8& colour)
{
    const auto at = static_cast<std::size_t>((map * colour_map_entries + entry) * 3);
    table[at] = colour[0];
    table[at + 1] = colour[1];
    table[at + 2] = colour[2];
}

// Map 0: a hue sweep magenta, red, yellow, green, cyan, blue. In each stretch one channel runs
// between 0 and 255 along the concave curve 255 f^0.6 (rising) or 255 (1 - f)^0.6 (falling),
// which spreads the bright end of each hue over more entries than a straight line would.
void fill_hue_sweep(Table& table)
{
    constexpr std::array<int, 6> stretch_start{1, 51, 102, 152, 203, 254};
    // Channel that moves in each stretch, and whether it rises; the colour at each stretch start.
    constexpr std::array<int, 5> moving_channel{2, 1, 0, 2, 1};
    constexpr std::array<bool, 5> rising{false, true, false, true, false};
    constexpr std::array<Rgb8, 5> start_colour{
        {{255, 0, 255}, {255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {0, 255, 255}}};
    for (std::size_t s = 0; s < moving_channel.size(); ++s) {
        const int first = stretch_start[s];
        const int length = stretch_start[s + 1] - first;
        for (int entry = first; entry <= stretch_start[s + 1]; ++entry) {
            if (entry < colour_map_ramp_start)
                continue;
            const double f = static_cast<double>(entry - first) / length;
            Rgb8 colour = start_colour[s];
            const double level = rising[s] ? std::pow(f, 0.6) : std::pow(1.0 - f, 0.6);
            colour[static_cast<std::size_t>(moving_channel[s])] = to_byte(255.0 * level);
            set_entry(table, 0, entry, colour);
        }
    }
}

// Maps 1 to 6: the ramp passes through five anchors (entries 2, 65, 128, 191, 254) along a
// monotone cubic per channel, which is smooth and never overshoots between two anchors.
void fill_anchored_ramp(Table& table, int map, const std::array<Rgb8, 5>& anchors)
{
    constexpr int spacing = 63;
    for (std::size_t c = 0; c < 3; ++c) {
        std::array<double, 5> y{};
        for (std::size_t k = 0; k < 5; ++k)
            y[k] = anchors[k][c];
        std::array<double, 4> delta{};
        for (std::size_t k = 0; k < 4; ++k)
            delta[k] = (y[k + 1] - y[k]) / spacing;
        std::array<double, 5> slope{};
        slope[0] = delta[0];
        slope[4] = delta[3];
        for (std::size_t k = 1; k < 4; ++k) {
            const double a = delta[k - 1];
            const double b = delta[k];
            slope[k] = a * b <= 0.0 ? 0.0 : 2.0 / (1.0 / a + 1.0 / b);
        }
        for (int entry = colour_map_ramp_start; entry <= colour_map_ramp_end; ++entry) {
            const int offset = entry - colour_map_ramp_start;
            const auto k = static_cast<std::size_t>(std::min(offset / spacing, 3));
            const double t = static_cast<double>(offset - static_cast<int>(k) * spacing) / spacing;
            const double t2 = t * t;
            const double t3 = t2 * t;
            const double value = (2 * t3 - 3 * t2 + 1) * y[k] +
                                 (t3 - 2 * t2 + t) * spacing * slope[k] +
                                 (-2 * t3 + 3 * t2) * y[k + 1] + (t3 - t2) * spacing * slope[k + 1];
            const auto at = static_cast<std::size_t>((map * colour_map_entries + entry) * 3) + c;
            table[at] = to_byte(value);
        }
    }
}

// No-data, below-range, the five ramp anchors (entries 2, 65, 128, 191, 254) and above-range.
struct MapAnchors {
    Rgb8 no_data;
    Rgb8 below;
    std::array<Rgb8, 5> ramp;
    Rgb8 above;
};

constexpr std::array<MapAnchors, colour_map_count> map_anchors{{
    {{255, 255, 255},
     {127, 0, 127},
     {{{255, 0, 252}, {255, 117, 0}, {164, 255, 0}, {0, 255, 217}, {0, 0, 255}}},
     {0, 0, 127}},
    {{127, 127, 127},
     {121, 7, 26},
     {{{182, 11, 39}, {245, 155, 124}, {220, 221, 221}, {141, 175, 254}, {59, 76, 192}}},
     {40, 50, 120}},
    {{127, 127, 127},
     {115, 84, 17},
     {{{173, 127, 26}, {208, 191, 132}, {220, 221, 221}, {144, 195, 251}, {55, 134, 232}}},
     {38, 85, 148}},
    {{255, 255, 255},
     {106, 2, 44},
     {{{159, 3, 67}, {250, 142, 82}, {255, 254, 191}, {134, 207, 166}, {98, 76, 159}}},
     {67, 50, 106}},
    {{255, 255, 255},
     {108, 14, 32},
     {{{163, 22, 47}, {237, 178, 34}, {255, 255, 153}, {121, 173, 50}, {20, 43, 140}}},
     {13, 31, 94}},
    {{255, 255, 255},
     {136, 156, 60},
     {{{203, 236, 90}, {95, 228, 75}, {58, 188, 173}, {102, 116, 251}, {131, 12, 171}}},
     {90, 8, 114}},
    {{255, 255, 255},
     {166, 102, 60},
     {{{249, 153, 91}, {181, 236, 87}, {73, 207, 129}, {98, 124, 246}, {120, 0, 133}}},
     {80, 0, 88}},
}};

Table build_table()
{
    Table table{};
    for (int map = 0; map < colour_map_count; ++map) {
        const MapAnchors& anchors = map_anchors[static_cast<std::size_t>(map)];
        if (map == 0)
            fill_hue_sweep(table);
        else
            fill_anchored_ramp(table, map, anchors.ramp);
        set_entry(table, map, colour_map_no_data, anchors.no_data);
        set_entry(table, map, colour_map_below, anchors.below);
        set_entry(table, map, colour_map_above, anchors.above);
    }
    return table;
}

int valid_map(int map)
{
    return std::clamp(map, 0, colour_map_count - 1);
}

} // namespace

const Table& colour_map_table()
{
    static const Table table = build_table();
    return table;
}

Rgb8 colour_map_entry(int map, int entry)
{
    const auto at = static_cast<std::size_t>(
        (valid_map(map) * colour_map_entries + std::clamp(entry, 0, colour_map_entries - 1)) * 3);
    const Table& table = colour_map_table();
    return {table[at], table[at + 1], table[at + 2]};
}

Rgba colour_map_rgba(int map, int entry, float alpha)
{
    const Rgb8 c = colour_map_entry(map, entry);
    return {static_cast<float>(c[0] / 255.0), static_cast<float>(c[1] / 255.0),
            static_cast<float>(c[2] / 255.0), alpha};
}

Rgba colour_from_map(int map, double v, float alpha)
{
    if (std::isnan(v))
        return colour_map_rgba(map, colour_map_no_data, alpha);
    if (v < 0.0)
        return colour_map_rgba(map, colour_map_below, alpha);
    if (v > 1.0)
        return colour_map_rgba(map, colour_map_above, alpha);
    const double x = 252.0 * v;
    const int k = std::min(static_cast<int>(std::floor(x)), 251);
    const Rgb8 low = colour_map_entry(map, k + 2);
    const Rgb8 high = colour_map_entry(map, k + 3);
    Rgba colour{0.0f, 0.0f, 0.0f, alpha};
    for (std::size_t c = 0; c < 3; ++c)
        colour[c] = static_cast<float>((low[c] + (high[c] - low[c]) * (x - k)) / 255.0);
    return colour;
}
