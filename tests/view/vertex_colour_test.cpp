#include "view/vertex_colour.h"

#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Four-vertex LR and HR surfaces; LR vertex i is matched to HR vertex i at squared distance 1
// unless a test changes it.
struct Pair {
    Surface lr;
    Surface hr;
    Pair()
    {
        fill_surface(lr, tetrahedron());
        fill_surface(hr, tetrahedron());
        for (int i = 0; i < 4; ++i) {
            lr.match_index[i] = i;
            lr.match_distance2[i] = 1.0;
        }
    }
};

ColourSettings settings(int map = 3)
{
    ColourSettings s;
    s.colour_map = map;
    s.data_min = 0.0;
    s.data_max = 10.0;
    s.range2 = 4.0;
    return s;
}

Rgba ramp(int map, double v)
{
    return colour_from_map(map, v, surface_alpha);
}
Rgba entry(int map, int e)
{
    return colour_map_rgba(map, e, surface_alpha);
}

} // namespace

TEST(VertexColour, DataIsScaledByRangeOffsetAndGain)
{
    Pair p;
    p.lr.data = {5.0, 10.0, 0.0, 7.0};
    p.lr.sigma[3] = missing_value;
    ColourSettings s = settings();
    auto c = vertex_colours(list_lr_data, p.lr, p.hr, s);
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0], ramp(3, 0.5));
    EXPECT_EQ(c[1], entry(3, 254));
    EXPECT_EQ(c[2], entry(3, 2));
    EXPECT_EQ(c[3], entry(3, 0)); // no data

    s.gain = 2.0;
    s.offset = 0.25;
    c = vertex_colours(list_lr_data, p.lr, p.hr, s);
    EXPECT_EQ(c[1], ramp(3, 0.375));
    EXPECT_EQ(c[2], entry(3, 1)); // (0 - 0.25) / 2 is below the range

    // An empty data range makes every value NaN or infinite: all vertices show "no data".
    s.data_max = s.data_min;
    for (const Rgba& colour : vertex_colours(list_lr_data, p.lr, p.hr, s))
        EXPECT_EQ(colour, entry(3, 0));
}

TEST(VertexColour, HrKindsColourTheHrSurface)
{
    Pair p;
    fill_surface(p.hr, octahedron());
    p.hr.data.assign(6, 10.0);
    p.hr.curvature.assign(6, -0.04);
    EXPECT_EQ(vertex_colours(list_hr_data, p.lr, p.hr, settings()).size(), 6u);
    const auto curvature = vertex_colours(list_hr_curvature, p.lr, p.hr, settings(1));
    ASSERT_EQ(curvature.size(), 6u);
    EXPECT_EQ(curvature[0], entry(1, 2));
    EXPECT_TRUE(vertex_colours(list_hr_plain, p.lr, p.hr, settings()).empty());
    EXPECT_TRUE(vertex_colours(list_lr_plain, p.lr, p.hr, settings()).empty());
}

TEST(VertexColour, CurvatureReachesTheRampEndsAtPlusMinusPointZeroFourPerGain)
{
    Pair p;
    p.lr.curvature = {0.04, -0.04, 0.0, NAN};
    ColourSettings s = settings(1);
    auto c = vertex_colours(list_lr_curvature, p.lr, p.hr, s);
    EXPECT_EQ(c[0], entry(1, 254));
    EXPECT_EQ(c[1], entry(1, 2));
    EXPECT_EQ(c[2], ramp(1, 0.5));
    EXPECT_EQ(c[3], entry(1, 0));
    s.gain = 2.0;
    c = vertex_colours(list_lr_curvature, p.lr, p.hr, s);
    EXPECT_EQ(c[0], ramp(1, 0.75));
}

TEST(VertexColour, RegistrationErrorIsTheSquaredDistanceOverTheSquaredRange)
{
    Pair p;
    p.lr.match_distance2 = {1.0, 0.0, missing_value, 4.0};
    ColourSettings s = settings();
    auto c = vertex_colours(list_lr_registration_error, p.lr, p.hr, s);
    EXPECT_EQ(c[0], ramp(3, 0.25));
    EXPECT_EQ(c[1], entry(3, 2));
    EXPECT_EQ(c[2], entry(3, 255)); // unmatched: above the range
    EXPECT_EQ(c[3], entry(3, 254));

    // A search range of 0: nothing can be coloured.
    s.range2 = 0.0;
    for (const Rgba& colour : vertex_colours(list_lr_registration_error, p.lr, p.hr, s))
        EXPECT_EQ(colour, entry(3, 0));
}

TEST(VertexColour, DataErrorsCompareWithTheMatchedHrValue)
{
    Pair p;
    p.lr.data = {3.0, 1.0, 3.0, 3.0};
    p.hr.data = {1.0, 3.0, 1.0, 1.0};
    p.lr.match_distance2[2] = 4.0; // not below the squared range: unmatched
    p.hr.sigma[3] = missing_value; // the match has no data
    const ColourSettings s = settings();

    const auto absolute = vertex_colours(list_lr_absolute_data_error, p.lr, p.hr, s);
    EXPECT_EQ(absolute[0], ramp(3, 0.2));
    EXPECT_EQ(absolute[1], ramp(3, 0.2));
    EXPECT_EQ(absolute[2], unmatched_colour);
    EXPECT_EQ(absolute[3], entry(3, 0));

    const auto signed_error = vertex_colours(list_lr_signed_data_error, p.lr, p.hr, settings(1));
    EXPECT_EQ(signed_error[0], ramp(1, 0.7));
    EXPECT_EQ(signed_error[1], ramp(1, 0.3));
    EXPECT_EQ(signed_error[2], unmatched_colour);
    EXPECT_EQ(signed_error[3], entry(1, 0));

    // A stored match index that names no HR vertex is treated as missing data.
    p.lr.match_index[0] = 99;
    EXPECT_EQ(vertex_colours(list_lr_absolute_data_error, p.lr, p.hr, s)[0], entry(3, 0));
}
