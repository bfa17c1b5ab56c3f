#include "view/colour_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

struct Anchor {
    int map;
    int entry;
    Rgb8 colour;
};

// Every fixed entry of every map: no data, below range, the five ramp anchors, above range.
const Anchor anchors[] = {
    {0, 0, {255, 255, 255}},  {0, 1, {127, 0, 127}},     {0, 2, {255, 0, 252}},
    {0, 65, {255, 117, 0}},   {0, 128, {164, 255, 0}},   {0, 191, {0, 255, 217}},
    {0, 254, {0, 0, 255}},    {0, 255, {0, 0, 127}},

    {1, 0, {127, 127, 127}},  {1, 1, {121, 7, 26}},      {1, 2, {182, 11, 39}},
    {1, 65, {245, 155, 124}}, {1, 128, {220, 221, 221}}, {1, 191, {141, 175, 254}},
    {1, 254, {59, 76, 192}},  {1, 255, {40, 50, 120}},

    {2, 0, {127, 127, 127}},  {2, 1, {115, 84, 17}},     {2, 2, {173, 127, 26}},
    {2, 65, {208, 191, 132}}, {2, 128, {220, 221, 221}}, {2, 191, {144, 195, 251}},
    {2, 254, {55, 134, 232}}, {2, 255, {38, 85, 148}},

    {3, 0, {255, 255, 255}},  {3, 1, {106, 2, 44}},      {3, 2, {159, 3, 67}},
    {3, 65, {250, 142, 82}},  {3, 128, {255, 254, 191}}, {3, 191, {134, 207, 166}},
    {3, 254, {98, 76, 159}},  {3, 255, {67, 50, 106}},

    {4, 0, {255, 255, 255}},  {4, 1, {108, 14, 32}},     {4, 2, {163, 22, 47}},
    {4, 65, {237, 178, 34}},  {4, 128, {255, 255, 153}}, {4, 191, {121, 173, 50}},
    {4, 254, {20, 43, 140}},  {4, 255, {13, 31, 94}},

    {5, 0, {255, 255, 255}},  {5, 1, {136, 156, 60}},    {5, 2, {203, 236, 90}},
    {5, 65, {95, 228, 75}},   {5, 128, {58, 188, 173}},  {5, 191, {102, 116, 251}},
    {5, 254, {131, 12, 171}}, {5, 255, {90, 8, 114}},

    {6, 0, {255, 255, 255}},  {6, 1, {166, 102, 60}},    {6, 2, {249, 153, 91}},
    {6, 65, {181, 236, 87}},  {6, 128, {73, 207, 129}},  {6, 191, {98, 124, 246}},
    {6, 254, {120, 0, 133}},  {6, 255, {80, 0, 88}},
};

void expect_colour(const Rgba& actual, const Rgb8& expected, float alpha)
{
    for (std::size_t c = 0; c < 3; ++c)
        EXPECT_FLOAT_EQ(actual[c], static_cast<float>(expected[c] / 255.0)) << "channel " << c;
    EXPECT_EQ(actual[3], alpha);
}

} // namespace

TEST(ColourMap, FixedEntriesOfEveryMap)
{
    for (const Anchor& a : anchors) {
        const Rgb8 c = colour_map_entry(a.map, a.entry);
        EXPECT_EQ(c, a.colour) << "map " << a.map << " entry " << a.entry;
    }
    EXPECT_EQ(colour_map_table().size(), 7u * 768u);
    EXPECT_EQ(colour_map_table()[3 * 256 * 3 + 3 * 2], 159); // map 3, entry 2, red
}

TEST(ColourMap, HueSweepHasPureHuesAtStretchEndsAndAConcaveRise)
{
    EXPECT_EQ(colour_map_entry(0, 51), (Rgb8{255, 0, 0}));
    EXPECT_EQ(colour_map_entry(0, 102), (Rgb8{255, 255, 0}));
    EXPECT_EQ(colour_map_entry(0, 152), (Rgb8{0, 255, 0}));
    EXPECT_EQ(colour_map_entry(0, 203), (Rgb8{0, 255, 255}));
    const int rising_green[] = {24, 37, 47, 55};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(colour_map_entry(0, 52 + k),
                  (Rgb8{255, static_cast<std::uint8_t>(rising_green[k]), 0}));
    // Along the whole ramp one channel at most lies strictly between 0 and 255.
    for (int e = 2; e <= 254; ++e) {
        const Rgb8 c = colour_map_entry(0, e);
        int between = 0;
        for (std::uint8_t v : c)
            between += v != 0 && v != 255;
        EXPECT_LE(between, 1) << "entry " << e;
    }
}

TEST(ColourMap, AnchoredRampsAreSmoothAndStayBetweenTheirAnchors)
{
    const int knots[] = {2, 65, 128, 191, 254};
    for (int map = 1; map < colour_map_count; ++map) {
        for (int k = 0; k < 4; ++k) {
            const Rgb8 a = colour_map_entry(map, knots[k]);
            const Rgb8 b = colour_map_entry(map, knots[k + 1]);
            for (int e = knots[k]; e < knots[k + 1]; ++e) {
                const Rgb8 c = colour_map_entry(map, e);
                const Rgb8 next = colour_map_entry(map, e + 1);
                for (std::size_t ch = 0; ch < 3; ++ch) {
                    EXPECT_GE(c[ch], std::min(a[ch], b[ch])) << map << " " << e;
                    EXPECT_LE(c[ch], std::max(a[ch], b[ch])) << map << " " << e;
                    EXPECT_LE(std::abs(next[ch] - c[ch]), 6) << map << " " << e;
                }
            }
        }
    }
}

TEST(ColourMap, ValuesMapOntoTheRampAndItsEnds)
{
    struct Case {
        double v;
        int entry;
    } cases[] = {
        {0.0, 2},   {1.0, 254},       {-0.001, 1}, {1.001, 255},
        {0.5, 128}, {1.0 / 252.0, 3}, {-1e300, 1}, {INFINITY, 255},
    };
    for (int map = 0; map < colour_map_count; ++map)
        for (const Case& c : cases)
            expect_colour(colour_from_map(map, c.v, 0.5f), colour_map_entry(map, c.entry), 0.5f);

    // Halfway along the first segment of map 3: between entries 2 (159, 3, 67) and 3.
    const Rgb8 e2 = colour_map_entry(3, 2);
    const Rgb8 e3 = colour_map_entry(3, 3);
    const Rgba half = colour_from_map(3, 0.5 / 252.0, 1.0f);
    for (std::size_t ch = 0; ch < 3; ++ch)
        EXPECT_FLOAT_EQ(half[ch], static_cast<float>((e2[ch] + e3[ch]) / 2.0 / 255.0));

    expect_colour(colour_from_map(3, NAN, 0.5f), colour_map_entry(3, 0), 0.5f);
}
