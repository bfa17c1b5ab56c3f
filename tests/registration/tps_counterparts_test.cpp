// The HR counterparts of the "Similarity + TPS" points: paired HR landcurves resampled to their
// LR partner's count and aligned with it, and semilandmarks carried from LR to HR.
#include "registration/tps_counterparts.h"

#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void expect_points(const std::vector<Point3>& actual, const std::vector<Point3>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-12) << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-12) << i;
        EXPECT_NEAR(actual[i].z, expected[i].z, 1e-12) << i;
    }
}

TEST(ResamplePolyline, PointsAreSpacedEvenlyAlongTheOpenPolyline)
{
    const struct {
        const char* why;
        std::vector<Point3> control;
        std::size_t count;
        std::vector<Point3> expected;
    } cases[] = {
        {"an L of length 4 in five points",
         {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}},
         5,
         {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}}},
        {"three points on uneven segments",
         {{0, 0, 0}, {1, 0, 0}, {4, 0, 0}},
         3,
         {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}}},
        {"coincident control points are passed over",
         {{0, 0, 0}, {0, 0, 0}, {0, 3, 0}, {0, 3, 0}},
         4,
         {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 3, 0}}},
        {"no length: the last point alone", {{1, 1, 1}, {1, 1, 1}}, 3, {{1, 1, 1}}},
        {"one point wanted: the first", {{0, 0, 0}, {5, 0, 0}}, 1, {{0, 0, 0}}},
        {"none wanted", {{0, 0, 0}, {5, 0, 0}}, 0, {}},
        {"no control points", {}, 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        expect_points(resample_polyline(points_at(c.control), c.count), c.expected);
    }
}

TEST(AlignedOrder, ClosedCurvesRotateAndEitherCurveMayRunBackwards)
{
    const std::vector<Point3> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const struct {
        const char* why;
        std::vector<Point3> targets;
        bool closed;
        std::vector<std::size_t> expected;
    } cases[] = {
        {"closed, starting at the third point",
         {{1, 1, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}},
         true,
         {2, 3, 0, 1}},
        {"closed, the other way round",
         {{1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {1, 1, 0}},
         true,
         {1, 0, 3, 2}},
        {"open, drawn the other way",
         {{0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}},
         false,
         {3, 2, 1, 0}},
        {"open, drawn the same way",
         {{0, 0.1, 0}, {1, 0.1, 0}, {1, 0.9, 0}, {0, 0.9, 0}},
         false,
         {0, 1, 2, 3}},
        {"a tie keeps the reverse order, tried first", {{0.5, 0.5, 0}}, false, {3, 2, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(aligned_order(c.targets, square, c.closed), c.expected);
    }
    EXPECT_TRUE(aligned_order(square, {}, true).empty());
}

// LR: a closed square curve of 7 working points with no triangle (so its stored positions are
// where it is shown), without a point in the middle of its right side; HR: the same square 2 mm
// further along x, its control points from another corner and the other way round, the right
// side being its way back from the last control point to the first.
class PairedSquares : public testing::Test {
protected:
    void SetUp() override
    {
        Landcurve lr_curve;
        lr_curve.closed = true;
        lr_curve.partner = 0;
        lr_curve.points = points_at(
            {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, 2, 0}, {0, 2, 0}, {0, 1, 0}});
        for (Landmark& point : lr_curve.points)
            point.triangle = {-1, -1, -1};
        state.lr_surface->landcurves.push_back(lr_curve);
        state.lr_surface->curve_point_pair_count = 7;

        Landcurve hr_curve;
        hr_curve.closed = true;
        hr_curve.partner = 0;
        hr_curve.control_points = points_at({{4, 2, 0}, {2, 2, 0}, {2, 0, 0}, {4, 0, 0}});
        state.hr_surface->landcurves.push_back(hr_curve);
        make_translation(state.current_transform, 2, 0, 0);
    }

    std::vector<Point3> hr_points() const
    {
        std::vector<Point3> points;
        for (const Landmark& point : state.hr_surface->landcurves[0].points)
            points.push_back(point.position);
        return points;
    }

    WorkingState state;
};

TEST_F(PairedSquares, AClosedHRCurveIsResampledAlongItsControlPointsAndFollowsItsPartner)
{
    EXPECT_TRUE(resample_paired_landcurves(state, true));
    // Six units of control polyline in 7 points, none on the way back from (4, 0) to (4, 2),
    // started where the LR points moved by the pose start.
    expect_points(hr_points(),
                  {{2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {4, 2, 0}, {3, 2, 0}, {2, 2, 0}, {2, 1, 0}});
    EXPECT_EQ(state.hr_surface->curve_point_pair_count, 7);

    // Only changed counts are rebuilt: slid points stay.
    state.hr_surface->landcurves[0].points[0].position = {9, 9, 9};
    EXPECT_FALSE(resample_paired_landcurves(state, true));
    EXPECT_NEAR(hr_points()[0].x, 9.0, 0.0);
    EXPECT_TRUE(resample_paired_landcurves(state, false));
    EXPECT_NEAR(hr_points()[0].x, 2.0, 1e-12);

    // An unpaired curve, or a partner index past the LR curves, is left alone.
    for (const std::int32_t partner : {-1, 5}) {
        state.hr_surface->landcurves[0].partner = partner;
        state.hr_surface->landcurves[0].points.clear();
        EXPECT_FALSE(resample_paired_landcurves(state, false));
        EXPECT_TRUE(state.hr_surface->landcurves[0].points.empty());
    }
}

TEST(TransferSemilandmarks, LRSemilandmarksAreProjectedOntoTheHRSurfaceUnderThePose)
{
    // Two flat grids, the HR one raised by 1 mm; the pose puts the LR one 0.5 mm above it. A
    // semilandmark inside an LR triangle lands on the HR grid straight below its mapped place.
    WorkingState state;
    load_pair(state, flat_grid(4.0, 5), transformed_mesh(flat_grid(4.0, 5), [] {
                  Matrix4 up;
                  return make_translation(up, 0, 0, 1);
              }()));
    make_translation(state.current_transform, 0, 0, 0.5);
    Landmark semilandmark;
    semilandmark.triangle = {6, 12, 7}; // corners (1, 1), (2, 2), (1, 2)
    semilandmark.weights = {0.25, 0.25};
    state.lr_surface->semilandmarks = {semilandmark};

    EXPECT_TRUE(transfer_semilandmarks(state, true));
    ASSERT_EQ(state.hr_surface->semilandmarks.size(), 1u);
    const Landmark& carried = state.hr_surface->semilandmarks[0];
    EXPECT_NEAR(carried.position.x, 1.25, 1e-12);
    EXPECT_NEAR(carried.position.y, 1.5, 1e-12);
    EXPECT_NEAR(carried.position.z, 1.0, 1e-12);
    EXPECT_NEAR(std::abs(carried.tangent1.x) + std::abs(carried.tangent1.y), 1.0, 1e-12);

    // As many on both sides: only a full transfer rebuilds them.
    state.hr_surface->semilandmarks[0].position = {9, 9, 9};
    EXPECT_FALSE(transfer_semilandmarks(state, true));
    EXPECT_EQ(state.hr_surface->semilandmarks[0].position.x, 9.0);
    EXPECT_TRUE(transfer_semilandmarks(state, false));
    EXPECT_NEAR(state.hr_surface->semilandmarks[0].position.x, 1.25, 1e-12);
}

} // namespace
