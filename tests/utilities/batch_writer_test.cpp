// The batch file writer on a generated working directory: which files it finds, the layout it
// writes, and that what it writes reads back as the jobs it meant.
#include "utilities/batch_writer.h"

#include "app/working_state.h"
#include "tests/fixtures/status_capture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A working directory (with a blank in its path) holding surfaces, data files and others.
class BatchWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kelvorand writer XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        for (const char* name :
             {"femur_left.ply", "10_right.ply", "2_right.ply", "my bone.wrl", ".hidden.ply",
              "bone.PLY", "2_right_thickness.bin", "2_right_thickness_err.bin",
              "10_right_thickness.bin", "10_right_thickness.BIN", "10_right_a_mapped_with_b.bin",
              "2_right_b_painted_with_c.bin", "femur_left_density.bin", "notes.txt",
              // The program's own outputs get no job: they could only fail or mislead.
              "femur_left-mapped_landmarks.ply", "2_right-resaved.ply",
              "femur_left-2_right-aspect.ply", "femur_left-ssm_0_1.ply"})
            std::ofstream(directory + "/" + name).put('\n');
        state.lr_surface->name = "femur_left";
        state.lr_surface->file_type = ".ply";
        state.lr_surface->path_stem = directory + "/femur_left";
        state.lr_surface->vertex_count = 3;
    }
    void TearDown() override { std::system(("rm -rf '" + directory + "'").c_str()); }

    std::string file(const char* name) const { return directory + "/" + name; }

    std::string directory;
    WorkingState state;
};

// The file's columns are wider than a source line.
// clang-format off
const char* const aspect_body =
    "\n"
    "# LR surface   , HR surface     , LR data , HR data , reflect , smth LR , smth HR , range , fussy   , n iter , reg type , save reg , save LR data , save map , review      , rims        , save HR\n"
    "#              ,                ,         ,         ,         ,         ,         ,       , -1=auto ,        , -=as->sm ,          , -1 = no      ,          , 0 = no      , 0 = no      , surface\n"
    "#              ,                ,         ,         ,         ,         ,         ,       ,         ,        ,          ,          , 0 = yes      ,          , 1-6 = angle , 1 = yes     ,        \n"
    "#              ,                ,         ,         ,         ,         ,         ,       ,         ,        ,          ,          , >0 = smth    ,          , - = LR only , 2 = to rims ,        \n"
    "\n"
    "femur_left.ply , .hidden.ply    , n/a     , n/a     , 0       , 0       , 0       , 999   , 0       , 200    , 7        , 1        , -1           , 0        , 0           , 1           , 0      \n"
    "femur_left.ply , 2_right.ply    , n/a     , n/a     , 1       , 0       , 0       , 999   , 0       , 200    , 7        , 1        , -1           , 0        , 0           , 1           , 0      \n"
    "femur_left.ply , 10_right.ply   , n/a     , n/a     , 1       , 0       , 0       , 999   , 0       , 200    , 7        , 1        , -1           , 0        , 0           , 1           , 0      \n"
    "femur_left.ply , femur_left.ply , n/a     , n/a     , 0       , 0       , 0       , 999   , 0       , 200    , 7        , 1        , -1           , 0        , 0           , 1           , 0      \n"
    "femur_left.ply , \"my bone.wrl\"  , n/a     , n/a     , 0       , 0       , 0       , 999   , 0       , 200    , 7        , 1        , -1           , 0        , 0           , 1           , 0      \n";
// clang-format on

TEST_F(BatchWriter, DefaultsWriteTheLayoutForEveryFoundSurface)
{
    ASSERT_TRUE(write_batch_files(state, true, {}));
    for (const char* name :
         {"auto_register_aspect.run", "auto_register_LAD.run", "auto_register_review.run",
          "auto_map_thickness.run", "auto_map_density.run"})
        EXPECT_TRUE(exists(file(name))) << name;
    EXPECT_FALSE(exists(file("auto_register_custom.run")));
    EXPECT_FALSE(exists(file("auto_map_thickness_err.run")));
    EXPECT_FALSE(exists(file("auto_map_a_mapped_with_b.run")));

    const std::string text = read_file(file("auto_register_aspect.run"));
    EXPECT_EQ(text, "\"" + directory + "/\"\n" + aspect_body);

    // Surfaces in natural order, data files with their keys.
    ASSERT_EQ(state.batch_writer_surfaces.size(), 5u);
    EXPECT_EQ(state.batch_writer_surfaces[2], file("10_right.ply"));
    EXPECT_EQ(state.batch_writer_data_files.size(), 3u);
    ASSERT_EQ(state.batch_writer_keys.size(), 2u);
    EXPECT_EQ(state.batch_writer_keys["_thickness"],
              (std::vector<std::string>{file("2_right.ply"), file("10_right.ply")}));

    // Two writes in a row give the same files.
    ASSERT_TRUE(write_batch_files(state, true, {}));
    EXPECT_EQ(read_file(file("auto_register_aspect.run")), text);
}

TEST_F(BatchWriter, WrittenFilesReadBackAsTheirJobs)
{
    const BatchWriterControls controls{45, -1, 30, 9, 2};
    ASSERT_TRUE(write_batch_files(state, false, controls));
    EXPECT_FALSE(exists(file("auto_register_aspect.run")));

    const struct {
        const char* file;
        std::size_t jobs;
        BatchPreset values; // of the job for 2_right.ply, the second line
        const char* hr_data;
    } cases[] = {
        {"auto_register_custom.run", 5, {1, 0, 0, 45, -1, 30, 9, 1, -1, 0, 0, 2, 0}, "n/a"},
        {"auto_register_review.run", 5, {1, 0, 0, 45, -1, 0, 9, 0, -1, 0, 1, 2, 0}, "n/a"},
        {"auto_map_thickness.run",
         2,
         {1, 0, 2, 45, -1, 0, 9, 0, 3, 0, 0, 2, 0},
         "2_right_thickness.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> lines;
        ASSERT_TRUE(read_text_lines(file(c.file), lines));
        BatchFile batch;
        ASSERT_TRUE(parse_batch_lines(lines, batch));
        EXPECT_EQ(batch.prefix, directory + "/");
        ASSERT_EQ(batch.jobs.size(), c.jobs);
        const BatchJob& job = batch.jobs[c.jobs == 5 ? 1 : 0];
        EXPECT_EQ(job.names[batch_lr_surface], "femur_left.ply");
        EXPECT_EQ(job.names[batch_hr_surface], "2_right.ply");
        EXPECT_EQ(job.names[batch_lr_data], "n/a");
        EXPECT_EQ(job.names[batch_hr_data], c.hr_data);
        EXPECT_EQ(job.values, c.values);
    }
    // A quoted name reads back whole.
    std::vector<std::string> lines;
    BatchFile batch;
    ASSERT_TRUE(read_text_lines(file("auto_register_custom.run"), lines));
    ASSERT_TRUE(parse_batch_lines(lines, batch));
    EXPECT_EQ(batch.jobs[4].names[batch_hr_surface], "my bone.wrl");
}

TEST_F(BatchWriter, FailuresWriteNothingOrSaySo)
{
    // No LR surface.
    state.lr_surface->vertex_count = 0;
    EXPECT_FALSE(write_batch_files(state, true, {}));
    EXPECT_FALSE(exists(file("auto_register_aspect.run")));
    state.lr_surface->vertex_count = 3;

    // A file that cannot be created fails the write; the others are still written.
    ASSERT_EQ(mkdir(file("auto_register_LAD.run").c_str(), 0755), 0);
    EXPECT_FALSE(write_batch_files(state, true, {}));
    EXPECT_TRUE(exists(file("auto_register_aspect.run")));
    EXPECT_TRUE(exists(file("auto_map_density.run")));

    // A directory that cannot be opened.
    state.lr_surface->path_stem = directory + "/missing/femur_left";
    EXPECT_FALSE(write_batch_files(state, true, {}));

    // A directory without surfaces: upper-case extensions do not count.
    const std::string empty = file("only_upper");
    ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
    std::ofstream(empty + "/bone.PLY").put('\n');
    state.lr_surface->path_stem = empty + "/bone";
    StatusCapture status;
    EXPECT_FALSE(write_batch_files(state, true, {}));
    EXPECT_EQ(status.last(), "No surfaces found in working directory");
    EXPECT_FALSE(exists(empty + "/auto_register_aspect.run"));

    // A directory holding only the program's outputs says so.
    std::ofstream(empty + "/bone-resaved.ply").put('\n');
    std::ofstream(empty + "/bone-mapped_landmarks.ply").put('\n');
    EXPECT_FALSE(write_batch_files(state, true, {}));
    EXPECT_EQ(status.last(), "No surfaces found in working directory: only the program's own "
                             "outputs (bone-mapped_landmarks.ply, bone-resaved.ply)");
    EXPECT_FALSE(exists(empty + "/auto_register_aspect.run"));
}

} // namespace
