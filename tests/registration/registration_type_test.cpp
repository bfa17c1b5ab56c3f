#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"

#include "registration/family_transform.h"
#include "registration/ffd_grid.h"
#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

TEST(RegistrationType, FamiliesAndKinds)
{
    const TransformFamily families[] = {
        TransformFamily::rigid,      TransformFamily::similarity, TransformFamily::similarity,
        TransformFamily::similarity, TransformFamily::affine,     TransformFamily::affine,
        TransformFamily::affine,     TransformFamily::aspect,     TransformFamily::aspect,
        TransformFamily::aspect,     TransformFamily::similarity, TransformFamily::similarity};
    const bool global[] = {true, true, true, false, true, true, false, true, true, false, false, true};
    for (int t = 0; t < registration_type_count; ++t) {
        EXPECT_EQ(transform_family(t), families[t]) << t;
        EXPECT_EQ(is_global_type(t), global[t]) << t;
    }
}

TEST(SelectRegistrationType, ChoosesTheShownShapeAndTheFfdGrid)
{
    WorkingState state;
    // Without surfaces only the FFD grid follows the choice.
    EXPECT_FALSE(select_registration_type(state, aspect_ffd));
    EXPECT_EQ(state.current_ffd_grid, &state.aspect_ffd_grid);
    EXPECT_FALSE(select_registration_type(state, rigid));
    EXPECT_EQ(state.current_ffd_grid, &state.aspect_ffd_grid);

    load_pair(state, procedural_bone(0), procedural_bone(0));
    Surface& lr = *state.lr_surface;
    state.affine_transform[12] = 7.0;
    // An affine FFD grid that moves everything by 1 mm in y.
    for (std::size_t e = 1; e < 192; e += 3)
        state.affine_ffd_grid.values[e] += 1.0;
    ASSERT_TRUE(select_registration_type(state, affine_ffd));
    EXPECT_EQ(lr.shown, ShownShape::deformed);
    EXPECT_EQ(state.current_ffd_grid, &state.affine_ffd_grid);
    EXPECT_NEAR(lr.deformed_positions[10].y, lr.positions[10].y + 1.0, 1e-9);
    EXPECT_EQ(state.current_transform[12], 7.0);

    state.list_dirty.fill(false);
    ASSERT_TRUE(select_registration_type(state, affine));
    EXPECT_EQ(lr.shown, ShownShape::as_read);
    EXPECT_TRUE(state.list_dirty[dirty_lr_plain]);
    // What is saved and mapped under "Affine" no longer carries the grid.
    EXPECT_EQ(lr.deformed_positions[10].y, lr.positions[10].y);
    state.list_dirty.fill(false);
    ASSERT_TRUE(select_registration_type(state, rigid)); // already as read: lists stay
    EXPECT_FALSE(state.list_dirty[dirty_lr_plain]);

    (*stored_result(lr, similarity_lad))[3] = {1, 2, 3};
    ASSERT_TRUE(select_registration_type(state, similarity_lad));
    EXPECT_EQ(lr.deformed_positions[3].z, 3.0);
}

TEST(ResetRegistration, EachKindOfTypeResetsItsOwnPart)
{
    WorkingState state;
    load_pair(state, procedural_bone(0), procedural_bone(0));
    Surface& lr = *state.lr_surface;
    const Matrix4 moved = [] {
        Matrix4 m;
        return make_transform(m, 1, 2, 3, 4, 5, 6);
    }();

    // "Reset" of "Rigid": the default pose into the rigid slot only.
    state.rigid_transform = state.similarity_transform = moved;
    reset_registration(state, rigid);
    EXPECT_EQ(state.rigid_transform.m, identity_matrix().m);
    EXPECT_EQ(state.similarity_transform.m, moved.m);
    EXPECT_EQ(state.current_transform.m, identity_matrix().m);
    EXPECT_TRUE(state.registration_unsaved);

    // An FFD type: the lattice, not the pose.
    const FfdGrid lattice = state.similarity_ffd_grid;
    state.similarity_ffd_grid.values[40] += 3.0;
    reset_registration(state, similarity_ffd);
    EXPECT_EQ(state.similarity_ffd_grid.values, lattice.values);
    EXPECT_EQ(state.similarity_transform.m, moved.m);

    // LAD, TPS and SSM: the stored shape becomes the positions as read and is unsaved.
    for (const int type : {similarity_lad, affine_lad, aspect_lad, similarity_tps, similarity_ssm}) {
        std::vector<Point3>& result = *stored_result(lr, type);
        result[0] = {99, 99, 99};
        state.result_unsaved.fill(false);
        state.lad_refresh_counter = 3;
        state.slide_step = 0.75;
        state.tps_warp.control_points.resize(4);
        reset_registration(state, type);
        EXPECT_EQ(result[0].x, lr.positions[0].x) << type;
        EXPECT_TRUE(state.result_unsaved[static_cast<std::size_t>(result_slot(type))]) << type;
        EXPECT_EQ(state.lad_refresh_counter, 0);
        EXPECT_EQ(state.tps_warp.control_points.empty(), type == similarity_tps) << type;
        EXPECT_EQ(state.slide_step, type == similarity_tps ? 0.25 : 0.75) << type;
    }
}
