// Pairing of landmarks and landcurves between the LR and the HR surface: by name, and rim curves
// by their shape under the current registration.
#include "registration/pairing.h"

#include "registration/registration_type.h"
#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<Landmark> named(const std::vector<std::string>& names)
{
    std::vector<Landmark> landmarks(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        landmarks[i].name = names[i];
        landmarks[i].partner = 9; // left over from an earlier pairing
    }
    return landmarks;
}

Landcurve landcurve(const std::string& name, bool closed, std::size_t working_points,
                    std::vector<Landmark> control_points = {})
{
    Landcurve curve;
    curve.name = name;
    curve.closed = closed;
    curve.partner = 9;
    curve.points.resize(working_points);
    curve.control_points = std::move(control_points);
    return curve;
}

// n points on the circle of radius r about (0, 0, z), counter-clockwise from angle `start`
// (radians), or clockwise.
std::vector<Point3> circle(std::size_t n, double r, double z, double start = 0.0,
                           bool clockwise = false)
{
    std::vector<Point3> points;
    for (std::size_t k = 0; k < n; ++k) {
        const double angle =
            start + (clockwise ? -1.0 : 1.0) * 2.0 * M_PI * static_cast<double>(k) / n;
        points.push_back({r * std::cos(angle), r * std::sin(angle), z});
    }
    return points;
}

TEST(PairLandmarks, EqualNamesPairAndEveryEqualPairCounts)
{
    Surface lr, hr;
    lr.landmarks = named({"a", "b", "c", "A", "d "});
    hr.landmarks = named({"b", "a", "a", "x", "d"});
    lr.landmarks_changed = false;
    hr.landmark_pair_count = 17;

    pair_landmarks(lr, hr);

    std::vector<std::int32_t> lr_partners, hr_partners;
    for (const Landmark& landmark : lr.landmarks)
        lr_partners.push_back(landmark.partner);
    for (const Landmark& landmark : hr.landmarks)
        hr_partners.push_back(landmark.partner);
    // "a" meets both HR "a" and keeps the later; names differing in case or a blank do not pair.
    EXPECT_EQ(lr_partners, (std::vector<std::int32_t>{2, 0, -1, -1, -1}));
    EXPECT_EQ(hr_partners, (std::vector<std::int32_t>{1, 0, 0, -1, -1}));
    EXPECT_EQ(lr.landmark_pair_count, 3);
    EXPECT_EQ(hr.landmark_pair_count, 3);
    EXPECT_TRUE(lr.landmarks_changed);
}

TEST(RimDistance, BestShiftAndOrientationOfTheHrRim)
{
    const std::vector<Point3> square{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    struct Case {
        const char* why;
        std::vector<Point3> lr;
        std::vector<Point3> hr;
        double expected;
    };
    const Case cases[] = {
        {"the same rim from another start",
         {{1, 1, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}},
         square,
         0.0},
        {"the same rim the other way round",
         {{1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {1, 1, 0}},
         square,
         0.0},
        {"one unit above it", {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}, square, 4.0},
        {"more LR points than HR points wrap around",
         {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}},
         square,
         0.0},
        {"an HR rim without points", square, {}, 1e10},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(rim_distance(c.lr, points_at(c.hr)), c.expected) << c.why;
}

// Curves that are not rims pair by name and closed flag in every rim mode; rims pair only under
// "To rims" (then by shape), never by their names. The HR working points always go.
TEST(PairLandcurves, NamedCurvesInEveryModeRimsOnlyToRims)
{
    const std::vector<Landmark> ring = points_at(circle(6, 5.0, 0.0));
    struct Case {
        int rim_mode;
        std::int64_t count;
        std::int32_t rim_partner;
        bool rims_paired;
    };
    const Case cases[] = {
        {rims_yes, 6, -1, false},
        {rims_no, 6, -1, false},
        {rims_to_rims, 6 + 4, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rim_mode);
        WorkingState state;
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        lr.landcurves = {landcurve("spine", false, 3), landcurve("loop", false, 2),
                         landcurve("auto-detected rim 0", true, 4, ring)};
        hr.landcurves = {landcurve("spine", false, 5), landcurve("loop", true, 5),
                         landcurve("spine", false, 5),
                         landcurve("auto-detected rim 0", true, 5, ring)};
        lr.landmarks_changed = false;
        hr.curve_point_pair_count = 12;

        pair_landcurves(state, c.rim_mode);

        // Both HR "spine" curves count; the LR one keeps the later.
        EXPECT_EQ(lr.landcurves[0].partner, 2);
        EXPECT_EQ(hr.landcurves[0].partner, 0);
        EXPECT_EQ(hr.landcurves[2].partner, 0);
        // Open and closed curves of one name stay apart.
        EXPECT_EQ(lr.landcurves[1].partner, -1);
        EXPECT_EQ(hr.landcurves[1].partner, -1);
        EXPECT_EQ(lr.landcurves[2].partner, c.rim_partner);
        EXPECT_EQ(hr.landcurves[3].partner, c.rim_partner == -1 ? -1 : 2);
        EXPECT_EQ(lr.curve_point_pair_count, c.count);
        EXPECT_EQ(hr.curve_point_pair_count, 0);
        for (const Landcurve& curve : hr.landcurves)
            EXPECT_TRUE(curve.points.empty());
        EXPECT_EQ(lr.landcurves[0].points.size(), 3u);
        EXPECT_TRUE(lr.landmarks_changed);
        EXPECT_EQ(state.rims_paired, c.rims_paired);
    }
}

// Two LR rims (at z = 0 and z = 10) against two HR rims at the same heights with other point
// counts, starts and orientations, numbered the other way round. An HR curve that is not a rim
// but fits exactly and an HR rim without points are never chosen. The LR rims are placed where
// the LR surface is shown and mapped by the current registration into HR coordinates.
TEST(PairLandcurves, RimsPairByShapeUnderTheCurrentRegistration)
{
    struct Case {
        const char* why;
        bool deformed; // the LR surface shows its deformed shape, 10 mm higher
        double pose_z; // translation of the current transform
        double hr_centroid_z;
        std::int32_t lower, upper;               // partners of the two LR rims
        std::int32_t hr_upper_rim, hr_lower_rim; // partners of the two HR rims
    };
    const Case cases[] = {
        {"as read, identity", false, 0.0, 0.0, 2, 1, 1, 0},
        {"the shown shape decides", true, 0.0, 0.0, 1, 1, 1, -1},
        {"the pose moves the LR rims", false, 10.0, 0.0, 1, 1, 1, -1},
        {"from the centred frame into HR coordinates", false, 0.0, 10.0, 1, 1, 1, -1},
        {"all together, back down", true, -15.0, -5.0, 2, 2, -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WorkingState state;
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        std::vector<Point3> positions = circle(8, 5.0, 0.0);
        for (const Point3& p : circle(8, 5.0, 10.0))
            positions.push_back(p);
        lr.positions = positions;
        lr.deformed_positions = positions;
        for (Point3& p : lr.deformed_positions)
            p.z += 10.0;
        lr.shown = c.deformed ? ShownShape::deformed : ShownShape::as_read;
        Landcurve lower = landcurve("auto-detected rim 0", true, 8);
        Landcurve upper = landcurve("auto-detected rim 1", true, 8);
        for (std::int64_t k = 0; k < 8; ++k) {
            Landmark point;
            point.position = positions[static_cast<std::size_t>(k)]; // as read; not what counts
            point.triangle = {k, k, k};
            lower.control_points.push_back(point);
            point.position = positions[static_cast<std::size_t>(k + 8)];
            point.triangle = {k + 8, k + 8, k + 8};
            upper.control_points.push_back(point);
        }
        lr.landcurves = {lower, upper};
        hr.landcurves = {
            landcurve("ring", true, 0, points_at(circle(8, 5.0, 0.0))),
            landcurve("auto-detected rim 0", true, 0, points_at(circle(12, 5.2, 10.0, 1.0, true))),
            landcurve("auto-detected rim 1", true, 0, points_at(circle(10, 4.8, 0.0, 2.0))),
            landcurve("auto-detected rim 2", true, 0)};
        make_translation(state.current_transform, 0.0, 0.0, c.pose_z);
        make_translation(hr.from_centred, 0.0, 0.0, c.hr_centroid_z);

        pair_landcurves(state, rims_to_rims);

        EXPECT_EQ(lr.landcurves[0].partner, c.lower);
        EXPECT_EQ(lr.landcurves[1].partner, c.upper);
        EXPECT_EQ(hr.landcurves[0].partner, -1);
        // Of two LR rims on one HR rim, the later is named.
        EXPECT_EQ(hr.landcurves[1].partner, c.hr_upper_rim);
        EXPECT_EQ(hr.landcurves[2].partner, c.hr_lower_rim);
        EXPECT_EQ(hr.landcurves[3].partner, -1);
        EXPECT_EQ(lr.curve_point_pair_count, 16);
    }
}

TEST(PairLandcurves, NothingToPairStillMarksTheRimsPaired)
{
    WorkingState state;
    pair_landcurves(state, rims_to_rims);
    EXPECT_EQ(state.lr_surface->curve_point_pair_count, 0);
    EXPECT_EQ(state.hr_surface->curve_point_pair_count, 0);
    EXPECT_TRUE(state.rims_paired);
}

} // namespace
