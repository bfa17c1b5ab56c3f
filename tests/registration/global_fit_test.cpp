#include "registration/global_fit.h"

#include "registration/family_transform.h"
#include "registration/matching.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "state/working_state.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int wide_range = 100; // slider value; 10 mm with the bone's units of 10 per mm

Matrix4 linear(const double (&rows)[3][3], const Point3& translation)
{
    Matrix4 t = identity_matrix();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[4 * c + r] = rows[r][c];
    t[12] = translation.x;
    t[13] = translation.y;
    t[14] = translation.z;
    return t;
}

Matrix4 rotation(double a, double b, double c, const Point3& translation = {})
{
    Matrix4 t;
    return make_transform(t, translation.x, translation.y, translation.z, a, b, c);
}

Matrix4 scaled_columns(Matrix4 t, double s0, double s1, double s2)
{
    const double s[3] = {s0, s1, s2};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            t[4 * c + r] *= s[c];
    return t;
}

Matrix4 inverse_affine(const Matrix4& t)
{
    // Inverse of the 3 x 3 part by cofactors, then the translation.
    const auto e = [&](int r, int c) { return t[4 * c + r]; };
    const double det = linear_determinant(t);
    Matrix4 inverse = identity_matrix();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[4 * c + r] = (e(r1, c1) * e(r2, c2) - e(r1, c2) * e(r2, c1)) / det;
        }
    const Point3 moved = transformed(inverse, {t[12], t[13], t[14]});
    inverse[12] = -moved.x;
    inverse[13] = -moved.y;
    inverse[14] = -moved.z;
    return inverse;
}

// The LR file-to-HR file pose that the current transform stands for.
Matrix4 full_pose(const WorkingState& state)
{
    return product(product(state.hr_surface->from_centred, state.current_transform),
                   state.lr_surface->to_centred);
}

// The current transform for a full pose.
Matrix4 centred_pose(const WorkingState& state, const Matrix4& full)
{
    return product(product(state.hr_surface->to_centred, full), state.lr_surface->from_centred);
}

void expect_pose_near(const Matrix4& actual, const Matrix4& expected, double tolerance)
{
    for (int e = 0; e < 16; ++e)
        EXPECT_NEAR(actual[e], expected[e], e >= 12 ? 10 * tolerance : tolerance) << "element " << e;
}

// The largest distance between t applied to moved[i] and target[i].
double largest_gap(const std::vector<Point3>& moved, const Matrix4& t,
                   const std::vector<Point3>& target)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < moved.size(); ++i)
        worst = std::max(worst, std::sqrt(squared_distance(transformed(t, moved[i]), target[i])));
    return worst;
}

// Iterates matching ("Fussy %" 0) and the fit of type until the pose settles.
void register_pair(WorkingState& state, int type, int iterations)
{
    const MatchControls controls{0, rims_yes, wide_range};
    for (int k = 0; k < iterations; ++k) {
        establish_matches(state, controls);
        ASSERT_TRUE(run_global_fit(state, type, controls.rim_mode, controls.search_range));
    }
}

// HR = the bone; LR = the bone moved by the inverse of truth, so that registering LR onto HR
// must find truth. start is the full pose the fit begins from.
void set_up_moved_bone(WorkingState& state, int type, const Matrix4& truth, const Matrix4& start)
{
    const Mesh bone = procedural_bone(1);
    load_pair(state, transformed_mesh(bone, inverse_affine(truth)), bone);
    *family_slot(state, type) = centred_pose(state, start);
    ASSERT_TRUE(select_registration_type(state, type));
}

} // namespace

TEST(RunGlobalFit, EachLinearModelRecoversAKnownPose)
{
    const double shear[3][3] = {{1.03, 0.02, -0.01}, {0.01, 0.97, 0.03}, {-0.02, 0.01, 1.02}};
    const Matrix4 small_turn = rotation(2.0, -1.5, 2.5, {1.0, -0.8, 1.2});
    struct Case {
        const char* name;
        int type;
        Matrix4 truth;
        Matrix4 start;
    };
    Matrix4 similar = small_turn;
    for (const int e : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        similar[e] *= 1.04;
    Matrix4 mirror_x = identity_matrix();
    mirror_x[0] = -1;
    const Case cases[] = {
        {"rigid", rigid, small_turn, identity_matrix()},
        {"similarity", similarity, similar, identity_matrix()},
        {"affine", affine, product(linear(shear, {0.5, 1.0, -0.7}), rotation(1, 1, -1)),
         identity_matrix()},
        {"aspect", aspect, scaled_columns(small_turn, 1.04, 0.96, 1.02), identity_matrix()},
        // A mirrored pair stays mirrored through rigid fits.
        {"mirrored rigid", rigid, product(mirror_x, small_turn), mirror_x},
        {"mirrored aspect", aspect, product(mirror_x, scaled_columns(small_turn, 1.03, 1, 0.98)),
         mirror_x},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkingState state;
        set_up_moved_bone(state, c.type, c.truth, c.start);
        register_pair(state, c.type, 30);
        expect_pose_near(full_pose(state), c.truth, 1e-4);
        EXPECT_EQ(state.fit_reflected, linear_determinant(c.truth) < 0);
        // The fit keeps its pose in the family slot.
        expect_pose_near(*family_slot(state, c.type), state.current_transform, 0.0);
    }
}

TEST(RunGlobalFit, EachFfdModelRecoversAKnownDeformationInItsOwnGrid)
{
    // HR = the family pose applied on top of the bone deformed by a lattice with two control
    // points moved. The fit must find the deformation in its family's grid only, under a pose
    // it does not move.
    struct Case {
        int type;
        FfdGrid WorkingState::*grid;
        Matrix4 pose; // LR file to HR file
    };
    const Case cases[] = {
        {similarity_ffd, &WorkingState::similarity_ffd_grid, rotation(0, 0, 4, {1, -2, 0.5})},
        {affine_ffd, &WorkingState::affine_ffd_grid, identity_matrix()},
        {aspect_ffd, &WorkingState::aspect_ffd_grid, rotation(3, 0, 0, {0, 1, 2})},
    };
    const Mesh bone = procedural_bone(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(registration_type_labels[static_cast<std::size_t>(c.type)]);
        WorkingState state;
        load_pair(state, bone, bone);
        FfdGrid truth = state.*c.grid;
        truth.values[((1 * 4 + 2) * 4 + 2) * 3 + 0] += 6.0;
        truth.values[((2 * 4 + 1) * 4 + 1) * 3 + 2] -= 8.0;
        Mesh deformed = bone;
        for (Point3& p : deformed.positions)
            p = transformed(c.pose, evaluate_ffd(state.ffd_lattice(), truth, p));
        load_pair(state, bone, deformed);
        const FfdGrid lattice = state.*c.grid;
        *family_slot(state, c.type) = centred_pose(state, c.pose);
        const Matrix4 pose = *family_slot(state, c.type);
        ASSERT_TRUE(select_registration_type(state, c.type));
        register_pair(state, c.type, 15);
        EXPECT_EQ(state.current_ffd_grid, &(state.*c.grid));
        EXPECT_LT(
            largest_gap(state.lr_surface->deformed_positions, full_pose(state), deformed.positions),
            0.05);
        expect_pose_near(*family_slot(state, c.type), pose, 0.0);
        for (FfdGrid WorkingState::*other :
             {&WorkingState::similarity_ffd_grid, &WorkingState::affine_ffd_grid,
              &WorkingState::aspect_ffd_grid})
            EXPECT_TRUE(other == c.grid || (state.*other).values == lattice.values);
    }
}

TEST(RunGlobalFit, ShapeModelRecoversKnownCoefficients)
{
    WorkingState state;
    const Mesh bone = procedural_bone(0);
    // Two modes over the 3V coordinates: a stretch along z and a bend in x growing with z.
    const std::size_t v = bone.positions.size();
    std::vector<std::vector<float>> modes(3 * v, std::vector<float>(2, 0.0f));
    std::vector<float> mean(3 * v);
    double norms[2] = {0, 0};
    for (std::size_t i = 0; i < v; ++i) {
        const Point3& p = bone.positions[i];
        mean[3 * i] = static_cast<float>(p.x);
        mean[3 * i + 1] = static_cast<float>(p.y);
        mean[3 * i + 2] = static_cast<float>(p.z);
        modes[3 * i + 2][0] = static_cast<float>(p.z / 100.0);
        modes[3 * i][1] = static_cast<float>((p.z / 100.0) * (p.z / 100.0));
        norms[0] += modes[3 * i + 2][0] * modes[3 * i + 2][0];
        norms[1] += modes[3 * i][1] * modes[3 * i][1];
    }
    Mesh target = bone;
    const double coefficients[2] = {4.0, -3.0};
    for (std::size_t i = 0; i < v; ++i) {
        Point3& p = target.positions[i];
        p = {mean[3 * i] + coefficients[1] * modes[3 * i][1], static_cast<double>(mean[3 * i + 1]),
             mean[3 * i + 2] + coefficients[0] * modes[3 * i + 2][0]};
    }
    load_pair(state, bone, target);
    state.ssm_mean = mean;
    state.ssm_modes = modes;
    state.ssm_variances = {1.0f, 1.0f};
    state.ssm_mode_count = 2;
    for (std::size_t i = 0; i < v; ++i)
        (*stored_result(*state.lr_surface, similarity_ssm))[i] = {mean[3 * i], mean[3 * i + 1], mean[3 * i + 2]};
    state.similarity_transform = centred_pose(state, identity_matrix());
    const Matrix4 pose = state.similarity_transform;
    ASSERT_TRUE(select_registration_type(state, similarity_ssm));
    register_pair(state, similarity_ssm, 10);
    EXPECT_LT(largest_gap(state.lr_surface->sim_ssm_positions, identity_matrix(), target.positions),
              1e-3);
    EXPECT_TRUE(state.result_unsaved[result_similarity_ssm]);
    expect_pose_near(state.similarity_transform, pose, 0.0);
}

TEST(RunGlobalFit, WithoutMatchesThePoseIsOnlyRenormalised)
{
    WorkingState state;
    load_pair(state, procedural_bone(0), procedural_bone(0));
    // No vertex matched: every residual is 0. A scaled (and a mirrored, scaled) rigid pose
    // loses its scale but keeps rotation, translation and reflection.
    Matrix4 mirror_x = identity_matrix();
    mirror_x[0] = -1;
    for (const Matrix4& reflection : {identity_matrix(), mirror_x}) {
        const Matrix4 turn = product(reflection, rotation(10, 20, 30, {1, 2, 3}));
        Matrix4 scaled = turn;
        for (const int e : {0, 1, 2, 4, 5, 6, 8, 9, 10})
            scaled[e] *= 2.0;
        state.rigid_transform = scaled;
        ASSERT_TRUE(select_registration_type(state, rigid));
        ASSERT_TRUE(run_global_fit(state, rigid, rims_yes, wide_range));
        expect_pose_near(state.current_transform, turn, 1e-12);
        expect_pose_near(state.rigid_transform, turn, 1e-12);
    }
    // An FFD fit of a surface with fewer than 64 vertices cannot run: the grid stays.
    load_pair(state, tetrahedron(), tetrahedron());
    ASSERT_TRUE(select_registration_type(state, affine_ffd));
    state.affine_ffd_grid.values[5] += 1.0;
    const FfdGrid before = state.affine_ffd_grid;
    establish_matches(state, MatchControls{0, rims_yes, wide_range});
    EXPECT_TRUE(run_global_fit(state, affine_ffd, rims_yes, wide_range));
    EXPECT_EQ(state.affine_ffd_grid.values, before.values);
}

TEST(RunGlobalFit, SingularOrNonFiniteStartsKeepThePose)
{
    struct Case {
        const char* why;
        int type;
        Matrix4 pose;
    };
    Matrix4 flat = identity_matrix();
    flat[10] = 0.0; // zero determinant, zero third column
    Matrix4 lost = identity_matrix();
    lost[13] = NAN;
    Matrix4 infinite = identity_matrix();
    infinite[5] = INFINITY;
    const Case cases[] = {
        {"rigid, zero determinant", rigid, flat},
        {"similarity, zero determinant", similarity, flat},
        {"aspect, zero column", aspect, flat},
        {"affine, not finite", affine, lost},
        {"similarity + FFD, not finite", similarity_ffd, infinite},
        {"rigid, not finite", rigid, infinite},
    };
    for (const Case& c : cases) {
        WorkingState state;
        load_pair(state, procedural_bone(0), procedural_bone(0));
        *family_slot(state, c.type) = c.pose;
        ASSERT_TRUE(select_registration_type(state, c.type));
        establish_matches(state, MatchControls{0, rims_yes, wide_range});
        state.fit_reflected = true;
        const FfdGrid grid = *state.current_ffd_grid;
        StatusCapture status;
        EXPECT_FALSE(run_global_fit(state, c.type, rims_yes, wide_range)) << c.why;
        EXPECT_EQ(status.last(), singular_pose_message) << c.why;
        for (int e = 0; e < 16; ++e) {
            const double expected = c.pose[e], actual = state.current_transform[e];
            EXPECT_TRUE(actual == expected || (std::isnan(actual) && std::isnan(expected)))
                << c.why << " element " << e;
        }
        EXPECT_TRUE(state.fit_reflected) << c.why;
        EXPECT_EQ(state.current_ffd_grid->values, grid.values) << c.why;
    }
}

TEST(ComputeGlobalResiduals, WeightsByHeightRimAndFussyFlag)
{
    // Three LR vertices at the bottom, middle and top of the box, each matched to an HR vertex
    // 1 mm away along x; vertex 1 is a rim vertex, vertex 2 fussy.
    Mesh lr;
    lr.positions = {{0, 0, 0}, {0, 0, 50}, {0, 0, 100}, {5, 5, 0}, {5, 5, 100}, {5, 0, 50}};
    Mesh hr = lr;
    for (Point3& p : hr.positions)
        p.x += 1.0;
    WorkingState state;
    load_pair(state, lr, hr);
    Surface& l = *state.lr_surface;
    state.hr_surface->from_centred = identity_matrix();
    l.to_centred = identity_matrix();
    for (std::size_t i = 0; i < 6; ++i) {
        l.match_index[i] = static_cast<std::int64_t>(i);
        l.match_distance2[i] = 1.0;
    }
    l.on_rim[1] = 1;
    l.rim_vertex_count = 1; // W = (6 - 1) / 1 = 5
    l.fussy[2] = 1;
    l.is_femur = true;
    const auto residual_x = [&](int type, int rim_mode, std::size_t vertex) {
        GlobalFitContext context = make_global_fit_context(state, type, rim_mode, wide_range);
        std::vector<double> x(192, 0.0), fvec(18, -1.0);
        if (type == rigid)
            x.resize(6);
        if (is_ffd_type(type))
            std::copy(state.current_ffd_grid->values.begin(), state.current_ffd_grid->values.end(),
                      x.begin());
        state.current_transform = identity_matrix();
        compute_global_residuals(&context, 18, static_cast<int>(x.size()), x.data(), fvec.data(), 1);
        return fvec[3 * vertex];
    };
    // Linear types on a femur: weight 5 at the bottom of the box, 3 half-way, 1 at the top.
    EXPECT_NEAR(residual_x(rigid, rims_yes, 0), -5.0, 1e-12);
    EXPECT_NEAR(residual_x(rigid, rims_yes, 1), -3.0, 1e-12);
    EXPECT_NEAR(residual_x(rigid, rims_yes, 2), -1.0, 1e-12); // fussy: plain for linear types
    // "To rims": the rim vertex also gets the rim weight.
    EXPECT_NEAR(residual_x(rigid, rims_to_rims, 1), -15.0, 1e-12);
    // FFD: no height weight; the fussy vertex's components are squared (sign lost).
    EXPECT_NEAR(residual_x(similarity_ffd, rims_yes, 0), -1.0, 1e-9);
    EXPECT_NEAR(residual_x(similarity_ffd, rims_yes, 2), 1.0, 1e-9);
    EXPECT_NEAR(residual_x(similarity_ffd, rims_to_rims, 1), -5.0, 1e-9);
    // Without rim vertices the rim weight is 1, not a division by zero.
    l.rim_vertex_count = 0;
    EXPECT_NEAR(residual_x(similarity_ffd, rims_to_rims, 1), -1.0, 1e-9);
    // A vertex matched beyond the range contributes nothing.
    l.match_distance2[0] = 200.0;
    EXPECT_EQ(residual_x(rigid, rims_yes, 0), 0.0);
    // A femur flat in z has no bottom: weight 1 instead of a division by zero.
    l.match_distance2[0] = 1.0;
    l.bbox_max.z = l.bbox_min.z;
    EXPECT_NEAR(residual_x(rigid, rims_yes, 0), -1.0, 1e-12);
}
