#include "registration/local_affine.h"

#include "registration/registration_iteration.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "state/working_state.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double units = 10.0;  // search-range slider units per millimetre
constexpr int wide_range = 100; // slider value: 10 mm

Matrix4 motion(double tx, double ty, double tz, double a = 0, double b = 0, double c = 0)
{
    Matrix4 t;
    return make_transform(t, tx, ty, tz, a, b, c);
}

// LR and HR are the same mesh, type is chosen and every LR vertex is matched to its HR twin;
// the pose is the inverse of misalignment, so that every patch has to find misalignment.
void set_up_pair(WorkingState& state, const Mesh& mesh, int type, double radius,
                 const Matrix4& misalignment)
{
    load_pair(state, mesh, mesh);
    state.range_units = units;
    state.lad_radius = radius;
    ASSERT_TRUE(select_registration_type(state, type));
    invert_rigid(state.current_transform, misalignment);
    Surface& lr = *state.lr_surface;
    for (std::size_t i = 0; i < lr.positions.size(); ++i) {
        lr.match_index[i] = static_cast<std::int64_t>(i);
        lr.match_distance2[i] = 0.0;
    }
}

void run_step(WorkingState& state, int type, int start_range = wide_range,
              int range_now = wide_range, int rim_mode = rims_yes)
{
    run_lad_step(state, type, MatchControls{0, rim_mode, range_now}, start_range, units);
}

void expect_points_near(const std::vector<Point3>& actual, const std::vector<Point3>& expected,
                        double tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_LT(std::sqrt(squared_distance(actual[i], expected[i])), tolerance) << "vertex " << i;
}

// Bit for bit: a shape that must not have moved at all.
void expect_same_points(const std::vector<Point3>& actual, const std::vector<Point3>& expected,
                        const char* name)
{
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].x, expected[i].x) << name << ", vertex " << i;
        EXPECT_EQ(actual[i].y, expected[i].y) << name << ", vertex " << i;
        EXPECT_EQ(actual[i].z, expected[i].z) << name << ", vertex " << i;
    }
}

// The LR positions as read moved by motion in the LR centred frame.
std::vector<Point3> moved_in_centred_frame(const Surface& lr, const Matrix4& motion)
{
    const Matrix4 t = product(product(lr.from_centred, motion), lr.to_centred);
    std::vector<Point3> moved;
    for (const Point3& p : lr.positions)
        moved.push_back(transformed(t, p));
    return moved;
}

} // namespace

TEST(RunLadStep, EveryPatchTakesUpARigidMisalignmentIntoTheTypesResult)
{
    const Matrix4 misalignment = motion(0.4, -0.3, 0.2, 2.0, -1.5, 1.0);
    for (const int type : {similarity_lad, affine_lad, aspect_lad}) {
        WorkingState state;
        set_up_pair(state, icosphere(2, 10.0), type, 5.0, misalignment);
        const Matrix4 pose = state.current_transform;
        state.list_dirty.fill(false);
        run_step(state, type);

        Surface& lr = *state.lr_surface;
        const std::vector<Point3>& result = *stored_result(lr, type);
        expect_points_near(result, moved_in_centred_frame(lr, misalignment), 1e-3);
        expect_same_points(lr.deformed_positions, result, "deformed positions");
        EXPECT_EQ(state.current_transform.m, pose.m) << "the family pose stays";
        for (const int other : {similarity_lad, affine_lad, aspect_lad}) {
            if (other != type)
                expect_same_points(*stored_result(lr, other), lr.positions, "other result");
        }
        const double expected[6] = {0.4, -0.3, 0.2, 2.0, -1.5, 1.0};
        for (std::size_t p = 0; p < 6; ++p)
            EXPECT_NEAR(state.lad_parameters[7][p], expected[p], 1e-3) << p;
        for (const int list :
             {dirty_lr_plain, dirty_lr_data, dirty_lr_curvature, dirty_lr_selection})
            EXPECT_TRUE(state.list_dirty[static_cast<std::size_t>(list)]) << list;
    }
}

TEST(RunLadStep, UnmatchedVerticesFollowTheirNeighboursByDistanceWeight)
{
    // Vertex 0 is matched, vertex 1 (1 mm away) is not, vertex 2 stands alone. With two
    // neighbours vertex 0 is fitted with a translation only, though the pose is also turned;
    // the averages then weigh each neighbour 1 - d / max_radius, a vertex's own entry by 1.
    const Mesh points{{{0, 0, 0}, {1, 0, 0}, {30, 0, 0}}, {}};
    const Matrix4 misalignment = motion(0.3, 0.1, -0.2, 3.0, 0.0, 0.0);
    struct Case {
        float max_radius;
        double share0; // of the fitted shift moving vertex 0
        double share1; // of the fitted shift moving vertex 1
    };
    const Case cases[] = {
        {10.0f, 1.0 / 1.9, 0.9 / 1.9},
        {1.0f, 1.0, 0.0}, // the neighbour at max_radius weighs nothing
        {0.0f, 0.0, 0.0}, // every weight 0: no motion rather than 0 / 0
    };
    for (const Case& c : cases) {
        WorkingState state;
        set_up_pair(state, points, similarity_lad, 2.0, misalignment);
        Surface& lr = *state.lr_surface;
        lr.max_radius = c.max_radius;
        lr.match_distance2[1] = missing_value;
        lr.match_distance2[2] = missing_value;
        run_step(state, similarity_lad);

        // The shift that carries vertex 0 (in the centred frame) onto its match.
        const Point3 centred = lr.positions[0] - lr.centroid;
        const Point3 shift = transformed(misalignment, centred) - centred;
        const std::array<double, 6>& fitted = state.lad_parameters[0];
        EXPECT_NEAR(fitted[0], shift.x, 1e-6);
        EXPECT_NEAR(fitted[1], shift.y, 1e-6);
        EXPECT_NEAR(fitted[2], shift.z, 1e-6);
        EXPECT_EQ(fitted[3], 0.0) << "a translation does not turn";
        EXPECT_EQ(fitted[4], 0.0);
        EXPECT_EQ(fitted[5], 0.0);
        EXPECT_EQ(state.lad_parameters[1], (std::array<double, 6>{}));
        expect_points_near(lr.sim_lad_positions,
                           {c.share0 * shift, Point3{1, 0, 0} + c.share1 * shift, {30, 0, 0}},
                           1e-6);
    }
}

TEST(RunLadStep, LeavesTheShapeWhenNoPatchCanMove)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double radius;
        int start_range; // slider at the start of the idle step: which vertices are fitted
        int range_now;   // slider now: which neighbours pull
        double pose_offset;
    };
    const Case cases[] = {
        {"every vertex unmatched", 5.0, 0, 0, 0.5},
        {"no neighbourhoods", 0.0, wide_range, wide_range, 0.5},
        {"range 0 at the start of the step", 5.0, 0, wide_range, 0.5},
        {"range narrowed to 0 since", 5.0, wide_range, 0, 0.5},
        {"a pose that is not finite", 5.0, wide_range, wide_range, nan},
    };
    for (const Case& c : cases) {
        WorkingState state;
        set_up_pair(state, icosphere(2, 10.0), affine_lad, c.radius,
                    motion(c.pose_offset, 0.0, 0.0));
        run_step(state, affine_lad, c.start_range, c.range_now);
        const Surface& lr = *state.lr_surface;
        expect_same_points(lr.aff_lad_positions, lr.positions, c.name);
        expect_same_points(lr.deformed_positions, lr.positions, c.name);
        for (const auto& parameters : state.lad_parameters)
            ASSERT_EQ(parameters, (std::array<double, 6>{})) << c.name;
    }
}

TEST(RunLadStep, RebuildsTheNeighbourListsAtTheFirstStepThenEveryFifth)
{
    WorkingState state;
    set_up_pair(state, icosphere(2, 10.0), aspect_lad, 5.0, motion(0.1, 0.0, 0.0));
    run_step(state, aspect_lad);
    EXPECT_EQ(state.lad_refresh_counter, 1);
    const auto built = state.lad_neighbours;
    ASSERT_GT(built[5].size(), 3u);

    // A rebuild would now find no neighbours at all.
    state.lad_radius = 0.0;
    for (const int counter : {2, 3, 4, 0}) {
        run_step(state, aspect_lad);
        EXPECT_EQ(state.lad_refresh_counter, counter);
        EXPECT_EQ(state.lad_neighbours, built) << "steps 2 to 5 keep the first lists";
    }
    run_step(state, aspect_lad);
    EXPECT_EQ(state.lad_refresh_counter, 1);
    EXPECT_TRUE(state.lad_neighbours[5].empty()) << "step 6 rebuilds them";
}

TEST(ComputeLadResiduals, RimAndFussyNeighboursPullAsInTheGlobalFit)
{
    // Vertex 0 has the neighbours 0, 1 and 2, each 0.5 mm from its match along x.
    const Mesh points{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {40, 0, 0}}, {}};
    WorkingState state;
    set_up_pair(state, points, similarity_lad, 2.0, motion(0.5, 0.0, 0.0));
    Surface& lr = *state.lr_surface;
    lr.on_rim = {0, 1, 0, 1};
    lr.fussy = {0, 1, 1, 0};
    lr.match_distance2[2] = missing_value;
    state.lad_neighbours = {{0, 1, 2}, {0, 1}, {0, 2}, {3}};

    struct Case {
        int rim_mode;
        double expected_x[3]; // residual x of neighbours 0, 1, 2
    };
    const Case cases[] = {
        {rims_to_rims, {-0.5, 3 * -0.5, 0.0}}, // rim vertex 1 pulls threefold, 2 is unmatched
        {rims_yes, {-0.5, 0.25, 0.0}},         // fussy vertex 1 pulls with the square
    };
    for (const Case& c : cases) {
        LadFitContext context{&state, c.rim_mode, 1.0, 3.0, 0}; // rim weight 3, vertex 0
        const double x[6] = {};
        double fvec[9];
        std::fill(std::begin(fvec), std::end(fvec), 7.0);
        EXPECT_EQ(compute_lad_residuals(&context, 9, 6, x, fvec, 1), 0);
        for (int q = 0; q < 3; ++q) {
            EXPECT_NEAR(fvec[3 * q], c.expected_x[q], 1e-12) << c.rim_mode << " neighbour " << q;
            EXPECT_NEAR(fvec[3 * q + 1], 0.0, 1e-12);
            EXPECT_NEAR(fvec[3 * q + 2], 0.0, 1e-12);
        }
    }
}

TEST(RunRegistrationIteration, LadIterationsDrawALocallyDifferentSurfaceIn)
{
    // HR: the bone; LR: the bone with its head pushed 2 mm sideways. A global pose cannot undo
    // that; the local patches can.
    const Mesh bone = procedural_bone(0);
    Mesh pushed = bone;
    for (Point3& p : pushed.positions)
        if (p.z > 70.0)
            p.x += 2.0 * std::min(1.0, (p.z - 70.0) / 10.0);
    WorkingState state;
    load_pair(state, pushed, bone);
    state.range_units = units;
    state.lad_radius = 8.0;
    ASSERT_TRUE(select_registration_type(state, similarity_lad));

    const MatchControls controls{0, rims_yes, 50};
    const auto mean_distance = [&state] {
        double sum = 0.0;
        for (const double d2 : state.lr_surface->match_distance2)
            sum += std::sqrt(d2);
        return sum / static_cast<double>(state.lr_surface->match_distance2.size());
    };
    StatusCapture status;
    state.iteration_counter = 0;
    establish_matches(state, controls);
    const double before = mean_distance();
    for (int k = 0; k < 8; ++k)
        ASSERT_TRUE(run_registration_iteration(state, similarity_lad, controls, 20, 50, units));
    state.lr_surface->match_range2 = -1.0;
    establish_matches(state, controls);
    EXPECT_LT(mean_distance(), before / 3) << before;
    EXPECT_TRUE(state.result_unsaved[result_similarity_lad]);
}
