#include "surface/load_surfaces.h"

#include "registration/registration_type.h"
#include "surface/output_surface_names.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"
#include "utilities/batch_file.h"
#include "view/view_maths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

void expect_equal(const Matrix4& actual, const Matrix4& expected)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-12) << "element " << i;
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
         {"Parsing first surface",
          "Could not open ply file: missing.ply: No such file or directory"}},
        {"a second file that fails",
         "good.ply",
         "missing.wrl",
         {"Parsing first surface", "Parsing second surface",
          "Could not open wrl file: missing.wrl: No such file or directory"}},
        // The second file is read alongside the first: what it says waits for its turn.
        {"both failing: only the first says so",
         "missing.ply",
         "missing.wrl",
         {"Parsing first surface",
          "Could not open ply file: missing.ply: No such file or directory"}},
    };
    WorkingState state;
    for (const Case& c : cases) {
        state.clear_working_data();
        StatusCapture status;
        EXPECT_FALSE(parse_surface_pair(state, directory.file(c.name1), directory.file(c.name2),
                                        c.name1, c.name2, false))
            << c.why;
        EXPECT_EQ(status.messages, c.messages) << c.why;
        EXPECT_EQ(state.unread_surface_name, c.name1 == "missing.ply" ? c.name1 : c.name2) << c.why;
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

// The view of a new pair, and the review preset of a batch review job that makes no
// iterations.
TEST(LoadSurfaces, LoadingView)
{
    WorkingState state;
    make_transform(state.hr_surface->natural_axes, 0, 0, 0, 90, 0, 0);
    const Matrix4& axes = state.hr_surface->natural_axes;
    const Matrix4 across = loading_view_rotation(axes, false);
    const Matrix4 up = loading_view_rotation(axes, true);
    expect_equal(loading_view(state), across);
    state.lr_surface->rim_vertex_count = 12;
    expect_equal(loading_view(state), up);
    state.lr_surface->rim_vertex_count = 0;
    state.lr_surface->is_femur = true;
    expect_equal(loading_view(state), up);
    state.lr_surface->is_femur = false;

    // One stored job with review 3 and the given iteration count.
    state.batch_job_count = 1;
    state.batch_job_index = 0;
    state.batch_job_values.assign(batch_value_count, 0);
    state.batch_job_values[batch_review] = 3;
    const Matrix4 reviewed = product(review_view_preset(3, false), across);
    struct Case {
        const char* why;
        bool batch_running;
        std::int32_t iterations;
        const Matrix4* expected;
    };
    const Case cases[] = {
        {"a review job without iterations shows its preset", true, 0, &reviewed},
        {"a review job that iterates turns by itself", true, 5, &across},
        {"stored jobs without a running batch do nothing", false, 0, &across},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        state.batch_running = c.batch_running;
        state.batch_job_values[batch_iterations] = c.iterations;
        expect_equal(loading_view(state), *c.expected);
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

// The program's own outputs sort before the surface they came from ('-' before '.') and would
// be taken as its partner: annotation lines without a surface, or a moved copy.
TEST(LoadSurfaces, CanonicalPartnerPassesOverTheProgramsOutputs)
{
    const struct {
        const char* name;
        bool output;
    } names[] = {
        {"knee_canonical-resaved.ply", true},
        {"knee_canonical-mapped_landmarks.ply", true},
        {"knee_canonical-knee-sim.ply", true},
        {"knee_canonical-knee-aspect_lad.ply", true},
        {"knee_canonical-knee-sim_ssm.ply", true},
        {"knee_canonical-ssm_2_-1.ply", true},
        {"knee_canonical.ply", false},
        {"knee_canonical-sim.wrl", false},     // the program writes no WRL
        {"knee_canonical-simple.ply", false},  // a suffix must end the name
        {"knee_canonical-RIGID.ply", false},   // endings are case-sensitive
        {"knee_canonical-ssm_a_1.ply", false}, // not two integers
        {"knee_canonical-ssm_1.ply", false},
        {"resaved.ply", false},
    };
    for (const auto& n : names)
        EXPECT_EQ(is_output_surface_name(n.name), n.output) << n.name;

    TempDirectory directory;
    directory.write("knee.ply", "");
    for (const char* output : {"b_canonical-resaved.ply", "a_canonical-mapped_landmarks.ply",
                               "a_canonical-knee-sim.ply"})
        directory.write(output, "");
    std::vector<std::string> passed_over;
    EXPECT_EQ(find_canonical_partner(directory.path(), &passed_over), "");
    std::sort(passed_over.begin(), passed_over.end());
    EXPECT_EQ(only_outputs_note(passed_over),
              "only the program's own outputs (a_canonical-knee-sim.ply, "
              "a_canonical-mapped_landmarks.ply, b_canonical-resaved.ply)");
    EXPECT_EQ(only_outputs_note({"a", "b", "c", "d", "e"}),
              "only the program's own outputs (a, b, c and 2 more)");

    // A WRL partner is better than an output, and a PLY one better still.
    directory.write("c_canonical.wrl", "");
    EXPECT_EQ(find_canonical_partner(directory.path()), directory.file("c_canonical.wrl"));
    directory.write("z_canonical.ply", "");
    EXPECT_EQ(find_canonical_partner(directory.path()), directory.file("z_canonical.ply"));
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
