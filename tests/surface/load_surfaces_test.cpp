#include "surface/load_surfaces.h"

#include "registration/registration_type.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// Rows of the 3 x 3 part of a matrix, for comparisons with the tables of rotations.
std::array<double, 9> rows_of(const Matrix4& m)
{
    std::array<double, 9> rows{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rows[static_cast<std::size_t>(3 * r + c)] = m[4 * c + r];
    return rows;
}

Matrix4 from_rows(const std::array<double, 9>& rows)
{
    Matrix4 m = identity_matrix();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[4 * c + r] = rows[static_cast<std::size_t>(3 * r + c)];
    return m;
}

void expect_rows(const Matrix4& m, const std::array<double, 9>& rows)
{
    const std::array<double, 9> actual = rows_of(m);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(actual[i], rows[i], 1e-12) << "element " << i;
}

} // namespace

// Which file becomes LR: the fixed order of batch jobs, then a single "canonical" name, then
// the smaller vertex count, the first file on a tie.
TEST(LoadSurfaces, ChoosesLrAndHr)
{
    TempDirectory directory;
    const Mesh small = icosphere(0), large = icosphere(1);
    struct Case {
        const char* why;
        std::string name1;
        const Mesh* mesh1;
        std::string name2;
        const Mesh* mesh2;
        bool fixed_order;
        bool first_is_lr;
    };
    const Case cases[] = {
        {"fewer vertices", "a.ply", &large, "b.ply", &small, false, false},
        {"a canonical name beats the count", "a.ply", &small, "b_canonical.ply", &large, false,
         false},
        {"two canonical names leave it to the count", "canonical1.ply", &large, "canonical2.ply",
         &small, false, false},
        {"equal counts keep the first", "a.ply", &small, "b.ply", &small, false, true},
        {"a batch job's order stands", "a.ply", &large, "b_canonical.ply", &small, true, true},
    };
    WorkingState state;
    StatusCapture status;
    for (const Case& c : cases) {
        state.clear_working_data();
        const std::string path1 = directory.file(c.name1), path2 = directory.file(c.name2);
        ASSERT_TRUE(write_ply_file(path1, *c.mesh1));
        ASSERT_TRUE(write_ply_file(path2, *c.mesh2));
        ASSERT_TRUE(parse_surface_pair(state, path1, path2, c.name1, c.name2, c.fixed_order))
            << c.why;
        // The files stay in their records; only the pointers say which is which.
        EXPECT_EQ(state.surfaces[0].vertex_count,
                  static_cast<std::int64_t>(c.mesh1->positions.size()))
            << c.why;
        EXPECT_EQ(state.lr_surface, &state.surfaces[c.first_is_lr ? 0 : 1]) << c.why;
        EXPECT_EQ(state.hr_surface, &state.surfaces[c.first_is_lr ? 1 : 0]) << c.why;
    }
}

TEST(LoadSurfaces, NamesAndReaders)
{
    TempDirectory directory;
    const Mesh mesh = tetrahedron();
    // An upper-case WRL ending is read by the PLY reader: the test is case-sensitive.
    ASSERT_TRUE(write_ply_file(directory.file("upper.WRL"), mesh));
    const std::string wrl =
        directory.write("t\xC3\xAAte.wrl", "point [\n1 1 1\n1 -1 -1\n-1 1 -1\n-1 -1 1\n]\n"
                                           "coordIndex [\n0 1 2\n0 3 1\n0 2 3\n1 3 2\n]\n");
    WorkingState state;
    StatusCapture status;
    ASSERT_TRUE(parse_surface_pair(state, directory.file("upper.WRL"), wrl, "upper.WRL",
                                   "t\xC3\xAAte.wrl", false));
    EXPECT_EQ(status.messages,
              (std::vector<std::string>{"Parsing first surface", "Parsing second surface"}));
    EXPECT_EQ(state.surfaces[0].file_type, ".ply");
    EXPECT_EQ(state.surfaces[0].name, "upper");
    EXPECT_EQ(state.surfaces[0].path_stem, directory.file("upper"));
    EXPECT_EQ(state.surfaces[1].file_type, ".wrl");
    EXPECT_EQ(state.surfaces[1].name, "t\xC3\xAAte"); // characters, not bytes, are dropped
    // A name shorter than an extension loses what it has, and the stem keeps its directory.
    ASSERT_TRUE(write_ply_file(directory.file("ab"), mesh));
    WorkingState short_names;
    ASSERT_TRUE(parse_surface_pair(short_names, directory.file("ab"), directory.file("ab"), "ab",
                                   "ab", true));
    EXPECT_EQ(short_names.lr_surface->name, "");
    EXPECT_EQ(short_names.lr_surface->path_stem, directory.file(""));
}

TEST(LoadSurfaces, AFailedFileStopsTheLoad)
{
    TempDirectory directory;
    ASSERT_TRUE(write_ply_file(directory.file("good.ply"), octahedron()));
    struct Case {
        const char* why;
        std::string name1;
        std::string name2;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"a first file that fails skips the second",
         "missing.ply",
         "good.ply",
         {"Parsing first surface", "Could not open ply file"}},
        {"a second file that fails",
         "good.ply",
         "missing.wrl",
         {"Parsing first surface", "Parsing second surface", "Could not open wrl file"}},
    };
    WorkingState state;
    for (const Case& c : cases) {
        state.clear_working_data();
        StatusCapture status;
        EXPECT_FALSE(parse_surface_pair(state, directory.file(c.name1), directory.file(c.name2),
                                        c.name1, c.name2, false))
            << c.why;
        EXPECT_EQ(status.messages, c.messages) << c.why;
        EXPECT_EQ(state.surfaces[1].vertex_count, 0) << c.why;
    }
}

TEST(LoadSurfaces, LatticeLadRadiusAndLrState)
{
    WorkingState state;
    Surface& lr = *state.lr_surface;
    fill_surface(lr, flat_grid(10.0, 3));
    lr.bbox_min = {0, 0, 0};
    lr.bbox_max = {10, 4, 0};
    state.lad_refresh_counter = 7;
    fit_lattice_and_lad_radius(state);
    EXPECT_DOUBLE_EQ(state.lad_radius, 1.0);
    EXPECT_EQ(state.lad_refresh_counter, 0);
    EXPECT_DOUBLE_EQ(state.ffd_spacing[0], 10.001);
    EXPECT_DOUBLE_EQ(state.ffd_spacing[1], 4.0004);
    EXPECT_EQ(state.ffd_spacing[2], 0.0001); // a flat axis
    lr.lad_radius_hint = 2.5;
    fit_lattice_and_lad_radius(state);
    EXPECT_EQ(state.lad_radius, 2.5);

    reset_lr_vertex_state(state);
    EXPECT_EQ(lr.selected, std::vector<std::uint8_t>(9, 1));
    EXPECT_EQ(state.lad_neighbours.size(), 9u);
    EXPECT_TRUE(state.lad_neighbours[8].empty());
    EXPECT_EQ(state.lad_parameters.size(), 9u);
}

TEST(LoadSurfaces, ZoomFitsTheLargerSurface)
{
    Surface lr, hr;
    lr.max_radius = 20.0f;
    hr.max_radius = 50.0f;
    EXPECT_DOUBLE_EQ(fitted_zoom(lr, hr, 800, 600), 6.0);
    EXPECT_EQ(fitted_zoom(lr, hr, 0, 600), 1.0); // no client area yet
    lr.max_radius = hr.max_radius = 0.0f;        // a single repeated point
    EXPECT_EQ(fitted_zoom(lr, hr, 800, 600), 1.0);
}

TEST(LoadSurfaces, ViewRotation)
{
    Surface lr, hr;
    // HR natural axes: a quarter turn about z; the view undoes it before B.
    make_transform(hr.natural_axes, 0, 0, 0, 90, 0, 0);
    const Matrix4 axes = hr.natural_axes;
    const std::array<double, 9> plain = {-1, 0, 0, 0, 0, 1, 0, 1, 0};
    const std::array<double, 9> axial = {0, 0, 1, 1, 0, 0, 0, 1, 0};
    auto view = [&](int review) { return product(default_view_rotation(lr, hr, review), axes); };
    expect_rows(view(0), plain);
    lr.rim_vertex_count = 12;
    expect_rows(view(0), axial);
    lr.rim_vertex_count = 0;
    lr.is_femur = true;
    expect_rows(view(0), axial);
    lr.is_femur = false;
    // Review presets premultiply B; the sign of the review value does not matter, and values
    // above 6 apply B once more.
    struct Case {
        int review;
        std::array<double, 9> preset;
    };
    const Case cases[] = {
        {1, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {2, {0, 0, -1, 0, 1, 0, 1, 0, 0}},
        {-3, {-1, 0, 0, 0, 1, 0, 0, 0, -1}},
        {4, {0, 0, 1, 0, 1, 0, -1, 0, 0}},
        {5, {1, 0, 0, 0, 0, -1, 0, 1, 0}},
        {6, {1, 0, 0, 0, 0, 1, 0, -1, 0}},
        {7, plain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.review);
        expect_rows(view(c.review), rows_of(product(from_rows(c.preset), from_rows(plain))));
    }
}

TEST(LoadSurfaces, CanonicalPartner)
{
    TempDirectory directory;
    EXPECT_EQ(find_canonical_partner(directory.path()), "");
    directory.write("canonical.PLY", ""); // the extension is case-sensitive
    directory.write("knee_canonical.wrl", "");
    directory.write("other.ply", "");
    EXPECT_EQ(find_canonical_partner(directory.path()), directory.file("knee_canonical.wrl"));
    directory.write("b_canonical.ply", "");
    directory.write("a_canonical.ply", "");
    EXPECT_EQ(find_canonical_partner(directory.path()), directory.file("a_canonical.ply"));
    EXPECT_EQ(find_canonical_partner(directory.file("missing")), "");
}

TEST(LoadSurfaces, TypesAndMessages)
{
    for (int type = 0; type < registration_type_count; ++type)
        EXPECT_EQ(shows_deformed_shape(type),
                  type != rigid && type != similarity && type != affine && type != aspect)
            << type;
    EXPECT_STREQ(surfaces_loaded_message(0), "Surfaces loaded successfully");
    EXPECT_STREQ(surfaces_loaded_message(1), "Surfaces and registration loaded successfully");
    EXPECT_STREQ(surfaces_loaded_message(-1),
                 "Could not parse registration file, setting defaults");
}
