// Every writer on a full disk: the save fails, the file it would replace stays whole and no
// temporary is left behind; with room again the same save goes through.
#include "registration/map_files.h"
#include "registration/registration_file.h"
#include "registration/registration_type.h"
#include "registration/result_file.h"
#include "state/working_state.h"
#include "surface/ply_surface_writer.h"
#include "surface/surface_data_file.h"
#include "surface/whole_file.h"
#include "tests/fixtures/full_device.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"
#include "utilities/batch_writer.h"
#include "utilities/shape_model.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <ostream>

namespace {

struct Writer {
    const char* what;
    const char* target; // the file name the writer writes in the device's directory
    std::function<bool(WorkingState&, const std::string& path)> write;
};

ShapeModel small_model(std::size_t coordinates)
{
    ShapeModel model;
    model.mean.assign(coordinates, 1.0f);
    model.variances = {4.0f, 1.0f};
    model.modes.assign(coordinates, {0.5f, -0.5f});
    return model;
}

const Writer writers[] = {
    {"registration file", "lr-hr.reg",
     [](WorkingState& state, const std::string&) { return save_registration(state); }},
    {"result file", "result.breg",
     [](WorkingState& state, const std::string& path) {
         return write_breg_file(path, state.lr_surface->vertex_count, state.lr_surface->positions);
     }},
    {"PLY surface", "surface.ply",
     [](WorkingState& state, const std::string& path) {
         const Surface& lr = *state.lr_surface;
         return write_ply_surface(path, {{"made for a test"}, lr.positions, lr.triangles},
                                  "Could not write");
     }},
    {"data file", "thickness.bin",
     [](WorkingState&, const std::string& path) {
         return write_data_values(path, {1.0, 2.5, -3.0}, data_header(-3.0, 2.5, "mm"));
     }},
    {"LR-HR map", "map.csv",
     [](WorkingState& state, const std::string& path) {
         return write_lr_hr_map(*state.lr_surface, *state.hr_surface, path, 1.0, false);
     }},
    {"mapped landmarks (appended)", "lr-mapped_landmarks.ply",
     [](WorkingState& state, const std::string&) {
         return append_mapped_landmarks(state, similarity);
     }},
    {"batch file", "register.run",
     [](WorkingState& state, const std::string&) {
         return write_register_batch_file(state, "register.run", aspect_preset);
     }},
    {"shape model file", "model.ssm",
     [](WorkingState& state, const std::string& path) {
         return write_ssm_file(
             path, small_model(3 * static_cast<std::size_t>(state.lr_surface->vertex_count)));
     }},
    {"any whole file", "plain.txt",
     [](WorkingState&, const std::string& path) { return write_whole_file(path, "text\n"); }},
};

// Names the row in test output.
void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.what; }

class FullDeviceWriters : public ::testing::TestWithParam<Writer> {
protected:
    void SetUp() override
    {
        const Mesh grid = flat_grid(4.0, 3);
        load_pair(state, grid, grid);
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        lr.path_stem = device.file("lr");
        lr.name = "lr";
        lr.file_type = ".ply";
        hr.name = "hr";
        lr.match_index.assign(lr.positions.size(), 0);
        lr.match_distance2.assign(lr.positions.size(), 0.0);
        Landmark tip;
        tip.name = "tip";
        tip.triangle = hr.triangles[0].vertex;
        tip.position = hr.positions[static_cast<std::size_t>(tip.triangle[0])];
        hr.landmarks = {tip};
    }

    FullDevice device;
    StatusCapture status;
    WorkingState state;
};

TEST_P(FullDeviceWriters, FailedSaveKeepsTheOldFileAndLeavesNoTemporary)
{
    const Writer& writer = GetParam();
    const std::string path = device.file(writer.target);
    SCOPED_TRACE(device.kind());

    // Nothing there yet: nothing is left.
    device.fill();
    EXPECT_FALSE(writer.write(state, path));
    device.empty();
    EXPECT_EQ(device.names(), std::vector<std::string>{});

    const std::string old = "an older file of the same name, which must survive\n";
    device.write(writer.target, old);
    device.fill();
    EXPECT_FALSE(writer.write(state, path));
    device.empty();
    EXPECT_EQ(read_file(path), old);
    EXPECT_EQ(device.names(), std::vector<std::string>{writer.target});

    // With room again the same save replaces it.
    ASSERT_TRUE(writer.write(state, path));
    const std::string written = read_file(path);
    EXPECT_NE(written, old);
    EXPECT_EQ(device.names(), std::vector<std::string>{writer.target});
    if (std::string(writer.target) == "lr-mapped_landmarks.ply") {
        EXPECT_EQ(written.compare(0, old.size(), old), 0) << "an append keeps what was there";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, FullDeviceWriters, ::testing::ValuesIn(writers),
                         [](const ::testing::TestParamInfo<Writer>& param_info) {
                             std::string name;
                             for (const char c : std::string(param_info.param.what))
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name;
                         });

} // namespace
