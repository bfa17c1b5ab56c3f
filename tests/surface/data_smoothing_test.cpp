// Smoothing of surface data and the smoothing width shown to the user.
#include "surface/data_smoothing.h"

#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// FWHM of the n-fold convolution of (1/3, 1/3, 1/3), crossing interpolated linearly.
double fwhm_by_rule(int passes)
{
    std::vector<double> f{1.0};
    for (int n = 0; n < passes; ++n) {
        std::vector<double> next(f.size() + 2, 0.0);
        for (std::size_t i = 0; i < f.size(); ++i)
            for (std::size_t k = 0; k < 3; ++k)
                next[i + k] += f[i] / 3.0;
        f = next;
    }
    const std::size_t centre = f.size() / 2;
    const auto at = [&](std::size_t d) { return centre + d < f.size() ? f[centre + d] : 0.0; };
    const double half = at(0) / 2.0;
    std::size_t d = 0;
    while (!(at(d) < half))
        ++d;
    return 2.0 * ((d - 1.0) + (at(d - 1) - half) / (at(d - 1) - at(d)));
}

TEST(FwhmFactorTable, FollowsTheConvolutionRuleToFiveDigits)
{
    EXPECT_EQ(FwhmFactorTable[0], 1.0f);
    EXPECT_EQ(FwhmFactorTable[1], 2.0f); // the rule would give 3
    for (int n = 2; n <= 200; ++n) {
        const double expected = fwhm_by_rule(n);
        const double digit = std::pow(10.0, std::floor(std::log10(expected)) - 4.0);
        EXPECT_NEAR(FwhmFactorTable[static_cast<std::size_t>(n)], expected, 0.5 * digit + 1e-6)
            << "entry " << n;
    }
    // Anchors as published.
    EXPECT_FLOAT_EQ(FwhmFactorTable[3], 3.6667f);
    EXPECT_FLOAT_EQ(FwhmFactorTable[10], 6.2788f);
    EXPECT_FLOAT_EQ(FwhmFactorTable[100], 19.291f);
    EXPECT_FLOAT_EQ(FwhmFactorTable[200], 27.237f);
}

TEST(FwhmFactorTable, LookupsAreClampedToTheTable)
{
    EXPECT_EQ(fwhm_factor(-7), FwhmFactorTable[0]);
    EXPECT_EQ(fwhm_factor(201), FwhmFactorTable[200]);
    EXPECT_EQ(fwhm_factor(1 << 30), FwhmFactorTable[200]);
}

// A flat grid whose interior vertices each lie in six triangles.
Surface grid_surface(int n)
{
    Surface surface;
    fill_surface(surface, flat_grid(static_cast<double>(n - 1), n));
    return surface;
}

TEST(SmoothData, LinearFieldKeepsInteriorValuesAndErrorsShrinkBySqrt7)
{
    const int n = 7;
    Surface surface = grid_surface(n);
    for (std::size_t i = 0; i < surface.positions.size(); ++i) {
        surface.data[i] = 2.0 * surface.positions[i].x - 3.0 * surface.positions[i].y + 1.0;
        surface.sigma[i] = 0.5;
    }
    const std::vector<double> before = surface.data;
    smooth_data(1, surface);
    for (int i = 1; i + 1 < n; ++i) {
        for (int j = 1; j + 1 < n; ++j) {
            const auto v = static_cast<std::size_t>(i * n + j);
            EXPECT_NEAR(surface.data[v], before[v], 1e-12) << "vertex " << v;
            EXPECT_NEAR(surface.sigma[v], 0.5 / std::sqrt(7.0), 1e-12) << "vertex " << v;
        }
    }
    // The corner (0, n - 1) lies in one triangle, with corners n - 2 and 2n - 1: its two
    // neighbours count once each, itself twice.
    const auto corner = static_cast<std::size_t>(n - 1);
    const double expected = (2.0 * before[corner] + before[corner - 1] + before[corner + n]) / 4.0;
    EXPECT_NEAR(surface.data[corner], expected, 1e-12);
    EXPECT_NEAR(surface.sigma[corner], 0.5 / std::sqrt(2.0), 1e-12);
    EXPECT_EQ(surface.smoothing_steps, 1);
}

TEST(SmoothData, MissingDataIsFilledFromWeightedNeighboursOnePassAtATime)
{
    // Octahedron: vertex 0 (+x) touches 2 (+y), 3 (-y), 4 (+z), 5 (-z), each in two triangles.
    Surface surface;
    fill_surface(surface, octahedron());
    surface.data = {0.0, 100.0, 1.0, 2.0, 3.0, 4.0};
    surface.sigma = {missing_value, missing_value, 1.0, 1.0, 2.0, 2.0};
    // Keep vertex 1 (-x) and vertex 0 apart: drop every triangle that holds 1.
    std::vector<Triangle> kept;
    for (const Triangle& t : surface.triangles)
        if (t.vertex[0] != 1 && t.vertex[1] != 1 && t.vertex[2] != 1)
            kept.push_back(t);
    surface.triangles = kept;
    smooth_data(1, surface);
    // Weights 1, 1, 1/4, 1/4, each counted twice.
    EXPECT_NEAR(surface.data[0], (1.0 + 2.0 + 0.75 + 1.0) / 2.5, 1e-12);
    EXPECT_NEAR(surface.sigma[0], 1.0 / std::sqrt(2.5), 1e-12);
    // Vertex 1 now lies in no triangle and has no data: data 0, still no data.
    EXPECT_EQ(surface.data[1], 0.0);
    EXPECT_EQ(surface.sigma[1], missing_value);
}

TEST(SmoothData, PassesUseThePreviousPassValuesOnly)
{
    // A strip of two triangles 0-1-2 and 1-3-2; only vertex 0 has data. After one pass the data
    // reach 1 and 2 but not 3, which is two edges away.
    Surface surface;
    fill_surface(surface, Mesh{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                               {Triangle{{0, 1, 2}}, Triangle{{1, 3, 2}}}});
    surface.data = {5.0, 0.0, 0.0, 0.0};
    surface.sigma = {1.0, missing_value, missing_value, missing_value};
    smooth_data(1, surface);
    EXPECT_EQ(surface.data[1], 5.0);
    EXPECT_EQ(surface.data[2], 5.0);
    EXPECT_EQ(surface.sigma[3], missing_value);
    smooth_data(1, surface);
    EXPECT_EQ(surface.data[3], 5.0);
    EXPECT_TRUE(std::isfinite(surface.sigma[3]));
    EXPECT_EQ(surface.smoothing_steps, 2);
}

TEST(SmoothData, EdgeCases)
{
    Surface surface;
    fill_surface(surface, Mesh{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {9, 9, 9}},
                               {Triangle{{0, 1, 2}}}});
    surface.data = {1.0, 2.0, 3.0, 7.0};
    surface.sigma = {1.0, 1.0, 1.0, 0.25};

    // No passes, or negative ones, change nothing at all.
    for (const int passes : {0, -3}) {
        smooth_data(passes, surface);
        EXPECT_EQ(surface.data, (std::vector<double>{1.0, 2.0, 3.0, 7.0}));
        EXPECT_EQ(surface.smoothing_steps, 0);
    }

    // Vertex 3 is in no triangle: it keeps its value and its error.
    smooth_data(1, surface);
    EXPECT_EQ(surface.data[3], 7.0);
    EXPECT_NEAR(surface.sigma[3], 0.25, 1e-15);

    // A value that is not a number, or an error of zero (infinite weight), contributes nothing
    // instead of spreading through the mesh.
    surface.data = {std::nan(""), 2.0, 3.0, 7.0};
    surface.sigma = {1.0, 0.0, 1.0, 1.0};
    smooth_data(1, surface);
    EXPECT_EQ(surface.data[0], 3.0);
    EXPECT_EQ(surface.data[1], 3.0);
    EXPECT_EQ(surface.data[2], 3.0);

    // The count grows even on a surface without vertices.
    Surface empty;
    smooth_data(4, empty);
    EXPECT_EQ(empty.smoothing_steps, 4);
}

TEST(FwhmEstimateText, ShowsTheWidthOfEachSmoothedSurface)
{
    struct Case {
        std::int64_t hr_steps, lr_steps, lr_hr_steps;
        double e_hr, e_lr;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, 0, 1.0, 1.0, ""},                                    // nothing smoothed
        {3, 0, 0, 1.0, 1.0, "Smoothing FWHM: 3.67 mm (HR)"},        // HR only
        {3, 0, 3, 1.0, 2.0, "Smoothing FWHM: 3.67 mm (HR), 3.67 mm (LR)"}, // after mapping
        {0, 2, 2, 1.0, 2.0, "Smoothing FWHM: 6.25 mm (LR)"}, // edge lengths weighted by passes
        {250, 0, 0, 2.0, 1.0, "Smoothing FWHM: >54.47 mm (HR)"},  // beyond the table
        {0, 300, 0, 1.0, 1.0, "Smoothing FWHM: >27.24 mm (LR)"},
    };
    for (const Case& c : cases) {
        Surface hr, lr;
        hr.smoothing_steps = c.hr_steps;
        lr.smoothing_steps = c.lr_steps;
        lr.hr_smoothing_steps = c.lr_hr_steps;
        EXPECT_EQ(fwhm_estimate_text(hr, lr, c.e_hr, c.e_lr), c.text);
    }
}

} // namespace
