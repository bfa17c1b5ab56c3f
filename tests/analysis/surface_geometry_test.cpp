// The per-surface analysis: bounds and radii, its order of steps and femur recognition.
#include "analysis/surface_geometry.h"

#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

bool is_finite(const Matrix4& matrix)
{
    return std::all_of(matrix.m.begin(), matrix.m.end(), [](double e) { return std::isfinite(e); });
}

} // namespace

TEST(SurfaceGeometry, BoundsCentroidAndRadii)
{
    Surface surface;
    fill_surface(surface, Mesh{{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}}, {}});
    compute_bounds_and_radii(surface);
    EXPECT_DOUBLE_EQ(surface.bbox_min.x, 0.0);
    EXPECT_DOUBLE_EQ(surface.bbox_max.y, 2.0);
    EXPECT_DOUBLE_EQ(surface.centroid.x, 0.5);
    EXPECT_DOUBLE_EQ(surface.centroid.z, 0.5);
    EXPECT_DOUBLE_EQ(surface.from_centred[12], 0.5);
    EXPECT_DOUBLE_EQ(surface.to_centred[14], -0.5);
    EXPECT_FLOAT_EQ(surface.max_radius, std::sqrt(2.75f));
    EXPECT_FLOAT_EQ(surface.rms_radius, 1.5f); // sqrt((0.75 + 3 x 2.75) / 4)

    Surface empty;
    compute_bounds_and_radii(empty);
    EXPECT_EQ(empty.centroid.x, 0.0);
    EXPECT_EQ(empty.max_radius, 0.0f);
    EXPECT_EQ(empty.rms_radius, 0.0f);
}

TEST(SurfaceGeometry, RimVerticesAreZeroedBeforeTheCurvatureIsSmoothed)
{
    // Unzeroed, the border of a cap has a deficit near pi per vertex and its smoothed curvature
    // would far exceed the sphere's 2 / (3 R^2).
    Surface cap;
    fill_surface(cap, spherical_cap(10.0, 60.0, 12, 48));
    analyse_surface_geometry(cap);
    ASSERT_EQ(cap.rim_vertex_count, 48);
    const double sphere = 2.0 / 300.0;
    EXPECT_LT(*std::max_element(cap.curvature.begin(), cap.curvature.end()), 1.5 * sphere);
    EXPECT_NEAR(cap.curvature[0], sphere, 0.05 * sphere); // the pole
}

TEST(SurfaceGeometry, FlatSurfacesGiveFiniteResultsAndAProperFrame)
{
    // A flat grid has a box of zero height; a collinear triangle, zero extent on two axes, zero
    // area, zero normals and every vertex on the axis line, so no far vertex to point v at.
    const Mesh collinear{{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {triangle(0, 1, 2)}};
    for (const Mesh& mesh : {flat_grid(10.0, 11), collinear}) {
        Surface surface;
        fill_surface(surface, mesh);
        analyse_surface_geometry(surface);
        EXPECT_EQ(surface.bbox_max.z - surface.bbox_min.z, 0.0);
        ASSERT_FALSE(surface.rim_band.empty());
        EXPECT_TRUE(is_finite(surface.natural_axes));
        EXPECT_TRUE(is_finite(surface.mirror));
        EXPECT_TRUE(std::isfinite(surface.axial_extent));
        EXPECT_NEAR(linear_determinant(surface.natural_axes), 1.0, 1e-9);
        EXPECT_NEAR(linear_determinant(surface.mirror), -1.0, 1e-9);
        for (const double k : surface.curvature)
            EXPECT_TRUE(std::isfinite(k));
    }
}

TEST(SurfaceGeometry, FemurRecognitionSetsTheFlagAndTheGeometricSide)
{
    const struct {
        const char* name;
        bool femur;
    } cases[] = {
        {"left_femur_12", true},  {"canonical_5580", true}, {"ZIDI_siemens_proximal", true},
        {"ZIDI_proximal", false}, {"tibia_R", false},
    };
    const Mesh bone = open_procedural_bone(0);
    for (const auto& c : cases) {
        Surface surface;
        fill_surface(surface, bone);
        surface.name = c.name;
        surface.is_femur = !c.femur;
        surface.geometric_side = 7; // kept by a non-femur
        analyse_surface_geometry(surface);
        EXPECT_EQ(surface.is_femur, c.femur) << c.name;
        EXPECT_EQ(surface.geometric_side == 7, !c.femur) << c.name;
    }
}
