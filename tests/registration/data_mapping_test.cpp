// Carrying HR data onto the registered LR surface.
#include "registration/data_mapping.h"

#include "registration/matching.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

namespace {

// The mesh with its vertices in reverse order, so that vertex i of the copy is vertex
// count - 1 - i of the original.
Mesh reversed(const Mesh& mesh)
{
    Mesh copy;
    copy.positions.assign(mesh.positions.rbegin(), mesh.positions.rend());
    const auto last = static_cast<std::int64_t>(mesh.positions.size()) - 1;
    for (const Triangle& t : mesh.triangles)
        copy.triangles.push_back(
            triangle(last - t.vertex[0], last - t.vertex[1], last - t.vertex[2]));
    return copy;
}

// HR: an icosphere carrying a smooth field; LR: the same sphere moved away with its vertices in
// reverse order, and the current transform bringing it back. Matched through the vertex grid.
class DataMappingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Mesh sphere = icosphere(2, 10.0);
        Matrix4 move;
        make_transform(move, 5.0, -3.0, 2.0, 20.0, -10.0, 35.0);
        load_pair(state, reversed(transformed_mesh(sphere, move)), sphere);
        Matrix4 back;
        invert_rigid(back, move);
        // The current transform works between the centred surfaces.
        state.current_transform =
            product(product(state.hr_surface->to_centred, back), state.lr_surface->from_centred);
        Surface& hr = *state.hr_surface;
        for (std::size_t k = 0; k < hr.positions.size(); ++k) {
            hr.data[k] = 3.0 + hr.positions[k].x * 0.1 + hr.positions[k].z * hr.positions[k].y;
            hr.sigma[k] = 0.5 + 0.01 * static_cast<double>(k);
        }
        hr.sigma[7] = missing_value;
        hr.smoothing_steps = 4;
        state.lr_surface->path_stem = "/data/lr";
        state.hr_data_name = "hr_thickness";
        establish_matches(state,
                          MatchControls{0, rims_yes, static_cast<int>(state.range_units)}); // 1 mm
        state.list_dirty.fill(false);
    }

    WorkingState state;
};

TEST_F(DataMappingTest, MovedCopyReceivesTheHrDataUnchanged)
{
    Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    lr.smoothing_steps = 9;
    map_hr_data(state, 1.0);
    ASSERT_EQ(lr.data.size(), hr.data.size());
    const std::size_t last = lr.data.size() - 1;
    for (std::size_t i = 0; i < lr.data.size(); ++i) {
        EXPECT_EQ(lr.data[i], hr.data[last - i]) << "vertex " << i;
        EXPECT_EQ(lr.sigma[i], hr.sigma[last - i]) << "vertex " << i;
    }
    EXPECT_EQ(lr.sigma[last - 7], missing_value); // HR vertex 7 passes its lack of data on
    EXPECT_EQ(lr.smoothing_steps, 0);
    EXPECT_EQ(lr.hr_smoothing_steps, 4);
    EXPECT_TRUE(state.lr_data_loaded);
    EXPECT_EQ(state.lr_data_name, "/data/lr_mapped_with_hr_thickness");
    EXPECT_TRUE(state.list_dirty[dirty_lr_data]);
    EXPECT_TRUE(state.list_dirty[dirty_absolute_data_error]);
    EXPECT_TRUE(state.list_dirty[dirty_signed_data_error]);
    EXPECT_FALSE(state.list_dirty[dirty_lr_plain]);
}

TEST_F(DataMappingTest, VerticesBeyondTheSearchRangeGetNoData)
{
    Surface& lr = *state.lr_surface;
    for (std::size_t i = 0; i < lr.match_distance2.size(); ++i)
        lr.match_distance2[i] = i % 2 == 0 ? 4.0 : missing_value;
    // A range exactly at the match distance does not count it as matched.
    map_hr_data(state, 4.0);
    for (std::size_t i = 0; i < lr.data.size(); ++i) {
        EXPECT_EQ(lr.data[i], 0.0);
        EXPECT_EQ(lr.sigma[i], missing_value);
    }
    map_hr_data(state, 4.0 + 1e-9);
    EXPECT_EQ(lr.data[0], state.hr_surface->data.back());
    EXPECT_EQ(lr.sigma[1], missing_value);
}

TEST(UndersamplingQuestion, AskedWhenLrEdgesExceedTheHrSmoothingWidth)
{
    // Three passes on 1 mm edges: 3.6667 mm.
    EXPECT_EQ(undersampling_question(3, 1.0, 3.6), "");
    EXPECT_EQ(undersampling_question(3, 1.0, 3.7),
              "Possible undersampling\nHR FWHM 3.67 mm, LR edge length 3.70 mm\nReally map?");
    EXPECT_EQ(undersampling_question(0, 1.0, 1.0), ""); // equal is fine
    EXPECT_EQ(undersampling_question(250, 0.1, 3.0),
              "Possible undersampling\nHR FWHM >2.72 mm, LR edge length 3.00 mm\nReally map?");
}

} // namespace
