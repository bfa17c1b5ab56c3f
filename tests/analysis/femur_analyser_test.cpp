// The whole femur analysis on a generated proximal femur whose anatomy is known, and the items
// it hands to the surface.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"
#include "analysis/surface_geometry.h"

#include "tests/fixtures/proximal_femur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A surface prepared as the loader leaves it after its geometry step (rims, axes, curvature);
// the name keeps the femur analysis itself from running.
Surface analysed_surface(const Mesh& mesh)
{
    Surface surface;
    fill_surface(surface, mesh);
    surface.name = "bone";
    analyse_surface_geometry(surface);
    return surface;
}

double distance(const Point3& a, const Point3& b) { return std::sqrt(squared_distance(a, b)); }

// Distance of p from the line through `on` along the unit direction d.
double distance_from_line(const Point3& p, const Point3& on, const Point3& d)
{
    const Point3 offset = p - on;
    return std::sqrt(std::max(0.0, dot(offset, offset) - dot(offset, d) * dot(offset, d)));
}

const Landcurve* find_curve(const Surface& surface, const std::string& name)
{
    for (const Landcurve& curve : surface.landcurves) {
        if (curve.name == name)
            return &curve;
    }
    return nullptr;
}

const std::vector<std::string> all_items = {
    "auto-detected rim 0", head_neck_landcurve_name, lesser_trochanter_landcurve_name,
    shaft_landcurve_name,  fovea_landmark_name,      crest_landmark_name,
    fossa_landmark_name};

} // namespace

TEST(FemurAnalyser, FindsTheAnatomyOfAGeneratedRightFemur)
{
    const ProximalFemurShape shape;
    Surface surface = analysed_surface(proximal_femur(shape));
    FemurAnalyser analyser;
    analyser.analyse_proximal_femur(surface, 1);

    EXPECT_EQ(item_names(surface), all_items);
    EXPECT_FALSE(analyser.boundary_failed || analyser.lesser_trochanter_failed ||
                 analyser.crest_failed || analyser.head_fit_failed);

    // The head-neck boundary rings the neck just below the head, across the neck axis.
    const Point3 d = shape.neck_direction();
    const Point3 boundary_centre = mean_row(analyser.head_neck_boundary);
    EXPECT_LT(distance_from_line(boundary_centre, shape.head_centre(), d), 1.5);
    const double below_head = dot(boundary_centre - shape.head_centre(), d);
    EXPECT_GT(below_head, -25.0);
    EXPECT_LT(below_head, -12.0);
    const Eigen::Vector3d normal = scatter_axes(analyser.head_contour).eigenvectors().col(0);
    EXPECT_GT(std::fabs(normal.dot(to_eigen(d))), 0.95);

    // Sphere and fovea: the head as built, the fovea in its dimple (a vertex within one edge).
    EXPECT_LT(distance(analyser.head_centre, shape.head_centre()), 1.0);
    EXPECT_NEAR(analyser.head_radius, shape.head_radius, 0.5);
    EXPECT_LT(distance(analyser.fovea, shape.fovea_on_sphere()), shape.fovea_depth + shape.spacing);

    // The lesser trochanter rings its bump; the shaft slice rings the shaft at its height.
    EXPECT_LT(distance(mean_row(analyser.lesser_trochanter), shape.trochanter_base()), 2.0);
    const Landcurve* slice = find_curve(surface, shaft_landcurve_name);
    ASSERT_NE(slice, nullptr);
    const double height = mean_row(analyser.lesser_trochanter).z;
    for (const Landmark& point : slice->points) {
        EXPECT_NEAR(point.position.z, height, 1.0);
        const double radius = std::hypot(point.position.x, point.position.y);
        EXPECT_GT(radius, shape.shaft_radius - 1.0);
        EXPECT_LT(radius, shape.shaft_radius + shape.trochanter_rise);
    }

    // Crest on the greater trochanter, on the lesser trochanter's (posterior) side and above
    // the neck's lowest point; the fossa next to it, towards the head.
    EXPECT_GT(analyser.crest_point.y, 0.0);
    EXPECT_LT(analyser.crest_point.x, 10.0);
    EXPECT_GT(analyser.crest_point.z, analyser.head_neck_boundary.col(2).minCoeff());
    EXPECT_LT(distance(analyser.fossa_point, analyser.crest_point), 15.0);
    EXPECT_GT(analyser.fossa_point.x, analyser.crest_point.x);
}

TEST(FemurAnalyser, ItemsAreClosedCurvesOfTheFittedRowsAndBareLandmarks)
{
    Surface surface = analysed_surface(proximal_femur());
    FemurAnalyser analyser;
    analyser.analyse_proximal_femur(surface, 1);
    const Landcurve* boundary = find_curve(surface, head_neck_landcurve_name);
    ASSERT_NE(boundary, nullptr);
    EXPECT_TRUE(boundary->closed);
    EXPECT_EQ(boundary->partner, -1);
    ASSERT_EQ(boundary->points.size(), 30u);
    ASSERT_EQ(boundary->control_points.size(), 30u);
    for (std::size_t i = 0; i < 30; ++i) {
        const auto row = static_cast<Eigen::Index>(i);
        EXPECT_EQ(boundary->points[i].position.x, analyser.head_neck_boundary(row, 0));
        EXPECT_EQ(boundary->control_points[i].position.z, analyser.head_neck_boundary(row, 2));
        EXPECT_TRUE(boundary->points[i].name.empty());
        EXPECT_EQ(boundary->points[i].vertex_index, -1);
    }
    const Landmark& fovea = surface.landmarks.front();
    EXPECT_EQ(fovea.name, fovea_landmark_name);
    EXPECT_EQ(fovea.position.x, analyser.fovea.x);
    EXPECT_EQ(fovea.tangent1.x, 0.0);
    EXPECT_EQ(current_analyser, &analyser);
}

TEST(FemurAnalyser, TheBoneSideDecidesWhereTheLesserTrochanterMayLie)
{
    // A left femur is the mirror image of a right one: its lesser trochanter is found on the
    // other side of w only when the analysis is told the side.
    const Mesh right = proximal_femur();
    const Mesh left = mirrored_in_y(right);
    struct Case {
        const Mesh* mesh;
        std::uint8_t side;
        bool found;
    } cases[] = {{&right, 1, true}, {&left, 0, true}, {&left, 1, false}, {&right, 0, false}};
    for (const Case& c : cases) {
        Surface surface = analysed_surface(*c.mesh);
        FemurAnalyser analyser;
        analyser.analyse_proximal_femur(surface, c.side);
        SCOPED_TRACE(testing::Message()
                     << "side " << int(c.side) << ", mirrored " << (c.mesh == &left));
        EXPECT_FALSE(analyser.boundary_failed);
        EXPECT_EQ(!analyser.lesser_trochanter_failed, c.found);
        EXPECT_EQ(find_curve(surface, lesser_trochanter_landcurve_name) != nullptr, c.found);
        EXPECT_EQ(find_curve(surface, shaft_landcurve_name) != nullptr, c.found);
        const std::vector<std::string> names = item_names(surface);
        EXPECT_EQ(std::count(names.begin(), names.end(), crest_landmark_name), c.found ? 1 : 0);
        EXPECT_EQ(std::count(names.begin(), names.end(), fovea_landmark_name), 1);
        if (c.found) {
            const double y = mean_row(analyser.lesser_trochanter).y;
            EXPECT_GT(c.mesh == &left ? -y : y, 10.0);
        }
    }
}

TEST(FemurAnalyser, ASurfaceWithoutContoursGetsNothingAndSaysSoOnStandardError)
{
    // A sphere curves the same way everywhere: no zero crossing, no head-neck boundary.
    Surface surface = analysed_surface(icosphere(3, 20.0));
    surface.landmarks.push_back(Landmark{});
    testing::internal::CaptureStderr();
    FemurAnalyser analyser;
    analyser.analyse_proximal_femur(surface, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to find boundary of FH\n");
    EXPECT_TRUE(analyser.contours.empty());
    EXPECT_TRUE(analyser.boundary_failed);
    EXPECT_TRUE(analyser.lesser_trochanter_failed);
    EXPECT_EQ(surface.landmarks.size(), 1u);
    EXPECT_TRUE(surface.landcurves.empty());
}

TEST(FemurAnalyser, ATriangleAtTheEdgeOfTheDoublesGivesOnlyFiniteItems)
{
    // Its squared edge lengths are infinite, so its angles, areas and curvature are not
    // numbers, and the mean edge length is infinite (no smoothing at all).
    Mesh mesh = proximal_femur();
    const auto far = static_cast<std::int64_t>(mesh.positions.size());
    mesh.positions.push_back({1e155, 0, 0});
    mesh.positions.push_back({-1e155, 1e155, 0});
    mesh.positions.push_back({0, -1e155, 1e155});
    mesh.triangles.push_back(triangle(far, far + 1, far + 2));
    Surface surface = analysed_surface(mesh);
    FemurAnalyser analyser;
    testing::internal::CaptureStderr();
    analyser.analyse_proximal_femur(surface, 1);
    testing::internal::GetCapturedStderr();
    for (const Landmark& landmark : surface.landmarks)
        EXPECT_TRUE(is_finite(landmark.position)) << landmark.name;
    for (const Landcurve& curve : surface.landcurves)
        for (const Landmark& point : curve.points)
            EXPECT_TRUE(is_finite(point.position)) << curve.name;
}

TEST(FemurAnalyser, RunsOnceFromTheSurfaceAnalysisOfAProximalFemur)
{
    Surface surface;
    fill_surface(surface, proximal_femur());
    surface.name = "femur_proximal_R";
    analyse_surface_geometry(surface);
    EXPECT_EQ(item_names(surface), all_items);
    // Loaded again as the system saved it (the rim curve aside), it gets no second copy.
    surface.landcurves.erase(surface.landcurves.begin());
    analyse_surface_geometry(surface);
    std::vector<std::string> names = item_names(surface);
    std::vector<std::string> expected = all_items;
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}
