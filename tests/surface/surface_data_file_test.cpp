// Surface data files and their error companions: reading, writing, names, and what a load does
// to the working state.
#include "surface/surface_data_file.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/scratch_directory.h"
#include "tests/fixtures/status_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::vector<unsigned char> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<double> ramp(std::size_t count, double start, double step)
{
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = start + step * static_cast<double>(i);
    return values;
}

// LR: an octahedron (6 vertices); HR: a tetrahedron (4 vertices).
class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        fill_surface(*state.lr_surface, octahedron());
        fill_surface(*state.hr_surface, tetrahedron());
    }

    // Loads a file of the scratch directory; the name is the file name.
    DataFileLoad load(const std::string& name, int target)
    {
        return load_data_file(state, scratch.file(name), name, target);
    }

    ScratchDirectory scratch;
    StatusCapture status;
    WorkingState state;
};

TEST(DataFileNames, ErrorCompanionAndKindEnding)
{
    struct Case {
        const char* data;
        const char* companion;
        std::size_t kind; // kind ending of the name without ".bin"
    };
    const Case cases[] = {
        {"/d/a_dat.bin", "/d/a_err.bin", 4},
        {"/d/a_thickness.bin", "/d/a_thick_err.bin", 10},
        // Both "_trab_density.bin" and "_density.bin" occur once: the first rule wins.
        {"/d/a_trab_density.bin", "/d/a_trab_density_err.bin", 13},
        // The density companion deliberately shares the thickness ending.
        {"/d/a_density.bin", "/d/a_thick_err.bin", 8},
        {"/d/a.bin", "", 0},
        // A pattern occurring twice is passed over for the next rule.
        {"/d_dat.bin/a_dat.bin", "", 4},
        // The patterns are sought in the whole path, directories included.
        {"/d_dat.bin/a_thickness.bin", "/d_err.bin/a_thickness.bin", 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(error_companion_name(c.data), c.companion) << c.data;
        const std::string stem = std::string(c.data).substr(0, std::string(c.data).size() - 4);
        EXPECT_EQ(kind_ending_length(stem), c.kind) << c.data;
    }
    EXPECT_TRUE(data_file_has_header("x_dat.bin"));
    EXPECT_FALSE(data_file_has_header("x_dat.bin.old"));
}

TEST_F(DataFileTest, SavedDataReadsBackWithHeaderAndError)
{
    Surface& lr = *state.lr_surface;
    lr.data = ramp(6, -1.5, 0.25);
    lr.sigma = ramp(6, 0.1, 0.1);
    lr.hr_smoothing_steps = 2;
    lr.smoothing_steps = 3;
    state.lr_data_loaded = true;
    state.lr_data_name = scratch.file("bone_dat");
    state.data_min = -2.5;
    state.data_max = 7.25;
    state.data_units = "g/cm\xc2\xb3"; // "cm" with a superscript three: not ASCII

    ASSERT_TRUE(save_lr_data(state));
    EXPECT_EQ(status.last(), "Wrote LR data");
    const std::string saved = scratch.file("bone_2HR_3LR_dat.bin");
    const std::vector<unsigned char> bytes = read_bytes(saved);
    ASSERT_EQ(bytes.size(), 256u + 6 * 8);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 21), "g/cm?");
    EXPECT_EQ(bytes[21], 0);
    EXPECT_EQ(read_bytes(scratch.file("bone_2HR_3LR_err.bin")).size(), 6u * 8);

    // Read it back onto fresh state (the LR surface is the only one of 6 vertices).
    WorkingState fresh;
    fill_surface(*fresh.lr_surface, octahedron());
    fill_surface(*fresh.hr_surface, tetrahedron());
    const DataFileLoad result = load_data_file(fresh, saved, "bone_2HR_3LR_dat.bin", 2);
    ASSERT_TRUE(result.loaded);
    EXPECT_EQ(status.last(), "Loaded LR data and error");
    EXPECT_EQ(fresh.lr_surface->data, lr.data);
    EXPECT_EQ(fresh.lr_surface->sigma, lr.sigma);
    EXPECT_EQ(fresh.data_min, -2.5);
    EXPECT_EQ(fresh.data_max, 7.25);
    EXPECT_EQ(fresh.data_units, "g/cm?");
    EXPECT_TRUE(result.units_changed);
    EXPECT_TRUE(fresh.lr_data_loaded);
    EXPECT_EQ(fresh.lr_data_name, scratch.file("bone_2HR_3LR_dat"));
    EXPECT_EQ(fresh.lr_surface->smoothing_steps, 0);
}

TEST_F(DataFileTest, SavedNamesCarryTheSmoothingCounts)
{
    Surface& lr = *state.lr_surface;
    state.lr_data_loaded = true;

    state.lr_data_name = scratch.file("bone_thickness");
    lr.hr_smoothing_steps = 2;
    lr.smoothing_steps = 3;
    ASSERT_TRUE(save_lr_data(state));
    EXPECT_EQ(read_bytes(scratch.file("bone_2HR_3LR_thickness.bin")).size(), 48u);
    EXPECT_EQ(read_bytes(scratch.file("bone_2HR_3LR_thick_err.bin")).size(), 48u);

    // No kind ending: the count goes last, and there is no companion.
    state.lr_data_name = scratch.file("plain");
    lr.hr_smoothing_steps = 0;
    lr.smoothing_steps = 1;
    EXPECT_EQ(saved_lr_data_name(state), scratch.file("plain_1LR.bin"));
    lr.smoothing_steps = 0;
    ASSERT_TRUE(save_lr_data(state));
    EXPECT_EQ(read_bytes(scratch.file("plain.bin")).size(), 48u);
    EXPECT_EQ(read_bytes(scratch.file("plain.bin")).front(), 0); // no header: data 0 first
}

TEST_F(DataFileTest, SaveFailuresAreReported)
{
    state.lr_data_name = scratch.file("bone_thickness");
    EXPECT_FALSE(save_lr_data(state));
    EXPECT_EQ(status.last(), "Need LR data");

    // Data or error file that cannot be created, or not written to the end.
    std::filesystem::create_symlink("/dev/full", scratch.file("full_thickness.bin"));
    std::filesystem::create_directory(scratch.file("taken_thick_err.bin"));
    state.lr_data_loaded = true;
    for (const char* stem : {"missing/bone_thickness", "full_thickness", "taken_thickness"}) {
        state.lr_data_name = scratch.file(stem);
        EXPECT_FALSE(save_lr_data(state)) << stem;
        EXPECT_EQ(status.last(), "Could not write LR data file") << stem;
    }
}

TEST_F(DataFileTest, MalformedFilesAreRefusedAndChangeNothing)
{
    // Good LR data first, to check that the failures leave them alone.
    write_bytes(scratch.file("good_thickness.bin"), std::vector<unsigned char>(6 * 8, 0));
    ASSERT_TRUE(load("good_thickness.bin", 0).loaded);
    state.lr_surface->data[2] = 42.0;

    const std::vector<unsigned char> header(256, 0);
    struct Case {
        const char* why;
        const char* name;
        std::size_t bytes; // file length; 0 with create false means no file at all
        bool create;
        int target;
        const char* message;
    };
    const Case cases[] = {
        {"no such file", "none.bin", 0, false, 2,
         "Could not open bin file: none.bin: No such file or directory"},
        {"a directory", "folder.bin", 0, false, 2,
         "Could not open bin file: folder.bin: not a regular file"},
        {"odd length", "odd.bin", 6 * 8 + 4, true, 0,
         "Binary file does not contain a whole number of doubles: odd.bin: 52 bytes"},
        {"header expected but missing", "short_dat.bin", 6 * 8, true, 0,
         "Binary file does not match LR surface: short_dat.bin: shorter than its 256-byte header"},
        {"shorter than the header, LR", "tiny_dat.bin", 8, true, 0,
         "Binary file does not match LR surface: tiny_dat.bin: shorter than its 256-byte header"},
        {"shorter than the header, HR", "tiny_dat.bin", 8, true, 1,
         "Binary file does not match HR surface: tiny_dat.bin: shorter than its 256-byte header"},
        {"shorter than the header, either", "tiny_dat.bin", 8, true, 2,
         "Binary file does not match either surface: tiny_dat.bin: shorter than its 256-byte "
         "header"},
        {"LR count on HR", "lr.bin", 6 * 8, true, 1,
         "Binary file does not match HR surface: lr.bin: 6 values for 4 HR vertices"},
        {"neither count", "seven.bin", 7 * 8, true, 2,
         "Binary file does not match either surface: seven.bin: 7 values for 6 LR or 4 HR "
         "vertices"},
    };
    std::filesystem::create_directory(scratch.file("folder.bin"));
    for (const Case& c : cases) {
        if (c.create)
            write_bytes(scratch.file(c.name), std::vector<unsigned char>(c.bytes, 0x11));
        const DataFileLoad result = load(c.name, c.target);
        EXPECT_FALSE(result.loaded) << c.why;
        EXPECT_EQ(status.last(), c.message) << c.why;
    }
    EXPECT_EQ(state.lr_surface->data[2], 42.0);
    EXPECT_EQ(state.lr_data_name, scratch.file("good_thickness"));
    EXPECT_EQ(state.data_units, "mm");
}

TEST_F(DataFileTest, SurfaceWithoutVerticesMatchesNoFile)
{
    state.lr_surface->clear();
    state.hr_surface->clear();
    write_bytes(scratch.file("empty.bin"), {});
    EXPECT_FALSE(load("empty.bin", 0).loaded);
    EXPECT_EQ(status.last(), "Binary file does not match LR surface: empty.bin: 0 values for 0 LR "
                             "vertices");
    EXPECT_FALSE(load("empty.bin", 2).loaded);
    EXPECT_EQ(status.last(), "Binary file does not match either surface: empty.bin: 0 values for "
                             "0 LR or 0 HR vertices");
    EXPECT_FALSE(state.lr_data_loaded);
}

TEST_F(DataFileTest, UnitsAndRangeFollowTheNameWithoutHeader)
{
    struct Case {
        const char* name;
        const char* units;
        double maximum;
    };
    const Case cases[] = {{"a_density.bin", "HU", 2000.0},
                          {"a_trab_density.bin", "HU", 2000.0},
                          {"a_thickness.bin", "mm", 6.0},
                          {"a.bin", "mm", 6.0}};
    for (const Case& c : cases) {
        write_bytes(scratch.file(c.name), std::vector<unsigned char>(4 * 8, 0));
        ASSERT_TRUE(load(c.name, 1).loaded) << c.name;
        EXPECT_EQ(state.data_units, c.units) << c.name;
        EXPECT_EQ(state.data_min, 0.0) << c.name;
        EXPECT_EQ(state.data_max, c.maximum) << c.name;
        EXPECT_EQ(state.hr_data_name, std::string(c.name).substr(0, std::strlen(c.name) - 4));
    }
}

TEST_F(DataFileTest, EqualCountsFillLrFirstThenHr)
{
    fill_surface(*state.hr_surface, octahedron());
    write_bytes(scratch.file("a.bin"), std::vector<unsigned char>(6 * 8, 0));
    DataFileLoad first = load("a.bin", 2);
    EXPECT_EQ(status.last(), "Loaded LR data");
    EXPECT_FALSE(first.build_hr_data_list);
    EXPECT_TRUE(state.lr_data_loaded);
    DataFileLoad second = load("a.bin", 2);
    EXPECT_EQ(status.last(), "Loaded HR data");
    EXPECT_TRUE(second.build_hr_data_list);
    EXPECT_FALSE(second.units_changed);
}

TEST_F(DataFileTest, ErrorCompanionAndNonPositiveThickness)
{
    std::vector<double> values = ramp(6, 1.0, 1.0);
    values[3] = 0.0;
    ASSERT_TRUE(write_data_values(scratch.file("b_thickness.bin"), values));
    ASSERT_TRUE(write_data_values(scratch.file("b_thick_err.bin"), ramp(6, 0.5, 0.0)));
    state.lr_surface->smoothing_steps = 5;
    state.lr_surface->hr_smoothing_steps = 4;
    ASSERT_TRUE(load("b_thickness.bin", 0).loaded);
    EXPECT_EQ(status.last(), "Loaded LR data (some <=0)  and error");
    EXPECT_EQ(state.lr_surface->sigma, ramp(6, 0.5, 0.0));
    EXPECT_EQ(state.lr_surface->smoothing_steps, 0);
    EXPECT_EQ(state.lr_surface->hr_smoothing_steps, 0);

    // A companion of the wrong length is ignored: sigma 1, no " and error". The zero value
    // still has a finite error then.
    ASSERT_TRUE(write_data_values(scratch.file("b_thick_err.bin"), ramp(5, 0.5, 0.0)));
    ASSERT_TRUE(load("b_thickness.bin", 0).loaded);
    EXPECT_EQ(status.last(), "Loaded LR data (some <=0) ");
    EXPECT_EQ(state.lr_surface->sigma, std::vector<double>(6, 1.0));

    // Without data (sigma 1e10) a zero value is not worth the warning.
    std::vector<double> sigma(6, 1.0);
    sigma[3] = missing_value;
    ASSERT_TRUE(write_data_values(scratch.file("b_thick_err.bin"), sigma));
    ASSERT_TRUE(load("b_thickness.bin", 0).loaded);
    EXPECT_EQ(status.last(), "Loaded LR data and error");
}

TEST_F(DataFileTest, UnitsChangeDropsTheOtherSurfaceData)
{
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    write_bytes(scratch.file("a_thickness.bin"), std::vector<unsigned char>(6 * 8, 0));
    write_bytes(scratch.file("a_density.bin"), std::vector<unsigned char>(4 * 8, 0));

    // LR in mm, then HR in HU: the LR data and both error lists go.
    ASSERT_TRUE(load("a_thickness.bin", 0).loaded);
    lr.data_list = 11;
    lr.abs_error_list = 12;
    lr.signed_error_list = 0;
    state.colour_gain = 3.0;
    const DataFileLoad hu = load("a_density.bin", 1);
    ASSERT_TRUE(hu.loaded);
    EXPECT_TRUE(hu.units_changed);
    EXPECT_FALSE(state.lr_data_loaded);
    EXPECT_EQ(hu.deleted_lists, (std::vector<std::uint32_t>{11, 12}));
    EXPECT_EQ(lr.data_list, 0u);
    EXPECT_EQ(lr.abs_error_list, 0u);
    EXPECT_EQ(state.colour_gain, 1.0);
    EXPECT_EQ(state.data_units, "HU");

    // HR data shown (its list exists), then LR data in mm: the HR list goes.
    hr.data_list = 21;
    lr.signed_error_list = 23;
    const DataFileLoad mm = load("a_thickness.bin", 0);
    ASSERT_TRUE(mm.loaded);
    EXPECT_EQ(mm.deleted_lists, (std::vector<std::uint32_t>{21, 23}));
    EXPECT_EQ(hr.data_list, 0u);
    EXPECT_FALSE(mm.build_hr_data_list);

    // Same units again: nothing is dropped, the HR list is rebuilt for the new range.
    hr.data_list = 31;
    const DataFileLoad again = load("a_thickness.bin", 0);
    EXPECT_FALSE(again.units_changed);
    EXPECT_TRUE(again.deleted_lists.empty());
    EXPECT_TRUE(again.build_hr_data_list);
}

TEST_F(DataFileTest, HeaderUnitsFillingAllBytesAreReadWhole)
{
    std::vector<unsigned char> bytes = data_header(1.0, 2.0, std::string(300, 'u'));
    EXPECT_EQ(bytes.size(), 256u);
    EXPECT_EQ(bytes[255], 'u');
    bytes.resize(256 + 6 * 8, 0);
    write_bytes(scratch.file("full_dat.bin"), bytes);
    ASSERT_TRUE(load("full_dat.bin", 0).loaded);
    EXPECT_EQ(state.data_units, std::string(240, 'u'));
}

} // namespace
