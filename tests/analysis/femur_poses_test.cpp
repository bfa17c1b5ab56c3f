// The femur analysis in any pose: the same bone gives the same items, moved (or mirrored) with
// it, and a bone whose head the analysis cannot stand on the boundary it chose gets no item.
#include "analysis/femur_analyser.h"
#include "analysis/surface_geometry.h"
#include "surface/ply_surface_reader.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/proximal_femur.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double pi = 3.141592653589793;

Eigen::Matrix3d turn(double degrees, const Eigen::Vector3d& axis)
{
    return Eigen::AngleAxisd(degrees * pi / 180.0, axis).toRotationMatrix();
}

Eigen::Vector3d vec(const Point3& p) { return {p.x, p.y, p.z}; }

// A rigid motion, or a reflection followed by one.
struct Pose {
    const char* name;
    Eigen::Matrix3d linear;
    Eigen::Vector3d shift;

    Point3 operator()(const Point3& p) const
    {
        const Eigen::Vector3d q = linear * vec(p) + shift;
        return {q.x(), q.y(), q.z()};
    }
    bool mirrors() const { return linear.determinant() < 0.0; }
};

// The mesh in the pose; a reflection also reverses every triangle so the surface still faces
// outwards, as a mirrored scan does.
Mesh posed(const Mesh& mesh, const Pose& pose)
{
    Mesh moved = mesh;
    for (Point3& p : moved.positions)
        p = pose(p);
    if (pose.mirrors()) {
        for (Triangle& t : moved.triangles)
            std::swap(t.vertex[1], t.vertex[2]);
    }
    return moved;
}

// Loaded and analysed as the loader does it; the name makes it a proximal femur whose side
// comes from its shape.
Surface analysed_femur(const Mesh& mesh, const std::string& name)
{
    WorkingState state;
    Surface surface;
    fill_surface(surface, mesh);
    surface.name = name;
    testing::internal::CaptureStdout(); // the crest step may note that it took a lone vertex
    analyse_surface_geometry(state, surface);
    testing::internal::GetCapturedStdout();
    return surface;
}

double distance(const Point3& a, const Point3& b) { return std::sqrt(squared_distance(a, b)); }

double distance_to_segment(const Point3& p, const Point3& a, const Point3& b)
{
    const Point3 ab = b - a;
    const double length2 = dot(ab, ab);
    const double t = length2 > 0.0 ? std::clamp(dot(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    return distance(p, a + t * ab);
}

// The largest distance from a point of either closed curve to the polygon of the other: curves
// sampled from different starting points still agree.
double curve_distance(const std::vector<Landmark>& a, const std::vector<Landmark>& b)
{
    auto one_way = [](const std::vector<Landmark>& from, const std::vector<Landmark>& to) {
        double largest = 0.0;
        for (const Landmark& point : from) {
            double nearest = 1e300;
            for (std::size_t i = 0; i < to.size(); ++i)
                nearest = std::min(nearest, distance_to_segment(point.position, to[i].position,
                                                                to[(i + 1) % to.size()].position));
            largest = std::max(largest, nearest);
        }
        return largest;
    };
    return std::max(one_way(a, b), one_way(b, a));
}

const char* const femur_item_names[] = {head_neck_landcurve_name, lesser_trochanter_landcurve_name,
                                        shaft_landcurve_name,     fovea_landmark_name,
                                        crest_landmark_name,      fossa_landmark_name};

bool holds_femur_item(const Surface& surface)
{
    const std::vector<std::string> names = item_names(surface);
    return std::any_of(std::begin(femur_item_names), std::end(femur_item_names),
                       [&](const char* name) {
                           return std::find(names.begin(), names.end(), name) != names.end();
                       });
}

Point3 centre_of(const std::vector<Landmark>& points)
{
    Point3 sum;
    for (const Landmark& point : points)
        sum = sum + point.position;
    return (1.0 / static_cast<double>(points.size())) * sum;
}

// Every item of the surface lies within `tolerance` of the reference's item of the same name,
// moved by the pose: a landmark's position, a curve's points from the other curve and back
// (or, given a curve_tolerance, the curve's centre within `tolerance` and its points within
// curve_tolerance: a curve traced on a different triangulation runs a little differently).
void expect_items_near(const Surface& surface, const Surface& reference, const Pose& pose,
                       double tolerance, double curve_tolerance = 0.0)
{
    for (const Landmark& point : surface.landmarks) {
        const auto expected =
            std::find_if(reference.landmarks.begin(), reference.landmarks.end(),
                         [&](const Landmark& other) { return other.name == point.name; });
        ASSERT_NE(expected, reference.landmarks.end()) << point.name;
        EXPECT_LT(distance(point.position, pose(expected->position)), tolerance) << point.name;
    }
    for (const Landcurve& curve : surface.landcurves) {
        const auto match =
            std::find_if(reference.landcurves.begin(), reference.landcurves.end(),
                         [&](const Landcurve& other) { return other.name == curve.name; });
        ASSERT_NE(match, reference.landcurves.end()) << curve.name;
        std::vector<Landmark> expected = match->points;
        for (Landmark& point : expected)
            point.position = pose(point.position);
        if (curve_tolerance > 0.0) {
            EXPECT_LT(distance(centre_of(curve.points), centre_of(expected)), tolerance)
                << curve.name;
            EXPECT_LT(curve_distance(curve.points, expected), curve_tolerance) << curve.name;
        } else {
            EXPECT_LT(curve_distance(curve.points, expected), tolerance) << curve.name;
        }
    }
}

// Whether a message about a femur names the item as left out, by itself or with everything.
bool names_item(const std::string& message, const std::string& item)
{
    const std::pair<const char*, const char*> words[] = {
        {head_neck_landcurve_name, "head-neck boundary"},
        {lesser_trochanter_landcurve_name, "lesser trochanter"},
        {shaft_landcurve_name, "shaft slice"},
        {fovea_landmark_name, "fovea"},
        {crest_landmark_name, "crest"},
        {fossa_landmark_name, "fossa"}};
    if (message.find("no item is placed") != std::string::npos)
        return true;
    for (const auto& [name, word] : words) {
        if (item == name)
            return message.find(word) != std::string::npos;
    }
    return false;
}

} // namespace

TEST(FemurPoses, TheSameBoneGivesTheSameItemsInEveryPose)
{
    const ProximalFemurShape shape;
    const Mesh femur = proximal_femur(shape);
    const Eigen::Vector3d x = Eigen::Vector3d::UnitX(), y = Eigen::Vector3d::UnitY(),
                          z = Eigen::Vector3d::UnitZ();
    const Eigen::Matrix3d neck_up =
        Eigen::Quaterniond::FromTwoVectors(vec(shape.neck_direction()), z).toRotationMatrix();
    const Eigen::Matrix3d mirror_y = Eigen::Vector3d(1, -1, 1).asDiagonal();
    const Eigen::Matrix3d oblique = turn(37, z) * turn(71, x) * turn(-123, y);
    // The head lies towards +x, so a lateral tilt leans the shaft's top towards -x.
    const Pose poses[] = {
        {"head down", turn(180, x), {5, -3, 200}},
        {"z along the neck", neck_up, {0, 0, 0}},
        {"head down, z along the neck", turn(180, x) * neck_up, {-40, 10, 0}},
        {"lateral tilt 20", turn(-20, y), {0, 0, 0}},
        {"lateral tilt 30", turn(-30, y), {0, 0, 0}},
        {"medial tilt 20", turn(20, y), {0, 0, 0}},
        {"medial tilt 30", turn(30, y), {0, 0, 0}},
        {"oblique and moved", oblique, {10, 20, -30}},
        {"mirror", mirror_y, {0, 0, 0}},
        {"mirror, oblique and moved", oblique * mirror_y, {1, 2, 3}},
    };

    const Surface reference = analysed_femur(femur, "femur_proximal");
    ASSERT_EQ(reference.geometric_side, 1);
    const std::vector<std::string> names = item_names(reference);
    for (const char* name : femur_item_names)
        ASSERT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_EQ(femur_message(reference), "");

    for (const Pose& pose : poses) {
        SCOPED_TRACE(pose.name);
        const Surface surface = analysed_femur(posed(femur, pose), "femur_proximal");
        EXPECT_EQ(surface.geometric_side, pose.mirrors() ? 0 : 1);
        EXPECT_EQ(item_names(surface), names);
        if (item_names(surface) == names)
            expect_items_near(surface, reference, pose, 1.0);
    }
}

TEST(FemurPoses, NoItemIsWrittenThatTheBoneContradictsAndWhatIsLeftOutIsSaid)
{
    // Copies that the analysis cannot read as well as the generated femur: each item it writes
    // lies within 3 mm of the upright open femur's, moved with the copy, and each it leaves out
    // is named in what the load says about the surface.
    const ProximalFemurShape shape;
    const Mesh femur = proximal_femur(shape);
    const Mesh closed = closed_proximal_femur(shape);
    const Pose upright{"upright", Eigen::Matrix3d::Identity(), {0, 0, 0}};
    // The shaft along +x and the head towards +y: the file's +z, which a surface without a
    // rim takes as up, runs across the bone.
    const Pose shaft_along_x{"closed, shaft along +x",
                             (Eigen::Matrix3d() << 0, 0, 1, 1, 0, 0, 0, 1, 0).finished(),
                             {0, 0, 0}};
    const struct {
        const char* name;
        Mesh mesh;
        Pose pose;
        const char* surface_name;
        const char* said; // part of the message, "" for none
    } rows[] = {
        {"closed, shaft along +x", posed(closed, shaft_along_x), shaft_along_x, "femur_proximal",
         ""},
        {"closed, leaning 30 degrees",
         posed(closed, {"", turn(-30, Eigen::Vector3d::UnitY()), {}}),
         {"", turn(-30, Eigen::Vector3d::UnitY()), {0, 0, 0}},
         "femur_proximal",
         ""},
        {"wrong side word", femur, upright, "femur_proximal_left",
         "The name of femur_proximal_left says left but its shape is that of a right femur; the "
         "side from the name is used; no lesser trochanter, shaft slice, crest or fossa is "
         "placed"},
        {"midpoint-subdivided", midpoint_subdivided(femur), upright, "femur_proximal", ""},
    };
    const Surface reference = analysed_femur(femur, "femur_proximal");
    ASSERT_TRUE(holds_femur_item(reference));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStderr();
        const Surface surface = analysed_femur(row.mesh, row.surface_name);
        const std::string error = testing::internal::GetCapturedStderr();
        const std::string message = femur_message(surface);
        EXPECT_NE(message.find(row.said), std::string::npos) << message;
        const std::vector<std::string> found = item_names(surface);
        for (const std::string name : femur_item_names) {
            if (std::find(found.begin(), found.end(), name) == found.end()) {
                EXPECT_TRUE(names_item(message, name)) << name << " left out unsaid: " << message;
            }
        }
        if (found.empty()) {
            EXPECT_EQ(error, "Failed to find boundary of FH\n");
        } else {
            expect_items_near(surface, reference, row.pose, 3.0, 4.0);
        }
    }
}

TEST(FemurPoses, ARealFemurGetsItsHeadRightOrNoItemAtAll)
{
    // A closed real femur: no rim, so no natural frame, and height is the file's z. Its head,
    // by a least-squares sphere fit to the head's own vertices: centre and radius in file
    // coordinates (mm).
    Surface read;
    ASSERT_TRUE(parse_ply_file(KELVORAND_TEST_DATA "/real-femur/ProximalFemur.ply", read));
    const Mesh femur{read.positions, read.triangles};
    const Point3 head_centre{-20.87, -10.20, -26.58};
    const double head_radius = 22.7;

    const Eigen::Matrix3d oblique_mirror = turn(37, Eigen::Vector3d::UnitZ()) *
                                           turn(71, Eigen::Vector3d::UnitX()) *
                                           turn(-123, Eigen::Vector3d::UnitY()) *
                                           Eigen::Matrix3d(Eigen::Vector3d(1, -1, 1).asDiagonal());
    struct Case {
        Pose pose;
        bool found;
    } cases[] = {
        // Stored with the head towards -z, and turned over: the contour taken for the head-neck
        // junction lies elsewhere on the bone, and a boundary and a fovea 30 to 60 mm from the
        // head were once written here.
        {{"as stored", Eigen::Matrix3d::Identity(), {0, 0, 0}}, false},
        {{"turned over", turn(180, Eigen::Vector3d::UnitX()), {5, -3, 200}}, false},
        // A pose in which the contours do lead to the head: the check keeps what is right.
        {{"oblique mirror", oblique_mirror, {1, 2, 3}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pose.name);
        testing::internal::CaptureStderr();
        const Surface surface = analysed_femur(posed(femur, c.pose), "ProximalFemur");
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(proximal_direction(surface).z, 1.0);
        if (!c.found) {
            EXPECT_EQ(error, "Failed to find boundary of FH\n");
            EXPECT_FALSE(holds_femur_item(surface));
            continue;
        }
        EXPECT_EQ(error, "");
        const Point3 centre = c.pose(head_centre);
        const auto boundary = std::find_if(
            surface.landcurves.begin(), surface.landcurves.end(),
            [](const Landcurve& curve) { return curve.name == head_neck_landcurve_name; });
        ASSERT_NE(boundary, surface.landcurves.end());
        Point3 sum;
        for (const Landmark& point : boundary->points)
            sum = sum + point.position;
        EXPECT_LT(distance((1.0 / static_cast<double>(boundary->points.size())) * sum, centre),
                  0.5 * head_radius);
        const auto fovea =
            std::find_if(surface.landmarks.begin(), surface.landmarks.end(),
                         [](const Landmark& point) { return point.name == fovea_landmark_name; });
        ASSERT_NE(fovea, surface.landmarks.end());
        EXPECT_LT(std::fabs(distance(fovea->position, centre) - head_radius), 5.0);
    }
}
