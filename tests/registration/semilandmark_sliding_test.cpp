// The thin-plate spline of "Similarity + TPS": the warp, the slide of the HR curve points and
// semilandmarks towards least bending energy, the configurations that end a run, and one whole
// step on a loaded pair.
#include "registration/semilandmark_sliding.h"

#include "registration/pairing.h"
#include "registration/tps_warp.h"
#include "state/working_state.h"
#include "surface/c_locale.h"
#include "tests/fixtures/expect_near.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// An affine map with no special structure, for HR points that a flat spline fits exactly.
Point3 affine(const Point3& p)
{
    return {1.2 * p.x + 0.1 * p.y + 3.0, -0.2 * p.x + 0.9 * p.y + 0.3 * p.z - 1.0,
            0.05 * p.x + 1.1 * p.z + 2.0};
}

Landmark point_at(const Point3& position, const std::string& name = "")
{
    Landmark point;
    point.name = name;
    point.position = position;
    return point;
}

// Four landmarks at the corners of a tetrahedron, paired, the HR ones at their affine image.
void add_landmarks(WorkingState& state)
{
    const Point3 corners[] = {{10, 10, 10}, {10, -10, -10}, {-10, 10, -10}, {-10, -10, 10}};
    for (int i = 0; i < 4; ++i) {
        const std::string name = "corner " + std::to_string(i);
        state.lr_surface->landmarks.push_back(point_at(corners[i], name));
        state.hr_surface->landmarks.push_back(point_at(affine(corners[i]), name));
    }
    pair_landmarks(*state.lr_surface, *state.hr_surface);
}

TEST(TpsWarp, FewerThanThreeControlPointsOrMismatchedCoefficientsAreTheIdentity)
{
    TpsWarp warp;
    const Point3 p{1.5, -2.0, 7.0};
    expect_point_near(evaluate_tps(warp, p), p, 0.0);
    warp.control_points = {{0, 0, 0}, {1, 0, 0}};
    warp.coefficients.assign(6, {5, 5, 5});
    expect_point_near(evaluate_tps(warp, p), p, 0.0);
    warp.control_points.push_back({0, 1, 0});
    expect_point_near(evaluate_tps(warp, p), p, 0.0); // 6 coefficients for 3 points
}

TEST(TpsWarp, AnAffineCorrespondenceGivesThatAffineMapUnderTheRegistration)
{
    // The HR landmarks lie at the affine image of the LR ones, moved on by a similarity pose
    // between centred frames: the warp carries out the affine map alone, everywhere, and the
    // pose stays on top of it.
    WorkingState state;
    state.hr_surface->max_radius = 100.0f;
    make_translation(state.hr_surface->from_centred, 4, 5, 6);
    make_inverse_translation(state.lr_surface->to_centred, 1, 2, 3);
    make_transform(state.current_transform, 1, -2, 0.5, 30, 20, 10);
    for (int k = 0; k < 9; ++k)
        state.current_transform[k] *= 1.5;
    const Matrix4 lr_to_hr =
        product(product(state.hr_surface->from_centred, state.current_transform),
                state.lr_surface->to_centred);
    const Point3 lr_points[] = {
        {10, 10, 10}, {10, -10, -10}, {-10, 10, -10}, {-10, -10, 10}, {3, -4, 5}};
    for (int i = 0; i < 5; ++i) {
        const std::string name = "p" + std::to_string(i);
        state.lr_surface->landmarks.push_back(point_at(lr_points[i], name));
        state.hr_surface->landmarks.push_back(
            point_at(transformed(lr_to_hr, affine(lr_points[i])), name));
    }
    pair_landmarks(*state.lr_surface, *state.hr_surface);
    state.lr_surface->positions = {{0, 0, 0}, {7, -3, 2}, {-20, 15, 30}};

    ASSERT_TRUE(slide_HR_semilandmarks(state));
    ASSERT_EQ(state.tps_warp.control_points.size(), 5u);
    ASSERT_EQ(state.tps_warp.coefficients.size(), 9u);
    for (std::size_t i = 0; i < 3; ++i)
        expect_point_near(state.lr_surface->sim_tps_positions[i],
                          affine(state.lr_surface->positions[i]), 1e-9);
    // Only landmarks: nothing slides and the step stays where it was.
    EXPECT_EQ(state.slide_step, 0.25);
}

// LR: the four landmarks, one open landcurve of two working points and `semilandmarks`
// semilandmarks; HR: the affine image of every point, the sliding points pushed off it by
// `offset` times a known amount along their sliding directions.
struct SlidingPair {
    WorkingState state;
    std::vector<Point3> lr_sliding; // LR positions of the sliding points, curve points first
    std::vector<Point3> pushed;     // how far each sliding HR point lies off the affine image

    SlidingPair(int semilandmarks, double offset)
    {
        state.hr_surface->max_radius = 100.0f;
        add_landmarks(state);
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        Landcurve lr_curve, hr_curve;
        lr_curve.name = hr_curve.name = "curve";
        for (const Point3 p : {Point3{2, 1, -3}, Point3{-4, 3, 2}}) {
            lr_curve.points.push_back(point_at(p));
            Landmark q = point_at(affine(p));
            q.tangent1 = {0.6, 0.8, 0};
            hr_curve.points.push_back(q);
            lr_sliding.push_back(p);
            pushed.push_back(offset * Point3{0.6, 0.8, 0});
        }
        lr.landcurves.push_back(lr_curve);
        hr.landcurves.push_back(hr_curve);
        lr.landcurves[0].partner = hr.landcurves[0].partner = 0;
        const Point3 semis[] = {{1, 2, 3}, {-3, -2, 4}, {5, -5, 0}, {0, 6, -6}};
        for (int j = 0; j < semilandmarks; ++j) {
            lr.semilandmarks.push_back(point_at(semis[j]));
            Landmark q = point_at(affine(semis[j]));
            q.tangent1 = {1, 0, 0};
            q.tangent2 = {0, 0, 1};
            hr.semilandmarks.push_back(q);
            lr_sliding.push_back(semis[j]);
            pushed.push_back(offset * Point3{0.5 * (j + 1), 0, -1.0});
        }
        for (std::size_t k = 0; k < pushed.size(); ++k)
            hr_point(k).position = hr_point(k).position + pushed[k];
    }

    Landmark& hr_point(std::size_t k)
    {
        Surface& hr = *state.hr_surface;
        return k < 2 ? hr.landcurves[0].points[k] : hr.semilandmarks[k - 2];
    }
};

TEST(SlideHRSemilandmarks, EachStepSlidesAGrowingShareOfTheWayToLeastBendingEnergy)
{
    // The affine image bends nothing and lies within reach of every slide, so the optimal slide
    // undoes the push: step k leaves 1 - (its share) of what the step before left.
    SlidingPair pair(3, 1.0); // 2 curve points + 3 semilandmarks: 5 sliding points
    const double shares[] = {0.25, 0.5, 0.75, 1.0, 1.0};
    double left = 1.0;
    for (const double share : shares) {
        SCOPED_TRACE(share);
        EXPECT_EQ(pair.state.slide_step, share);
        ASSERT_TRUE(slide_HR_semilandmarks(pair.state));
        left *= 1.0 - share;
        for (std::size_t k = 0; k < pair.pushed.size(); ++k)
            expect_point_near(pair.hr_point(k).position,
                              affine(pair.lr_sliding[k]) + left * pair.pushed[k], 1e-9);
    }
    EXPECT_EQ(pair.state.slide_step, 1.0);
    // The warp follows the slid points: by now the affine map.
    expect_point_near(evaluate_tps(pair.state.tps_warp, {7, 7, 7}), affine({7, 7, 7}), 1e-9);
}

TEST(SlideHRSemilandmarks, FourSlidingPointsOrFewerStayWhereTheyAre)
{
    SlidingPair pair(2, 1.0); // 2 curve points + 2 semilandmarks
    ASSERT_TRUE(slide_HR_semilandmarks(pair.state));
    for (std::size_t k = 0; k < pair.pushed.size(); ++k)
        expect_point_near(pair.hr_point(k).position, affine(pair.lr_sliding[k]) + pair.pushed[k],
                          0.0);
    EXPECT_EQ(pair.state.slide_step, 0.25);
    // The warp still interpolates the unslid points.
    for (std::size_t k = 0; k < pair.pushed.size(); ++k)
        expect_point_near(evaluate_tps(pair.state.tps_warp, pair.lr_sliding[k]),
                          pair.hr_point(k).position, 1e-9);
}

TEST(SlideHRSemilandmarks, RowsComeOnlyFromPointsPresentOnBothSurfaces)
{
    // The pair counts say more than the lists hold: an LR landmark named like two HR ones
    // counts twice, the HR curve lost a working point and the HR surface a semilandmark.
    SlidingPair pair(3, 0.0);
    Surface& hr = *pair.state.hr_surface;
    hr.landmarks.push_back(hr.landmarks[0]);
    pair_landmarks(*pair.state.lr_surface, hr);
    hr.landcurves[0].points.pop_back();
    hr.semilandmarks.pop_back();
    hr.curve_point_pair_count = 2;
    ASSERT_EQ(hr.landmark_pair_count, 5);
    ASSERT_TRUE(slide_HR_semilandmarks(pair.state));
    EXPECT_EQ(pair.state.tps_warp.control_points.size(), 4u + 1u + 2u);
}

// Five points of the plane through the origin with normal (1, 2, 3), as a file keeps them:
// stored as floats, written with six decimals and read back.
std::vector<Point3> tilted_plane_as_stored()
{
    const Point3 u{2.0, -1.0, 0.0};
    const Point3 v{3.0, 6.0, -5.0};
    const double steps[][2] = {{0, 0}, {4, 0}, {0, 4}, {4, 4}, {1.3, 2.9}};
    std::vector<Point3> points;
    for (const auto& step : steps) {
        const Point3 p = step[0] * u + step[1] * v;
        const auto stored = [](double c) {
            return std::stod(c_format("%f", static_cast<double>(static_cast<float>(c))));
        };
        points.push_back({stored(p.x), stored(p.y), stored(p.z)});
    }
    return points;
}

TEST(SlideHRSemilandmarks, ConfigurationsWithoutAUniqueWarpEndTheRunAndChangeNothing)
{
    const auto only_landmarks = [](WorkingState& state, const std::vector<Point3>& lr_points,
                                   const Point3& last_hr_offset) {
        for (std::size_t i = 0; i < lr_points.size(); ++i) {
            state.lr_surface->landmarks.push_back(point_at(lr_points[i], std::to_string(i)));
            Point3 hr = affine(lr_points[i]);
            if (i + 1 == lr_points.size())
                hr = hr + last_hr_offset;
            state.hr_surface->landmarks.push_back(point_at(hr, std::to_string(i)));
        }
        pair_landmarks(*state.lr_surface, *state.hr_surface);
    };
    const struct {
        const char* why;
        std::vector<Point3> lr_points;
        std::string message;        // "" = the step goes on
        Point3 last_hr_offset = {}; // moves the last HR point off the affine image
    } cases[] = {
        {"two pairs: too few to solve", {{0, 0, 0}, {1, 2, 3}}, ""},
        {"three pairs span no volume",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
         degenerate_configuration_message},
        {"four pairs in one plane",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {3, 5, 0}},
         degenerate_configuration_message},
        {"a tilted plane whose rounding leaves it not quite flat", tilted_plane_as_stored(),
         degenerate_configuration_message},
        // Thick enough to solve, but the HR points' small step out of the plane tilts the warp
        // so far that vertices away from the plane move further than the HR surface reaches.
        {"a nearly flat set whose warp flings the surface away",
         {{0, 0, 0}, {20, 0, 0}, {0, 20, 0}, {20, 20, 0}, {10, 10, 0.02}},
         degenerate_configuration_message,
         {0, 0, 2}},
        {"the same set without the step is kept",
         {{0, 0, 0}, {20, 0, 0}, {0, 20, 0}, {20, 20, 0}, {10, 10, 0.02}},
         ""},
        {"an LR landmark placed twice",
         {{0, 0, 0}, {9, 0, 0}, {0, 9, 0}, {0, 0, 9}, {9, 0, 5e-7}},
         repeated_landmarks_message},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        WorkingState state;
        state.hr_surface->max_radius = 100.0f;
        state.lr_surface->positions = {{10, 10, 30}};
        only_landmarks(state, c.lr_points, c.last_hr_offset);
        const bool solves = c.message.empty() && c.lr_points.size() > 2;
        state.tps_warp.control_points = {{1, 1, 1}};
        state.lr_surface->sim_tps_positions = {{4, 4, 4}, {5, 5, 5}};
        StatusCapture status;
        EXPECT_EQ(slide_HR_semilandmarks(state), c.message.empty());
        EXPECT_EQ(status.last(), c.message);
        EXPECT_EQ(state.tps_warp.control_points.size(), solves ? c.lr_points.size() : 1u);
        EXPECT_EQ(state.lr_surface->sim_tps_positions.size(), solves ? 1u : 2u);
    }
}

TEST(SlideHRSemilandmarks, RepeatedLandmarksStopEveryStepUntilTheyArePairedAgain)
{
    WorkingState state;
    state.hr_surface->max_radius = 100.0f;
    add_landmarks(state);
    state.lr_surface->landmarks.push_back(point_at({10, 10, 10}, "again"));
    state.hr_surface->landmarks.push_back(point_at({1, 2, 3}, "again"));
    pair_landmarks(*state.lr_surface, *state.hr_surface);
    for (int step = 0; step < 2; ++step) {
        StatusCapture status;
        EXPECT_FALSE(slide_HR_semilandmarks(state));
        EXPECT_EQ(status.last(), repeated_landmarks_message);
    }
    // Moving it is not enough: the check runs again only after a re-pairing.
    state.lr_surface->landmarks.back().position = {0, 0, 0};
    EXPECT_FALSE(slide_HR_semilandmarks(state));
    pair_landmarks(*state.lr_surface, *state.hr_surface);
    EXPECT_TRUE(slide_HR_semilandmarks(state));
    EXPECT_FALSE(state.lr_surface->landmarks_repeated);
}

TEST(SlideHRSemilandmarks, ASlideBeyondTheHRSurfaceIsDegenerate)
{
    // The same push, on an HR surface too small for the slide that would undo it.
    SlidingPair pair(3, 1.0);
    pair.state.hr_surface->max_radius = 0.5f;
    const Point3 before = pair.hr_point(0).position;
    StatusCapture status;
    EXPECT_FALSE(slide_HR_semilandmarks(pair.state));
    EXPECT_EQ(status.last(), degenerate_configuration_message);
    expect_point_near(pair.hr_point(0).position, before, 0.0);
    EXPECT_EQ(pair.state.slide_step, 0.25);
    EXPECT_TRUE(pair.state.tps_warp.control_points.empty());
}

TEST(RunTpsStep, APosedPairIsWarpedOnlyByWhatThePoseLeavesAndItsSemilandmarksCarriedOver)
{
    // LR and HR are the same icosphere, the HR stretched along x and squeezed along z, and the
    // current pose does that stretch; six vertices are named landmarks on both. The pose
    // explains the pair, so the warp is the identity on the LR surface and the LR semilandmark
    // is carried onto its own vertex on the HR surface.
    WorkingState state;
    load_pair(state, ellipsoid(2, 10, 10, 10), ellipsoid(2, 12, 10, 8));
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    state.current_transform[0] = 1.2;
    state.current_transform[10] = 0.8;
    for (const std::int64_t v : {0, 3, 7, 20, 41, 100}) {
        Landmark landmark = point_at(lr.positions[static_cast<std::size_t>(v)], std::to_string(v));
        lr.landmarks.push_back(landmark);
        landmark.position = hr.positions[static_cast<std::size_t>(v)];
        hr.landmarks.push_back(landmark);
    }
    Landmark semilandmark;
    semilandmark.triangle = {50, 50, 50};
    semilandmark.position = lr.positions[50];
    lr.semilandmarks.push_back(semilandmark);
    pair_landmarks(lr, hr);
    lr.sim_tps_positions.assign(lr.positions.size(), {});
    state.list_dirty.fill(false);

    ASSERT_TRUE(run_tps_step(state));
    ASSERT_EQ(lr.sim_tps_positions.size(), lr.positions.size());
    for (std::size_t i = 0; i < lr.positions.size(); ++i)
        expect_point_near(lr.sim_tps_positions[i], lr.positions[i], 1e-6);
    EXPECT_TRUE(same_points(lr.deformed_positions, lr.sim_tps_positions));
    EXPECT_TRUE(state.list_dirty[dirty_lr_plain]);
    ASSERT_EQ(hr.semilandmarks.size(), 1u);
    expect_point_near(hr.semilandmarks[0].position, hr.positions[50], 1e-9);
    EXPECT_EQ(state.tps_warp.control_points.size(), 7u);
}

} // namespace
