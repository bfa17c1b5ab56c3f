// The LR-HR vertex map, the projection of HR annotations onto the registered LR surface and the
// mapped-landmarks file.
#include "registration/map_files.h"

#include "registration/registration_type.h"
#include "state/working_state.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/scratch_directory.h"
#include "tests/fixtures/status_capture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>

namespace {

std::vector<std::string> read_lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Four LR vertices against four HR vertices with matches set by hand.
class MapFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        const Mesh quad{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                        {Triangle{{0, 1, 2}}, Triangle{{1, 3, 2}}}};
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        fill_surface(lr, quad);
        fill_surface(hr, quad);
        lr.path_stem = scratch.file("lr");
        hr.name = "hr";
        lr.match_index = {2, 3, 0, 1};
        lr.match_distance2 = {0.5, 0.25, missing_value, 1.0}; // 3 lies on the range: unmatched
        lr.data = {1.5, 2.0, -0.25, 4.0};
        lr.sigma = {1.0, missing_value, 1.0, missing_value};
        hr.data = {0.0, 0.0, 7.125, 8.0};
        hr.sigma = {1.0, 1.0, 1.0, missing_value};
    }

    ScratchDirectory scratch;
    StatusCapture status;
    WorkingState state;
};

TEST_F(MapFileTest, PlainAndDataFormsLineByLine)
{
    const std::string path = scratch.file("map.csv");
    ASSERT_TRUE(write_lr_hr_map(*state.lr_surface, *state.hr_surface, path, 1.0, false));
    EXPECT_EQ(read_lines(path),
              (std::vector<std::string>{"0,2", "1,3", "2,unmatched", "3,unmatched"}));

    ASSERT_TRUE(write_lr_hr_map(*state.lr_surface, *state.hr_surface, path, 1.0, true));
    EXPECT_EQ(read_lines(path), (std::vector<std::string>{
                                    "0,2,1.500000,7.125000",
                                    "1,3,invalid,invalid", // no LR data; the partner has none
                                    "2,unmatched,-0.250000,unmatched",
                                    "3,unmatched,invalid,unmatched",
                                }));

    // A map that cannot be fully written is a failure, not a saved map.
    EXPECT_FALSE(write_lr_hr_map(*state.lr_surface, *state.hr_surface, "/dev/full", 1.0, true));
    EXPECT_FALSE(write_lr_hr_map(*state.lr_surface, *state.hr_surface,
                                 scratch.file("missing/map.csv"), 1.0, true));
}

TEST_F(MapFileTest, NamesFollowTheLoadedData)
{
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    EXPECT_EQ(lr_hr_map_name(lr, hr, similarity), scratch.file("lr-hr-sim.csv"));

    // LR data alone (no HR data list) is no map with data; HR data alone neither.
    EXPECT_FALSE(map_has_data(hr, true));
    hr.data_list = 1;
    EXPECT_FALSE(map_has_data(hr, false));
    EXPECT_TRUE(map_has_data(hr, true));

    const std::string lr_data = scratch.file("lr_mapped_with_hr_thickness");
    EXPECT_EQ(lr_hr_data_map_name(lr, lr_data, hr, "hr_thickness", affine_lad),
              scratch.file("lr_mapped_with_hr_thickness-hr_thickness-aff_lad.csv"));
    lr.hr_smoothing_steps = 2;
    lr.smoothing_steps = 3;
    hr.smoothing_steps = 5;
    EXPECT_EQ(lr_hr_data_map_name(lr, lr_data, hr, "hr_thickness", similarity_tps),
              scratch.file("lr_mapped_with_hr_thickness_2HR_3LR-hr_thickness_5HR-sim_tps.csv"));
    // The plain name ignores the passes.
    EXPECT_EQ(lr_hr_map_name(lr, hr, rigid), scratch.file("lr-hr-rigid.csv"));
}

TEST_F(MapFileTest, SaveReportsTheMapAndStillWritesTheLandmarks)
{
    // LR data without an HR data list: the plain map under the plain name.
    state.lr_data_loaded = true;
    state.lr_data_name = scratch.file("lr_a");
    state.hr_data_name = "hr_b";
    save_lr_hr_map(state, similarity, 1.0);
    EXPECT_EQ(status.messages, (std::vector<std::string>{"Saved LR-HR vertex map"}));
    EXPECT_EQ(read_lines(scratch.file("lr-hr-sim.csv")).front(), "0,2");

    status.messages.clear();
    state.hr_surface->data_list = 1;
    save_lr_hr_map(state, similarity, 1.0);
    EXPECT_EQ(status.messages, (std::vector<std::string>{"Saved LR-HR vertex and data map"}));
    EXPECT_EQ(read_lines(scratch.file("lr_a-hr_b-sim.csv")).size(), 4u);
    EXPECT_TRUE(std::filesystem::exists(scratch.file("lr-mapped_landmarks.ply")));

    // The map name taken by a directory: the map fails, the landmarks file is still appended.
    status.messages.clear();
    std::filesystem::create_directory(scratch.file("lr_a-hr_b-aff.csv"));
    save_lr_hr_map(state, affine, 1.0);
    EXPECT_EQ(status.messages, (std::vector<std::string>{"Could not write map file"}));
}

// A 5 x 5 grid of unit spacing in z = 0 as both surfaces; the LR copy moved by `lr_move` with the
// current transform undoing it. All normals +z (moved with the LR copy).
class ProjectionTest : public ::testing::Test {
protected:
    void place(const Matrix4& lr_move)
    {
        const Mesh grid = flat_grid(4.0, 5);
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        fill_surface(hr, grid);
        fill_surface(lr, transformed_mesh(grid, lr_move));
        hr.normals.assign(grid.positions.size(), Point3{0, 0, 1});
        const Point3 up = transformed(lr_move, Point3{0, 0, 1}) - transformed(lr_move, Point3{});
        lr.normals.assign(grid.positions.size(), up);
        lr.max_radius = 3.0f;
        Matrix4 back;
        invert_rigid(back, lr_move);
        state.current_transform = back;
        move = lr_move;
    }

    // An HR landmark at p, in the HR triangle (0, 5, 6) so that its normal is +z.
    static Landmark hr_point(const Point3& p, const std::string& name = "")
    {
        Landmark landmark;
        landmark.name = name;
        landmark.position = p;
        landmark.triangle = {0, 5, 6};
        landmark.weights = {0.25, 0.25};
        return landmark;
    }

    Matrix4 move = identity_matrix();
    WorkingState state;
};

TEST_F(ProjectionTest, LandmarksLandOnTheRegisteredLrSurfaceInItsOwnCoordinates)
{
    Matrix4 lr_move;
    make_transform(lr_move, 10.0, -4.0, 2.5, 30.0, 15.0, -20.0);
    place(lr_move);
    struct Case {
        const char* why;
        Point3 query;
        Point3 expected_hr; // where the result lies before the LR copy's move
        std::array<std::int64_t, 3> triangle;
    };
    const Case cases[] = {
        // Above a triangle, nearer to the plane than to any vertex: the hit.
        {"hit", {1.3, 1.6, 0.5}, {1.3, 1.6, 0.0}, {6, 12, 7}},
        // Beside the grid: the line misses, the nearest vertex takes the point.
        {"miss", {9.0, 7.0, 0.5}, {4.0, 4.0, 0.0}, {24, 24, 24}},
    };
    for (const Case& c : cases) {
        Point3 normal;
        const Landmark result =
            project_onto_registered_lr(*state.lr_surface, *state.hr_surface,
                                       state.current_transform, hr_point(c.query), &normal);
        const Point3 expected = transformed(move, c.expected_hr);
        EXPECT_NEAR(result.position.x, expected.x, 1e-9) << c.why;
        EXPECT_NEAR(result.position.y, expected.y, 1e-9) << c.why;
        EXPECT_NEAR(result.position.z, expected.z, 1e-9) << c.why;
        EXPECT_EQ(result.triangle, c.triangle) << c.why;
        EXPECT_NEAR(dot(normal, state.lr_surface->normals[0]), 1.0, 1e-12) << c.why;
        EXPECT_NEAR(dot(result.tangent1, normal), 0.0, 1e-12) << c.why;
        EXPECT_NEAR(dot(result.tangent2, result.tangent1), 0.0, 1e-12) << c.why;
        EXPECT_TRUE(result.name.empty());
    }
}

TEST_F(ProjectionTest, PointOnAVertexStaysOnTheVertex)
{
    // The hit at distance 0 is not strictly nearer than the vertex at distance 0.
    place(identity_matrix());
    const Landmark result = project_onto_registered_lr(
        *state.lr_surface, *state.hr_surface, state.current_transform, hr_point({1.0, 1.0, 0.0}));
    EXPECT_EQ(result.triangle, (std::array<std::int64_t, 3>{6, 6, 6}));
    EXPECT_EQ(result.weights, (std::array<double, 2>{0.0, 0.0}));
}

TEST_F(ProjectionTest, MappedLandmarksAreAppendedToFileAndLrLists)
{
    place(identity_matrix());
    ScratchDirectory scratch;
    StatusCapture status;
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    lr.path_stem = scratch.file("lr");
    hr.name = "hr";
    hr.landmarks = {hr_point({1.3, 1.6, 0.5}, "tip")};
    Landcurve ridge;
    ridge.name = "ridge";
    ridge.control_points = {hr_point({0.5, 0.25, 1.0}), hr_point({3.0, 2.0, -0.5})};
    Landcurve rim = ridge;
    rim.name = "auto-detected rim 1";
    rim.closed = true;
    Landcurve loop = ridge;
    loop.name = "loop";
    loop.closed = true;
    hr.landcurves = {ridge, rim, loop};
    {
        std::ofstream earlier(scratch.file("lr-mapped_landmarks.ply"));
        earlier << "comment earlier\n";
    }

    ASSERT_TRUE(append_mapped_landmarks(state, similarity));
    const std::vector<std::string> once = {
        "comment LANDMARK \"tip (hr-sim)\" 1.300000 1.600000 0.000000 0.000000 0.000000 1.000000",
        "comment OPEN_LANDCURVE \"ridge (hr-sim)\" 2",
        "comment 0.500000 0.250000 0.000000 0.000000 0.000000 1.000000",
        "comment 3.000000 2.000000 0.000000 0.000000 0.000000 1.000000",
        "comment CLOSED_LANDCURVE \"loop (hr-sim)\" 2",
        "comment 0.500000 0.250000 0.000000 0.000000 0.000000 1.000000",
        "comment 3.000000 2.000000 0.000000 0.000000 0.000000 1.000000",
    };
    std::vector<std::string> expected = {"comment earlier"};
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(read_lines(scratch.file("lr-mapped_landmarks.ply")), expected);
    ASSERT_EQ(lr.landmarks.size(), 1u);
    EXPECT_EQ(lr.landmarks[0].name, "tip (hr-sim)");
    EXPECT_EQ(lr.landmarks[0].partner, -1);
    ASSERT_EQ(lr.landcurves.size(), 2u);
    EXPECT_EQ(lr.landcurves[1].name, "loop (hr-sim)");
    EXPECT_TRUE(lr.landcurves[1].closed);
    EXPECT_EQ(lr.landcurves[1].points.size(), 2u);
    EXPECT_EQ(lr.landcurves[1].control_points.size(), 2u);
    EXPECT_TRUE(status.messages.empty()); // success is silent

    // Saving again appends again, to the file and to the lists.
    ASSERT_TRUE(append_mapped_landmarks(state, similarity));
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(read_lines(scratch.file("lr-mapped_landmarks.ply")), expected);
    EXPECT_EQ(lr.landmarks.size(), 2u);
    EXPECT_EQ(lr.landcurves.size(), 4u);

    // Every mapped name holds the HR file name: one that would make the lines read back as
    // other items refuses them all, the file and the lists untouched.
    hr.name = "SEMILANDMARK";
    EXPECT_FALSE(append_mapped_landmarks(state, similarity));
    EXPECT_EQ(status.last(), "Could not add comment to ply file");
    EXPECT_EQ(read_lines(scratch.file("lr-mapped_landmarks.ply")), expected);
    EXPECT_EQ(lr.landmarks.size(), 2u);
    EXPECT_EQ(lr.landcurves.size(), 4u);
    hr.name = "hr";

    // A file that cannot be opened changes nothing.
    lr.path_stem = scratch.file("missing/lr");
    EXPECT_FALSE(append_mapped_landmarks(state, similarity));
    EXPECT_EQ(status.last(), "Could not write landmark map file");
    EXPECT_EQ(lr.landmarks.size(), 2u);

    // Lines that do not reach the disk are a failure too.
    lr.path_stem = scratch.file("full");
    std::filesystem::create_symlink("/dev/full", scratch.file("full-mapped_landmarks.ply"));
    status.messages.clear();
    EXPECT_FALSE(append_mapped_landmarks(state, similarity));
    EXPECT_EQ(status.messages, (std::vector<std::string>{"Could not write landmark map file"}));
}

// The text files use a decimal point whatever the user's locale.
TEST_F(ProjectionTest, TextFilesIgnoreTheLocale)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no de_DE.UTF-8 locale installed";
    place(identity_matrix());
    ScratchDirectory scratch;
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    lr.path_stem = scratch.file("lr");
    hr.landmarks = {hr_point({1.25, 1.5, 0.5}, "tip")};
    for (std::size_t i = 0; i < lr.data.size(); ++i) {
        lr.match_index[i] = static_cast<std::int64_t>(i);
        lr.match_distance2[i] = 0.0;
        lr.data[i] = 0.5;
        hr.data[i] = 1.25;
    }
    const bool map_written =
        write_lr_hr_map(*state.lr_surface, *state.hr_surface, scratch.file("map.csv"), 1.0, true);
    const bool landmarks_written = append_mapped_landmarks(state, rigid);
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(map_written);
    ASSERT_TRUE(landmarks_written);
    EXPECT_EQ(read_lines(scratch.file("map.csv")).front(), "0,0,0.500000,1.250000");
    EXPECT_EQ(read_lines(scratch.file("lr-mapped_landmarks.ply")).front(),
              "comment LANDMARK \"tip (-rigid)\" 1.250000 1.500000 0.000000 0.000000 0.000000 "
              "1.000000");
}

} // namespace
