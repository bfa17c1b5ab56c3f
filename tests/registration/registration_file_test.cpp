#include "registration/registration_file.h"

#include "registration/default_pose.h"
#include "registration/ffd_grid.h"
#include "registration/registration_type.h"
#include "registration/result_file.h"
#include "tests/fixtures/expect_near.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/german_locale.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

void set_centroid(Surface& surface, const Point3& c)
{
    surface.centroid = c;
    make_translation(surface.from_centred, c.x, c.y, c.z);
    make_inverse_translation(surface.to_centred, c.x, c.y, c.z);
}

// A rotation and translation with the three columns of its linear part scaled.
Matrix4 pose(double tx, double ty, double tz, double a, double b, double c, double sx = 1,
             double sy = 1, double sz = 1)
{
    Matrix4 t;
    make_transform(t, tx, ty, tz, a, b, c);
    for (int r = 0; r < 3; ++r) {
        t[r] *= sx;
        t[4 + r] *= sy;
        t[8 + r] *= sz;
    }
    return t;
}

void expect_grid_near(const FfdGrid& a, const FfdGrid& b, double tolerance)
{
    for (std::size_t i = 0; i < a.values.size(); ++i)
        ASSERT_NEAR(a.values[i], b.values[i], tolerance) << "element " << i;
}

class RegistrationFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fill_surface(lr(), tetrahedron());
        fill_surface(hr(), octahedron(2.0));
        lr().name = "lr";
        lr().path_stem = dir.file("lr");
        hr().name = "hr";
        hr().path_stem = dir.file("hr");
        // Small centroids keep the rounding of "%f" within 1e-6 after the frame conversion.
        set_centroid(lr(), {0.2, -0.1, 0.05});
        set_centroid(hr(), {-0.15, 0.1, 0.2});
        state.batch_running = true; // the default pose without the mirroring rule
        set_registration();
    }

    Surface& lr() { return *state.lr_surface; }
    Surface& hr() { return *state.hr_surface; }
    std::string reg_path() const { return dir.file("lr-hr.reg"); }

    // A registration unlike the default pose and the undeformed lattice.
    void set_registration()
    {
        state.rigid_transform = pose(1.5, -2.25, 3.125, 10, 20, 30);
        state.similarity_transform = pose(-4, 5, 6, -40, 15, 100, 1.25, 1.25, 1.25);
        state.affine_transform = pose(0.5, 0.25, -0.75, 5, -5, 5, 0.9, 1.1, 1.3);
        state.affine_transform[4] += 0.2; // a shear
        state.aspect_transform = pose(7, 8, -9, 170, -80, 60, 1.5, 0.8, 1.2);
        for (std::size_t i = 0; i < 192; ++i) {
            state.similarity_ffd_grid.values[i] = 0.001 * static_cast<double>(i) - 0.09;
            state.affine_ffd_grid.values[i] = std::sin(static_cast<double>(i));
            state.aspect_ffd_grid.values[i] = 100.0 + 0.5 * static_cast<double>(i);
        }
    }

    void expect_defaults()
    {
        const Matrix4 default_pose = compute_default_pose(state);
        for (const Matrix4* family : {&state.rigid_transform, &state.similarity_transform,
                                      &state.affine_transform, &state.aspect_transform})
            expect_matrix_near(*family, default_pose, 0.0);
        FfdGrid lattice;
        reset_ffd_grid(state, lattice);
        for (const FfdGrid* grid :
             {&state.similarity_ffd_grid, &state.affine_ffd_grid, &state.aspect_ffd_grid})
            expect_grid_near(*grid, lattice, 0.0);
    }

    TempDirectory dir;
    WorkingState state;
};

TEST_F(RegistrationFileTest, SavedRegistrationLoadsBackToSixDecimals)
{
    (*stored_result(lr(), similarity_lad))[2] = {0.1, 0.2, 0.3};
    (*stored_result(lr(), similarity_tps))[3] = {-1.5, 2.5, 1e-3};
    state.result_unsaved[result_similarity_lad] = true;
    state.result_unsaved[result_similarity_tps] = true;
    state.registration_unsaved = true;
    StatusCapture status;
    ASSERT_TRUE(save_registration(state));
    EXPECT_EQ(status.last(), "Registration file saved");
    EXPECT_FALSE(state.registration_unsaved);
    for (bool unsaved : state.result_unsaved)
        EXPECT_FALSE(unsaved);
    EXPECT_EQ(fs::file_size(dir.file("lr-hr-sim_lad.breg")), 12u * 4u);
    EXPECT_TRUE(fs::exists(dir.file("lr-hr-sim_tps.breg")));
    EXPECT_FALSE(fs::exists(dir.file("lr-hr-aff_lad.breg"))) << "flag clear: not written";

    const std::array<Matrix4, 4> families{state.rigid_transform, state.similarity_transform,
                                          state.affine_transform, state.aspect_transform};
    const std::array<FfdGrid, 3> grids{state.similarity_ffd_grid, state.affine_ffd_grid,
                                       state.aspect_ffd_grid};
    const std::vector<Point3> saved_tps = lr().sim_tps_positions;

    // Forget everything, as a new load does, then read it back.
    fill_surface(lr(), tetrahedron());
    state.rigid_transform = state.similarity_transform = identity_matrix();
    state.affine_transform = state.aspect_transform = identity_matrix();
    state.similarity_ffd_grid = state.affine_ffd_grid = state.aspect_ffd_grid = FfdGrid{};
    ASSERT_EQ(load_registration_file(state), 1);

    expect_matrix_near(state.rigid_transform, families[0], 1e-6);
    expect_matrix_near(state.similarity_transform, families[1], 1e-6);
    expect_matrix_near(state.affine_transform, families[2], 1e-6);
    expect_matrix_near(state.aspect_transform, families[3], 1e-6);
    expect_grid_near(state.similarity_ffd_grid, grids[0], 1e-6);
    expect_grid_near(state.affine_ffd_grid, grids[1], 1e-6);
    expect_grid_near(state.aspect_ffd_grid, grids[2], 1e-6);
    EXPECT_FLOAT_EQ(static_cast<float>(lr().sim_lad_positions[2].z), 0.3f);
    for (std::size_t i = 0; i < saved_tps.size(); ++i) {
        EXPECT_FLOAT_EQ(static_cast<float>(lr().sim_tps_positions[i].x),
                        static_cast<float>(saved_tps[i].x));
        EXPECT_FLOAT_EQ(static_cast<float>(lr().sim_tps_positions[i].z),
                        static_cast<float>(saved_tps[i].z));
    }
}

TEST_F(RegistrationFileTest, WrittenTextIsTheVersion13LayoutInFileCoordinates)
{
    set_centroid(lr(), {1, 2, 3});
    set_centroid(hr(), {10, 20, 30});
    state.rigid_transform = identity_matrix();
    state.similarity_transform = pose(0, 0, 0, 0, 0, 0, 2, 2, 2);
    state.affine_transform = pose(0.5, 0, 0, 0, 0, 90); // Rx(90)
    state.aspect_transform = pose(0, 0, -1e-7, 0, 0, 0, 1, 3, 0.25);
    state.similarity_ffd_grid = state.affine_ffd_grid = state.aspect_ffd_grid = FfdGrid{};
    state.similarity_ffd_grid.values[0] = 1.5;
    state.similarity_ffd_grid.values[1] = -2.25;
    state.affine_ffd_grid.values[191] = 1e-7;
    state.aspect_ffd_grid.values[0] = -1e-7;
    state.aspect_ffd_grid.values[2] = 123456.7890125;

    std::string zeros;
    for (int i = 0; i < 188; ++i)
        zeros += "0.000000 ";
    const std::string four_zeros = "0.000000 0.000000 0.000000 0.000000 ";
    const std::string expected = "# Kelvorand v13\n"
                                 "\n"
                                 "# rigid registration matrix\n"
                                 "1.000000 0.000000 0.000000 9.000000\n"
                                 "0.000000 1.000000 0.000000 18.000000\n"
                                 "0.000000 0.000000 1.000000 27.000000\n"
                                 "0.000000 0.000000 0.000000 1.000000\n"
                                 "\n"
                                 "# similarity registration matrix\n"
                                 "2.000000 0.000000 0.000000 8.000000\n"
                                 "0.000000 2.000000 0.000000 16.000000\n"
                                 "0.000000 0.000000 2.000000 24.000000\n"
                                 "0.000000 0.000000 0.000000 1.000000\n"
                                 "\n"
                                 "# affine registration matrix\n"
                                 "1.000000 0.000000 0.000000 9.500000\n"
                                 "0.000000 0.000000 -1.000000 23.000000\n"
                                 "0.000000 1.000000 0.000000 28.000000\n"
                                 "0.000000 0.000000 0.000000 1.000000\n"
                                 "\n"
                                 "# aspect registration matrix\n"
                                 "1.000000 0.000000 0.000000 9.000000\n"
                                 "0.000000 3.000000 0.000000 14.000000\n"
                                 "0.000000 0.000000 0.250000 29.250000\n"
                                 "0.000000 0.000000 0.000000 1.000000\n"
                                 "\n"
                                 "# similarity 4x4x4 B-spline control points (x y z x y z x ...)\n"
                                 "1.500000 -2.250000 " +
                                 zeros + "0.000000 0.000000 \n" +
                                 "\n"
                                 "# affine 4x4x4 B-spline control points (x y z x y z x ...)\n" +
                                 four_zeros + zeros + "\n" +
                                 "\n"
                                 "# aspect 4x4x4 B-spline control points (x y z x y z x ...)\n"
                                 "-0.000000 0.000000 123456.789012 " +
                                 zeros + "0.000000 \n";

    ASSERT_TRUE(save_registration(state));
    EXPECT_EQ(read_file(reg_path()), expected);
}

struct RegCase {
    const char* why;
    std::string text;
    int expected;
    std::string refusal = {}; // why a file that does not parse (-1) is refused
};

std::string matrix_rows(int count)
{
    static const char* const rows[] = {"2 0 0 1", "0 2 0 2", "0 0 2 3", "0 0 0 1"};
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(rows[i % 4]) + "\n";
    return text;
}

std::string grid_lines(int count, const std::string& value = "0.5")
{
    std::string line;
    for (int i = 0; i < 192; ++i)
        line += value + " ";
    std::string text;
    for (int i = 0; i < count; ++i)
        text += line + "\n";
    return text;
}

std::string v13(const std::string& body) { return "# Kelvorand v13\n\n" + body; }
const std::string complete_body = matrix_rows(16) + grid_lines(3);

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The first grid number replaced by `value`.
std::string with_grid_value(const std::string& value)
{
    return v13(matrix_rows(16) + value + grid_lines(3).substr(3));
}

TEST_F(RegistrationFileTest, ReadResultForEachKindOfFile)
{
    const RegCase cases[] = {
        {"complete version 13", v13(complete_body), 1},
        {"CR LF line ends", replaced(v13(complete_body), "\n", "\r\n"), 1},
        {"CR line ends", replaced(v13(complete_body), "\n", "\r"), 1},
        {"tabs and runs of blanks between and before numbers",
         v13("\t2\t0  0 \t 1\n" + matrix_rows(16).substr(8) + grid_lines(3)), 1},
        {"comments and empty lines between data lines, indented comment",
         v13("# c\n" + matrix_rows(5) + "\n   # indented\n\t#tabbed\n" +
             matrix_rows(16).substr(matrix_rows(5).size()) + "#\n" + grid_lines(3) + "# end\n"),
         1},
        {"numbers after the fourth of a row and the 192nd of a grid are ignored",
         v13(replaced(matrix_rows(16), "\n", " 7 x\n") + replaced(grid_lines(3), "\n", "9 y\n")),
         1},
        {"the second version tag wins", "# Kelvorand v10 or Kelvorand v13\n" + complete_body, 1},
        {"tabs inside the version tag", "#\tKelvorand\tv13\n" + complete_body, 1},
        {"a byte-order mark before the version line", "\xEF\xBB\xBF" + v13(complete_body), 1},
        {"version 10: the line after the matrices is skipped",
         "# Kelvorand v10\n" + matrix_rows(16) + "3 4 5\n" + grid_lines(3), 1},
        {"unversioned: 12 rows, a skipped line, two grids", matrix_rows(12) + "x\n" + grid_lines(2),
         1},

        {"missing grids", v13(matrix_rows(16)), 0},
        {"one grid short", v13(matrix_rows(16) + grid_lines(2)), 0},
        {"version 10 without its extra line", "# Kelvorand v10\n" + complete_body, 0},
        {"empty file", "", 0},
        {"comments only", "# Kelvorand v13\n# nothing\n\n", 0},

        {"a data line after the aspect grid", v13(complete_body + "1 2 3 4\n"), -1,
         "line 22: a data line after the last grid"},
        {"unversioned with a third grid", matrix_rows(12) + "x\n" + grid_lines(3), -1,
         "line 16: a data line after the last grid"},
        {"version tag on the second line does not count",
         "# header\n# Kelvorand v13\n" + complete_body, -1,
         "line 16: 4 numbers where 192 are expected"},
        {"nan in a matrix row", v13("nan 0 0 1\n" + matrix_rows(16).substr(8) + grid_lines(3)), -1,
         "line 3: 'nan' is not a number of the usable range"},
        {"inf in a grid", with_grid_value("inf"), -1,
         "line 19: 'inf' is not a number of the usable range"},
        {"negative infinity spelled out", with_grid_value("-infinity"), -1},
        {"an overflowing number", with_grid_value("1e999"), -1},
        {"a number that later products would overflow", with_grid_value("1e154"), -1},
        {"a number just beyond the float range", with_grid_value("3.5e38"), -1},
        {"letters after a number", with_grid_value("0.5x"), -1},
        {"a decimal comma", with_grid_value("0,5"), -1,
         "line 19: '0,5' is not a number of the usable range"},
        {"three numbers on a row", v13("2 0 0\n" + matrix_rows(16).substr(8) + grid_lines(3)), -1,
         "line 3: 3 numbers where 4 are expected"},
        {"191 numbers on a grid line", v13(matrix_rows(16) + grid_lines(3).substr(4)), -1,
         "line 19: 191 numbers where 192 are expected"},
        {"singular rigid matrix",
         v13("1 2 3 0\n2 4 6 0\n0 0 1 0\n0 0 0 1\n" + matrix_rows(12) + grid_lines(3)), -1,
         "line 6: the rigid matrix has no inverse"},
        {"zero aspect matrix in version 10",
         "# Kelvorand v10\n" + matrix_rows(12) + "0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 1\nx\n" +
             grid_lines(3),
         -1},
    };
    for (const RegCase& c : cases) {
        SCOPED_TRACE(c.why);
        set_registration();
        dir.write("lr-hr.reg", c.text);
        std::string refusal;
        EXPECT_EQ(load_registration_file(state, &refusal), c.expected);
        if (!c.refusal.empty()) {
            EXPECT_EQ(refusal, c.refusal);
        }
        if (c.expected != 1)
            expect_defaults();
    }
    set_registration();
    fs::remove(reg_path());
    EXPECT_EQ(load_registration_file(state), 0) << "no file";
    expect_defaults();

    // What stands in the file's place and cannot be one is refused at once: an endless device,
    // a FIFO without a writer (which would block), a directory.
    fs::create_symlink("/dev/zero", reg_path());
    set_registration();
    EXPECT_EQ(load_registration_file(state), -1) << "a device";
    expect_defaults();
    fs::remove(reg_path());
    ASSERT_EQ(mkfifo(reg_path().c_str(), 0600), 0);
    set_registration();
    EXPECT_EQ(load_registration_file(state), -1) << "a FIFO";
    fs::remove(reg_path());
    fs::create_directory(reg_path());
    std::string refusal;
    EXPECT_EQ(load_registration_file(state, &refusal), -1) << "a directory";
    EXPECT_EQ(refusal, "not a regular file");
    fs::remove(reg_path());
}

TEST_F(RegistrationFileTest, VersionsConvertTheirMatricesDifferently)
{
    const std::string identity = "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n";
    const std::string other = "0 -1 0 5\n1 0 0 6\n0 0 1 7\n0.5 0 0 1\n";
    Matrix4 other_matrix;
    const double other_values[16] = {0, 1, 0, 0.5, -1, 0, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    std::copy(std::begin(other_values), std::end(other_values), other_matrix.m.begin());
    const Matrix4 default_pose = compute_default_pose(state);

    // Version 13: identity means that file coordinates coincide; it is converted like any
    // matrix into the centred frames.
    dir.write("lr-hr.reg", v13(identity + other + other + other + grid_lines(3)));
    ASSERT_EQ(load_registration_file(state), 1);
    expect_matrix_near(state.rigid_transform,
                       product(product(hr().to_centred, identity_matrix()), lr().from_centred),
                       1e-15);
    expect_matrix_near(state.similarity_transform,
                       product(product(hr().to_centred, other_matrix), lr().from_centred), 1e-15);

    // Version 10: identity becomes the default pose; other matrices stay as read, all 16
    // values.
    dir.write("lr-hr.reg", "# Kelvorand v10\n" + identity + other + identity + other + "skip\n" +
                               grid_lines(3, "1.25"));
    ASSERT_EQ(load_registration_file(state), 1);
    expect_matrix_near(state.rigid_transform, default_pose, 0.0);
    expect_matrix_near(state.similarity_transform, other_matrix, 0.0);
    expect_matrix_near(state.affine_transform, default_pose, 0.0);
    expect_matrix_near(state.aspect_transform, other_matrix, 0.0);
    EXPECT_EQ(state.aspect_ffd_grid.values[191], 1.25);

    // Unversioned: no aspect matrix or grid; the aspect family gets the default pose and the
    // aspect grid the undeformed lattice.
    set_registration();
    dir.write("lr-hr.reg",
              other + other + other + "skip\n" + grid_lines(1, "2") + grid_lines(1, "3"));
    ASSERT_EQ(load_registration_file(state), 1);
    expect_matrix_near(state.rigid_transform, other_matrix, 0.0);
    expect_matrix_near(state.aspect_transform, default_pose, 0.0);
    EXPECT_EQ(state.similarity_ffd_grid.values[0], 2.0);
    EXPECT_EQ(state.affine_ffd_grid.values[0], 3.0);
    FfdGrid lattice;
    reset_ffd_grid(state, lattice);
    expect_grid_near(state.aspect_ffd_grid, lattice, 0.0);
}

TEST_F(RegistrationFileTest, ResultFilesAreReadOnlyWhenWholeAndRightSized)
{
    const std::vector<Point3> as_read = lr().positions;
    std::vector<Point3> moved = as_read;
    for (Point3& p : moved)
        p = p + Point3{0.5, 0.25, -0.125};
    ASSERT_TRUE(write_breg_file(dir.file("lr-hr-sim_lad.breg"), 4, moved));
    ASSERT_TRUE(write_breg_file(dir.file("lr-hr-sim_ssm.breg"), 4, moved));
    ASSERT_TRUE(write_breg_file(dir.file("lr-hr-aspect_lad.breg"), 3, moved)); // other count
    dir.write("lr-hr-aff_lad.breg", read_file(dir.file("lr-hr-sim_lad.breg")) + "1234");
    dir.write("lr-hr-sim_tps.breg", std::string(48, '\0'));
    {
        std::fstream file(dir.file("lr-hr-sim_tps.breg"),
                          std::ios::in | std::ios::out | std::ios::binary);
        const unsigned char nan_bytes[4] = {0x00, 0x00, 0xC0, 0x7F};
        file.seekp(16);
        file.write(reinterpret_cast<const char*>(nan_bytes), 4);
    }

    // A registration file that ends early: no result file is read.
    dir.write("lr-hr.reg", v13(matrix_rows(16)));
    ASSERT_EQ(load_registration_file(state), 0);
    EXPECT_EQ(stored_result_view(lr(), similarity_lad)->at(0).x, as_read[0].x);

    dir.write("lr-hr.reg", v13(complete_body));
    ASSERT_EQ(load_registration_file(state), 1);
    EXPECT_DOUBLE_EQ(lr().sim_lad_positions[3].x, static_cast<float>(moved[3].x));
    EXPECT_DOUBLE_EQ(lr().sim_ssm_positions[0].z, static_cast<float>(moved[0].z));
    // The refused files leave their shapes as they were: the positions as read.
    for (const int type : {aspect_lad, affine_lad, similarity_tps}) {
        const std::vector<Point3>& kept = *stored_result_view(lr(), type);
        ASSERT_EQ(kept.size(), as_read.size());
        for (std::size_t i = 0; i < as_read.size(); ++i)
            EXPECT_EQ(kept[i].x, as_read[i].x) << "type " << type << " vertex " << i;
    }
}

TEST_F(RegistrationFileTest, FailedSavesKeepTheUnsavedFlags)
{
    StatusCapture status;
    state.registration_unsaved = true;
    state.result_unsaved[result_similarity_lad] = true;
    state.result_unsaved[result_similarity_tps] = true;

    // Cannot open: a directory stands where the file should be.
    fs::create_directory(reg_path());
    EXPECT_FALSE(save_registration(state));
    EXPECT_EQ(status.last(), "Could not write reg file");
    fs::remove(reg_path());

    // Opens, but the data never reach the disk.
    fs::create_symlink("/dev/full", reg_path());
    EXPECT_FALSE(save_registration(state));
    EXPECT_EQ(status.last(), "Could not write reg file");
    EXPECT_TRUE(state.registration_unsaved);
    EXPECT_TRUE(state.result_unsaved[result_similarity_lad]);
    EXPECT_FALSE(fs::exists(dir.file("lr-hr-sim_lad.breg"))) << "no result file after a failure";
    fs::remove(reg_path());

    // A result file that cannot be written is named and stays unsaved, and so does the
    // registration, so that quitting still asks; the other result is saved.
    fs::create_directory(dir.file("lr-hr-sim_tps.breg"));
    EXPECT_FALSE(save_registration(state));
    EXPECT_EQ(status.last(),
              "Registration file saved, but could not write result file lr-hr-sim_tps.breg");
    EXPECT_TRUE(fs::exists(reg_path()));
    EXPECT_TRUE(fs::exists(dir.file("lr-hr-sim_lad.breg")));
    EXPECT_FALSE(state.result_unsaved[result_similarity_lad]);
    EXPECT_TRUE(state.result_unsaved[result_similarity_tps]);
    EXPECT_TRUE(state.registration_unsaved);

    state.result_unsaved[result_similarity_ssm] = true;
    fs::create_symlink("/dev/full", dir.file("lr-hr-sim_ssm.breg"));
    EXPECT_FALSE(save_registration(state));
    EXPECT_EQ(status.last(), "Registration file saved, but could not write result files "
                             "lr-hr-sim_tps.breg, lr-hr-sim_ssm.breg");

    // Nothing to save.
    lr().clear();
    fs::remove(reg_path());
    EXPECT_FALSE(save_registration(state));
    EXPECT_EQ(status.last(), "Need LR and HR surfaces");
    EXPECT_FALSE(fs::exists(reg_path()));
}

TEST_F(RegistrationFileTest, RawRowsGiveTheMatrixOfTheLastFourRows)
{
    ASSERT_TRUE(save_registration(state));
    bool ok = false;
    const Matrix4 similarity = read_reg_rows(reg_path(), 8, ok);
    EXPECT_TRUE(ok);
    expect_matrix_near(
        similarity,
        product(product(hr().from_centred, state.similarity_transform), lr().to_centred), 1e-6);
    const Matrix4 aspect = read_reg_rows(reg_path(), 16, ok);
    EXPECT_TRUE(ok);
    EXPECT_NEAR(linear_determinant(aspect), linear_determinant(state.aspect_transform), 1e-5);

    struct RowsCase {
        const char* why;
        std::string text;
        int rows;
        bool ok;
    };
    const RowsCase cases[] = {
        {"fewer rows than asked", matrix_rows(7), 8, false},
        {"a bad token within the rows", matrix_rows(5) + "1 2 nan 4\n" + matrix_rows(2), 8, false},
        {"a bad token after the rows is not reached", matrix_rows(4) + "x\n", 4, true},
        {"a singular matrix", matrix_rows(4) + "0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 1\n", 8, false},
        {"zero rows", "", 0, true},
    };
    for (const RowsCase& c : cases) {
        SCOPED_TRACE(c.why);
        dir.write("lr-hr.reg", c.text);
        read_reg_rows(reg_path(), c.rows, ok);
        EXPECT_EQ(ok, c.ok);
    }
    read_reg_rows(dir.file("missing.reg"), 0, ok);
    EXPECT_FALSE(ok);
}

TEST_F(RegistrationFileTest, GermanLocaleStillUsesDecimalPoints)
{
    const Matrix4 rigid = state.rigid_transform;
    std::string text;
    {
        GermanLocale german;
        if (!german.active())
            GTEST_SKIP() << "de_DE.UTF-8 is not installed";
        ASSERT_TRUE(save_registration(state));
        text = read_file(reg_path());
        state.rigid_transform = identity_matrix();
        ASSERT_EQ(load_registration_file(state), 1);
    }
    EXPECT_NE(text.find("0.000000 0.000000 0.000000 1.000000\n"), std::string::npos);
    EXPECT_EQ(text.find(','), std::string::npos);
    expect_matrix_near(state.rigid_transform, rigid, 1e-6);
}

} // namespace
