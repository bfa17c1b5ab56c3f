#include "view/landmark_definition.h"
#include "view/ray_picking.h"

#include "state/working_state.h"
#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

namespace {

// One triangle in the plane z = 0 with corners (0, 0), (4, 0) and (0, 4).
Mesh right_triangle() { return {{{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {triangle(0, 1, 2)}}; }

// The hits of a vertical ray from z = 10 down to z = -10 through (x, y).
std::vector<PickHit> vertical_hits(const Surface& surface, double x, double y,
                                   const Matrix4& placement = identity_matrix())
{
    std::vector<PickHit> hits;
    append_ray_hits(surface, PickedSurface::lr, placement, {x, y, 10}, {x, y, -10}, hits);
    return hits;
}

} // namespace

TEST(RayPicking, HitCarriesPlaceWeightsDistanceAndNearestCorner)
{
    Surface surface;
    fill_surface(surface, right_triangle());
    const std::vector<PickHit> hits = vertical_hits(surface, 1, 2);
    ASSERT_EQ(hits.size(), 1u);
    const PickHit& hit = hits[0];
    EXPECT_EQ(hit.surface, PickedSurface::lr);
    EXPECT_EQ(hit.triangle, (std::array<std::int64_t, 3>{0, 1, 2}));
    EXPECT_NEAR(hit.weights[0], 0.25, 1e-15);
    EXPECT_NEAR(hit.weights[1], 0.5, 1e-15);
    EXPECT_NEAR(hit.position.x, 1, 1e-15);
    EXPECT_NEAR(hit.position.y, 2, 1e-15);
    EXPECT_NEAR(hit.position.z, 0, 1e-15);
    // 10 mm along the ray, times the ray's length of 20 mm.
    EXPECT_NEAR(hit.distance, 200, 1e-12);
    // Corners 0 and 2 are equally near: the later one wins.
    EXPECT_EQ(hit.nearest_vertex, 2);
}

TEST(RayPicking, EdgesAndCornersCountAndTheRestMisses)
{
    Surface surface;
    fill_surface(surface, right_triangle());
    struct Case {
        double x, y;
        std::size_t hit_count;
        std::int64_t nearest;
    } cases[] = {
        {4, 0, 1, 1},     // on a corner
        {2, 2, 1, 2},     // on the long edge, halfway between corners 1 and 2
        {0, 1, 1, 0},     // on an edge next to corner 0
        {4.001, 0, 0, 0}, // just beyond the corner
        {3, 3, 0, 0},     // beyond the long edge
        {-1, -1, 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<PickHit> hits = vertical_hits(surface, c.x, c.y);
        ASSERT_EQ(hits.size(), c.hit_count) << c.x << " " << c.y;
        if (c.hit_count > 0) {
            EXPECT_EQ(hits[0].nearest_vertex, c.nearest) << c.x << " " << c.y;
        }
    }
}

TEST(RayPicking, CrossesTheShownShapeWhereThePlacementPutsItButReportsTheShapeAsRead)
{
    Surface surface;
    fill_surface(surface, right_triangle());
    // Deformed 50 mm along x and 10 mm up, placed another 100 mm along x.
    for (Point3& p : surface.deformed_positions)
        p = p + Point3{50, 0, 10};
    surface.shown = ShownShape::deformed;
    Matrix4 placement;
    make_translation(placement, 100, 0, 0);
    std::vector<PickHit> hits;
    append_ray_hits(surface, PickedSurface::hr, placement, {151, 2, 20}, {151, 2, -20}, hits);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].surface, PickedSurface::hr);
    EXPECT_NEAR(hits[0].distance, 10 * 40, 1e-12);
    EXPECT_NEAR(hits[0].position.x, 1, 1e-12);
    EXPECT_NEAR(hits[0].position.z, 0, 1e-12);
    // Where the shape as read would lie there is nothing to hit.
    EXPECT_TRUE(vertical_hits(surface, 101, 2, placement).empty());
}

TEST(RayPicking, UnusableTrianglesAndRaysFindNothing)
{
    Surface surface;
    fill_surface(surface, right_triangle());
    surface.triangles = {triangle(0, 1, 3), triangle(-1, 1, 2), triangle(0, 0, 1)};
    EXPECT_TRUE(vertical_hits(surface, 1, 0).empty()); // missing vertices, a degenerate triangle

    fill_surface(surface, right_triangle());
    std::vector<PickHit> hits;
    // Along the triangle's plane, and a ray of no length.
    append_ray_hits(surface, PickedSurface::lr, identity_matrix(), {-5, 1, 0}, {5, 1, 0}, hits);
    append_ray_hits(surface, PickedSurface::lr, identity_matrix(), {1, 1, 0}, {1, 1, 0}, hits);
    EXPECT_TRUE(hits.empty());
}

TEST(RayPicking, HitsOrderedNearestFirstKeepingTies)
{
    std::vector<PickHit> hits(4);
    const double distances[] = {3, 1, 3, 1};
    for (std::size_t i = 0; i < hits.size(); ++i) {
        hits[i].distance = distances[i];
        hits[i].nearest_vertex = static_cast<std::int64_t>(i);
    }
    order_hits_by_distance(hits);
    const std::int64_t expected[] = {1, 3, 0, 2};
    for (std::size_t i = 0; i < hits.size(); ++i)
        EXPECT_EQ(hits[i].nearest_vertex, expected[i]) << i;
}

TEST(RayPicking, TargetsByShading)
{
    struct Case {
        ShadingMode mode;
        bool hr_data, lr_data;
        bool hr, lr, lr_needs_matches;
    } cases[] = {
        {shading_plain, false, false, true, true, false},
        {shading_gaussian_curvature, false, false, true, true, false},
        {shading_surface_data, true, false, true, false, false},
        {shading_surface_data, false, true, false, true, false},
        // The HR surface is never picked in the error shadings.
        {shading_registration_error, true, true, false, true, true},
        {shading_signed_data_error, true, true, false, true, true},
        {shading_absolute_data_error, false, true, false, false, true},
        {shading_signed_data_error, true, false, false, false, true},
    };
    for (const Case& c : cases) {
        const PickTargets t = pick_targets(c.mode, true, true, c.hr_data, c.lr_data);
        EXPECT_EQ(t.hr, c.hr) << c.mode << " " << c.hr_data << c.lr_data;
        EXPECT_EQ(t.lr, c.lr) << c.mode << " " << c.hr_data << c.lr_data;
        EXPECT_EQ(t.lr_needs_matches, c.lr_needs_matches) << c.mode;
        // An unticked surface is never picked.
        const PickTargets hidden = pick_targets(c.mode, false, false, c.hr_data, c.lr_data);
        EXPECT_FALSE(hidden.hr || hidden.lr) << c.mode;
    }
}

TEST(LandmarkDefinition, LandcurvePointsStayOnTheSurfaceOfTheFirst)
{
    WorkingState state;
    state.landcurve_state = landcurve_on_lr;
    PickHit on_hr;
    on_hr.surface = PickedSurface::hr;
    on_hr.position = {1, 2, 3};
    on_hr.triangle = {4, 5, 6};
    on_hr.weights = {0.25, 0.5};
    PickHit on_lr;
    on_lr.surface = PickedSurface::lr;

    EXPECT_TRUE(collect_landcurve_point(state, on_hr));
    EXPECT_EQ(state.landcurve_state, landcurve_on_hr);
    EXPECT_FALSE(collect_landcurve_point(state, on_lr));
    EXPECT_TRUE(collect_landcurve_point(state, on_hr));
    ASSERT_EQ(state.picked_points.size(), 2u);

    const Landmark& point = state.picked_points[0];
    EXPECT_EQ(point.name, "");
    EXPECT_EQ(point.vertex_index, -1);
    EXPECT_EQ(point.partner, -1);
    EXPECT_EQ(point.position.z, 3);
    EXPECT_EQ(point.triangle, on_hr.triangle);
    EXPECT_EQ(point.weights, on_hr.weights);
    EXPECT_EQ(point.tangent1.x, 0);
    EXPECT_EQ(point.tangent2.z, 0);

    const Landcurve curve = picked_landcurve("rim", true, state.picked_points);
    EXPECT_EQ(curve.name, "rim");
    EXPECT_TRUE(curve.closed);
    EXPECT_EQ(curve.partner, -1);
    EXPECT_EQ(curve.points.size(), 2u);
    EXPECT_EQ(curve.control_points.size(), 2u);

    EXPECT_EQ(landcurve_name_prompt(landcurve_on_lr, false), "LR open landcurve name");
    EXPECT_EQ(landcurve_name_prompt(landcurve_on_hr, true), "HR closed landcurve name");
}
