#include "view/probe_text.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/german_locale.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// LR and HR: one triangle each. The hit lies on the LR or HR triangle with weights 0.25, 0.5
// and 0.25 for the first, second and third corner, nearest to vertex 2. LR corner values and
// the HR values of their matches are chosen so that every interpolation comes out exactly.
struct ProbePair {
    Surface lr;
    Surface hr;
    PickHit hit;

    ProbePair()
    {
        const Mesh mesh{{{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {triangle(0, 1, 2)}};
        fill_surface(lr, mesh);
        fill_surface(hr, mesh);
        lr.data = {4, 2, 18};            // interpolated 6.5
        hr.data = {10, 20, 40};          // interpolated 22.5
        lr.match_index = {2, 1, 0};      // matched HR values 40, 20, 10: differences -36, -18, 8
        lr.match_distance2 = {1, 4, 16}; // distances 1, 2, 4: interpolated 2.25
        lr.curvature = {0.01, 0.02, -0.04};
        hr.curvature = {0.1, 0.2, 0.3};
        hit.triangle = {0, 1, 2};
        hit.weights = {0.5, 0.25};
        hit.nearest_vertex = 2;
        hit.surface = PickedSurface::lr;
    }

    std::string text(ShadingMode mode) const
    {
        return probe_text(hit, lr, hr, mode, 25.0, "g/cm3"); // search range 5 mm
    }
};

} // namespace

TEST(ProbeText, EachShadingTellsItsValueAtTheHit)
{
    struct Case {
        ShadingMode mode;
        bool on_hr;
        std::function<void(ProbePair&)> change;
        const char* expected;
    } cases[] = {
        {shading_plain, false, nullptr, "LR  vertex 2"},
        {shading_plain, true, nullptr, "HR  vertex 2"},
        {shading_surface_data, false, nullptr, "LR data 6.50 g/cm3 (vertex 2)"},
        {shading_surface_data, true, nullptr, "HR data 22.5 g/cm3 (vertex 2)"},
        {shading_surface_data, false, [](ProbePair& p) { p.lr.sigma[1] = missing_value; },
         "LR data invalid (vertex 2)"},
        {shading_gaussian_curvature, false, nullptr,
         "LR Gaussian curvature 0.00250 mm-2 (vertex 2)"},
        {shading_gaussian_curvature, true, nullptr, "HR Gaussian curvature 0.200 mm-2 (vertex 2)"},
        {shading_registration_error, false, nullptr, "Registration error 2.25 mm (vertex 2)"},
        // A corner matched no nearer than the search range: only a bound is known.
        {shading_registration_error, false, [](ProbePair& p) { p.lr.match_distance2[0] = 25; },
         "Registration error >5.00 mm (vertex 2)"},
        {shading_registration_error, false,
         [](ProbePair& p) { p.lr.match_distance2[2] = missing_value; },
         "Registration error >5.00 mm (vertex 2)"},
        {shading_signed_data_error, false, nullptr, "Signed data error -16.0 g/cm3 (vertex 2)"},
        // The absolute differences are interpolated, not the signed ones.
        {shading_absolute_data_error, false, nullptr, "Absolute data error 20.0 g/cm3 (vertex 2)"},
        {shading_signed_data_error, false, [](ProbePair& p) { p.lr.match_distance2[1] = 30; },
         "Signed data error unavailable (unmatched) (vertex 2)"},
        // An HR vertex without data, matched to a corner.
        {shading_absolute_data_error, false, [](ProbePair& p) { p.hr.sigma[0] = missing_value; },
         "Absolute data error unavailable (invalid) (vertex 2)"},
        // An LR corner without data.
        {shading_signed_data_error, false, [](ProbePair& p) { p.lr.sigma[2] = missing_value; },
         "Signed data error unavailable (invalid) (vertex 2)"},
        // A match index that names no HR vertex.
        {shading_signed_data_error, false, [](ProbePair& p) { p.lr.match_index[0] = 7; },
         "Signed data error unavailable (invalid) (vertex 2)"},
        // Unmatched is told before invalid.
        {shading_signed_data_error, false,
         [](ProbePair& p) {
             p.lr.match_distance2[1] = 30;
             p.lr.sigma[1] = missing_value;
         },
         "Signed data error unavailable (unmatched) (vertex 2)"},
    };
    for (const Case& c : cases) {
        ProbePair pair;
        if (c.change)
            c.change(pair);
        if (c.on_hr)
            pair.hit.surface = PickedSurface::hr;
        EXPECT_EQ(pair.text(c.mode), c.expected);
    }
}

TEST(ProbeText, NumbersHaveThreeDigitsAndNoTrailingPointInAnyLocale)
{
    GermanLocale german;
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {12.0, "12.0"},   {100.0, "100"},       {0.00123, "0.00123"},
        {-0.5, "-0.500"}, {1234.0, "1.23e+03"}, {0.0, "0.00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(probe_number(c.value), c.text) << c.value;
}
