#include "registration/family_transform.h"

#include "registration/ffd_grid.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "tests/fixtures/expect_near.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Matrix4 turn(double a, double b, double c, const Point3& t = {})
{
    Matrix4 m;
    return make_transform(m, t.x, t.y, t.z, a, b, c);
}

} // namespace

TEST(FamilyTransform, StoreAndRestoreGoThroughTheFamilySlot)
{
    struct Case {
        int type;
        Matrix4 WorkingState::*slot;
    };
    const Case cases[] = {
        {rigid, &WorkingState::rigid_transform},
        {similarity, &WorkingState::similarity_transform},
        {similarity_ffd, &WorkingState::similarity_transform},
        {similarity_lad, &WorkingState::similarity_transform},
        {affine, &WorkingState::affine_transform},
        {affine_ffd, &WorkingState::affine_transform},
        {affine_lad, &WorkingState::affine_transform},
        {aspect, &WorkingState::aspect_transform},
        {aspect_ffd, &WorkingState::aspect_transform},
        {aspect_lad, &WorkingState::aspect_transform},
        {similarity_tps, &WorkingState::similarity_transform},
        {similarity_ssm, &WorkingState::similarity_transform},
    };
    for (const Case& c : cases) {
        WorkingState state;
        state.current_transform = turn(10, 0, 0, {1, 2, 3});
        state.rims_paired = true;
        state.list_dirty.fill(false);
        store_current_transform(state, c.type);
        expect_matrix_near(state.*c.slot, state.current_transform, 0.0);
        EXPECT_TRUE(state.registration_unsaved);
        EXPECT_FALSE(state.rims_paired);
        EXPECT_EQ(state.lr_surface->match_range2, -1.0);
        EXPECT_TRUE(state.list_dirty[dirty_registration_error]);
        EXPECT_FALSE(state.list_dirty[dirty_lr_plain]);

        state.*c.slot = turn(0, 5, 0);
        state.lr_surface->match_range2 = 4.0;
        restore_current_transform(state, c.type);
        expect_matrix_near(state.current_transform, turn(0, 5, 0), 0.0);
        EXPECT_EQ(state.lr_surface->match_range2, -1.0);
    }
    // No type selected: the flags still change, no slot does.
    WorkingState state;
    state.current_transform = turn(10, 0, 0);
    store_current_transform(state, -1);
    expect_matrix_near(state.similarity_transform, identity_matrix(), 0.0);
    EXPECT_TRUE(state.registration_unsaved);
}

TEST(FamilyTransform, AspectToSimilarityKeepsTheThirdColumnsScale)
{
    WorkingState state;
    const Matrix4 rotation = turn(30, -20, 10, {4, 5, 6});
    Matrix4 aspect_pose = rotation;
    const double lengths[3] = {2, 3, 4};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            aspect_pose[4 * c + r] *= lengths[c];
    state.aspect_transform = aspect_pose;
    ASSERT_TRUE(aspect_to_similarity(state, similarity));
    Matrix4 expected = rotation;
    for (const int e : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        expected[e] *= 4.0;
    expect_matrix_near(state.similarity_transform, expected, 1e-12);
    expect_matrix_near(state.current_transform, expected, 1e-12);
    EXPECT_TRUE(state.registration_unsaved);

    // A zero first column gives nothing to rescale, a zero third one a similarity of scale 0:
    // both are refused and nothing changes.
    for (const int column : {0, 2}) {
        WorkingState flat;
        for (int row = 0; row < 3; ++row)
            flat.aspect_transform[4 * column + row] = 0.0;
        flat.similarity_transform = rotation;
        StatusCapture status;
        EXPECT_FALSE(aspect_to_similarity(flat, similarity)) << column;
        EXPECT_EQ(status.last(), singular_pose_message);
        expect_matrix_near(flat.similarity_transform, rotation, 0.0);
        EXPECT_FALSE(flat.registration_unsaved);
    }
}

TEST(FamilyTransform, ScaleLinearPartRefusesASingularFactor)
{
    WorkingState state;
    state.current_transform = turn(0, 0, 45, {1, 2, 3});
    ASSERT_TRUE(scale_linear_part(state, 1.5));
    EXPECT_NEAR(linear_determinant(state.current_transform), 1.5 * 1.5 * 1.5, 1e-12);
    EXPECT_EQ(state.current_transform[12], 1.0);
    const Matrix4 before = state.current_transform;
    EXPECT_FALSE(scale_linear_part(state, 0.0));
    EXPECT_FALSE(scale_linear_part(state, NAN));
    expect_matrix_near(state.current_transform, before, 0.0);
}
