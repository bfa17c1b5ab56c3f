// The shape model file and the LR shapes a model shows: which files are taken, what a read
// leaves behind, and the whole-unit steps along a mode.
#include "utilities/shape_model.h"

#include "state/working_state.h"
#include "surface/float_bytes.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

void put_uint32(std::string& bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(static_cast<unsigned char>(value >> (8 * i))));
}

void put_floats(std::string& bytes, std::size_t count, float first, float step)
{
    for (std::size_t i = 0; i < count; ++i) {
        char four[4];
        put_float(four, first + step * static_cast<float>(i));
        bytes.append(four, 4);
    }
}

// A model file with header (rows, modes) and rows_written x modes mode entries.
std::string model_bytes(std::int32_t rows, std::uint32_t modes, std::size_t rows_written,
                        float variance = 4.0f)
{
    std::string bytes;
    put_uint32(bytes, static_cast<std::uint32_t>(rows));
    put_uint32(bytes, modes);
    put_floats(bytes, static_cast<std::size_t>(std::max(rows, 0)), 1.0f, 0.5f);
    put_floats(bytes, modes, variance, 0.0f);
    put_floats(bytes, rows_written * modes, -1.0f, 0.25f);
    return bytes;
}

// A state whose LR surface is an octahedron (6 vertices) at path stem `stem`.
void set_octahedron(WorkingState& state, const std::string& stem)
{
    fill_surface_with_normals(*state.lr_surface, octahedron(5.0));
    state.lr_surface->path_stem = stem;
}

// A model of the octahedron: mean at the vertices, mode 1 moves every coordinate by +1, mode 2
// only x of vertex 0 by -1.
ShapeModel octahedron_model(float variance1, float variance2)
{
    ShapeModel model;
    for (const Point3& p : octahedron(5.0).positions)
        model.mean.insert(model.mean.end(), {static_cast<float>(p.x), static_cast<float>(p.y),
                                             static_cast<float>(p.z)});
    model.variances = {variance1, variance2};
    model.modes.assign(18, {1.0f, 0.0f});
    model.modes[0][1] = -1.0f;
    return model;
}

} // namespace

TEST(ShapeModelFile, WhichFilesAreTaken)
{
    TempDirectory dir;
    const std::int32_t r = 18; // six vertices
    std::string nan_mean = model_bytes(r, 2, r);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    put_float(&nan_mean[8 + 4 * 3], nan);
    std::string huge_modes = model_bytes(r, 2, r);
    huge_modes[4] = huge_modes[5] = huge_modes[6] = '\0';
    huge_modes[7] = '\x10'; // 2^28 modes
    std::string beyond_int = model_bytes(r, 2, r);
    beyond_int[7] = '\x80';
    // Three standard deviations (6) along this mode take a coordinate beyond the float range.
    std::string huge_mode = model_bytes(r, 2, r);
    put_float(&huge_mode[8 + 4 * (r + 2)], 1e38f);
    struct Case {
        const char* why;
        std::string bytes;
        std::string refusal; // "" = taken
    };
    const std::string header_short = "it is too short for a header";
    const std::string other_size = "it is not made for as many vertices as the LR surface has";
    const std::string mode_count = "its mode count is not between 2 and 2147483647";
    const std::string too_short = "it is shorter than its header says";
    const Case cases[] = {
        {"two modes, complete", model_bytes(r, 2, r), ""},
        {"a single mode is no model", model_bytes(r, 1, r), mode_count},
        {"bytes after the model are ignored", model_bytes(r, 2, r) + "trailing", ""},
        {"one float short", model_bytes(r, 2, r).substr(0, 8 + 4 * (r + 2 + 2 * r) - 4), too_short},
        {"rows for another vertex count", model_bytes(r + 3, 2, r + 3), other_size},
        {"a negative row count", model_bytes(-r, 2, 0), other_size},
        {"only a header", model_bytes(r, 2, 0).substr(0, 8), too_short},
        {"fewer than four bytes", "\x12\x00", header_short},
        // A mode count that would ask for gigabytes is refused by the file length, not by the
        // allocator.
        {"a huge mode count in a short file", huge_modes, too_short},
        {"a mode count beyond the slider's range", beyond_int, mode_count},
        {"a mean that is not a number", nan_mean, "it holds a value that is not a finite number"},
        {"a negative variance", model_bytes(r, 2, r, -1.0f), "it holds a negative variance"},
        {"a mode whose shapes leave the float range", huge_mode,
         "its shapes leave the range of coordinates the program can use"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WorkingState state;
        set_octahedron(state, dir.file("bone"));
        state.lr_surface->name = "bone";
        dir.write("bone.ssm", c.bytes);
        const bool taken = c.refusal.empty();
        std::string refusal;
        EXPECT_EQ(load_ssm_file(state, refusal), taken);
        EXPECT_EQ(refusal, taken ? "" : "Could not read shape model file bone.ssm: " + c.refusal);
        EXPECT_EQ(state.has_shape_model(), taken);
        if (taken) {
            EXPECT_EQ(state.ssm_mode_count, 2);
            ASSERT_EQ(state.ssm_mean.size(), 18u);
            EXPECT_EQ(state.ssm_mean[17], 1.0f + 0.5f * 17);
            EXPECT_EQ(state.ssm_variances, (std::vector<float>{4.0f, 4.0f}));
            ASSERT_EQ(state.ssm_modes.size(), 18u);
            EXPECT_EQ(state.ssm_modes[17], (std::vector<float>{-1.0f + 0.25f * 34, 7.75f}));
        } else {
            EXPECT_TRUE(state.ssm_mean.empty() && state.ssm_modes.empty());
        }
    }
    // No file is no model, and nothing to say.
    WorkingState state;
    set_octahedron(state, dir.file("missing"));
    std::string refusal;
    EXPECT_FALSE(load_ssm_file(state, refusal));
    EXPECT_EQ(refusal, "");
}

TEST(ShapeModelFile, WrittenModelReadsBackWhole)
{
    TempDirectory dir;
    const ShapeModel written = octahedron_model(2.5f, 0.125f);
    ASSERT_TRUE(write_ssm_file(dir.file("m.ssm"), written));
    EXPECT_EQ(read_file(dir.file("m.ssm")).size(), 8u + 4 * (18 + 2 + 18 * 2));
    ShapeModel read;
    ASSERT_TRUE(read_ssm_file(dir.file("m.ssm"), 18, read));
    EXPECT_EQ(read.mean, written.mean);
    EXPECT_EQ(read.variances, written.variances);
    EXPECT_EQ(read.modes, written.modes);

    ShapeModel ragged = written;
    ragged.modes[3].pop_back();
    EXPECT_FALSE(write_ssm_file(dir.file("ragged.ssm"), ragged));
    EXPECT_FALSE(write_ssm_file("/dev/full", written)); // the short write is seen
}

TEST(ShapeModelDisplay, AmplitudeMovesInWholeUnits)
{
    struct Case {
        float variance;
        int position;
        double amplitude;
    };
    const Case cases[] = {
        {4.0f, 50, 3.0},   {4.0f, 10, 0.0},
        {4.0f, -50, -3.0}, {4.0f, 100, 6.0},
        {4.0f, 0, 0.0},    {4.0f, -100, -6.0},
        {0.1f, 100, 0.0},  {0.1f, -100, 0.0},
        {-1.0f, 100, 0.0}, {std::numeric_limits<float>::infinity(), 100, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ssm_amplitude(c.variance, c.position), c.amplitude)
            << c.variance << " at " << c.position;
}

TEST(ShapeModelDisplay, ShapesAlongModesAndTheMean)
{
    WorkingState state;
    set_octahedron(state, "bone");
    install_shape_model(state, octahedron_model(4.0f, 1.0f));
    const std::vector<Point3> mean = octahedron(5.0).positions;

    state.list_dirty.fill(false);
    ASSERT_TRUE(show_shape_on_mode(state, 1, 50)); // 3 units along mode 1
    for (std::size_t v = 0; v < mean.size(); ++v) {
        EXPECT_EQ(state.lr_surface->deformed_positions[v].x, mean[v].x + 3.0);
        EXPECT_EQ(state.lr_surface->deformed_positions[v].z, mean[v].z + 3.0);
    }
    EXPECT_TRUE(state.list_dirty[dirty_lr_plain]);
    // The normals follow the shown shape: a translated octahedron keeps its face directions.
    EXPECT_NEAR(state.lr_surface->deformed_normals[0].x, 1.0, 1e-12);

    ASSERT_TRUE(show_shape_on_mode(state, 2, -100)); // -3 units: vertex 0 moves +3 in x
    EXPECT_EQ(state.lr_surface->deformed_positions[0].x, mean[0].x + 3.0);
    EXPECT_EQ(state.lr_surface->deformed_positions[1].x, mean[1].x);

    ASSERT_TRUE(show_shape_on_mode(state, 1, 0));
    EXPECT_TRUE(same_points(state.lr_surface->deformed_positions, mean));

    const std::vector<Point3> before = state.lr_surface->deformed_positions;
    EXPECT_FALSE(show_shape_on_mode(state, 3, 50));
    EXPECT_FALSE(show_shape_on_mode(state, 0, 50));
    EXPECT_TRUE(same_points(state.lr_surface->deformed_positions, before));

    ASSERT_TRUE(show_shape_on_mode(state, 1, 100));
    ASSERT_TRUE(show_shape_model_mean(state));
    EXPECT_TRUE(same_points(state.lr_surface->deformed_positions, mean));

    // A model of another surface shows nothing on this one.
    fill_surface_with_normals(*state.lr_surface, tetrahedron());
    EXPECT_FALSE(show_shape_on_mode(state, 1, 50));
    EXPECT_FALSE(show_shape_model_mean(state));
    EXPECT_TRUE(same_points(state.lr_surface->deformed_positions, tetrahedron().positions));
}
