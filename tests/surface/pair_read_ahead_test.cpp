// The first pair of a command-line batch read ahead: taken by the load only when it is the
// pair the load would read.
#include "surface/pair_read_ahead.h"

#include "analysis/surface_geometry.h"
#include "state/working_state.h"
#include "surface/load_surfaces.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/proximal_femur.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const job_line = " n/a n/a 0 0 0 50 0 10 1 1 -1 0 0 1 0\n";

// A batch of one job over lr_name and hr_name in the directory.
std::string write_batch(const TempDirectory& directory, const std::string& lr_name,
                        const std::string& hr_name)
{
    return directory.write("jobs.run",
                           directory.path() + "/\n" + lr_name + " " + hr_name + job_line);
}

// The pair as the load reads and analyses it without reading ahead.
void load_pair(WorkingState& state, const std::string& path1, const std::string& path2,
               const std::string& name1, const std::string& name2)
{
    ASSERT_TRUE(parse_surface_pair(state, path1, path2, name1, name2, true));
    analyse_surface_geometry(*state.lr_surface);
    analyse_surface_geometry(*state.hr_surface);
}

void expect_same_surface(const Surface& taken, const Surface& loaded)
{
    EXPECT_EQ(taken.name, loaded.name);
    EXPECT_EQ(taken.path_stem, loaded.path_stem);
    ASSERT_EQ(taken.vertex_count, loaded.vertex_count);
    for (std::size_t v = 0; v < loaded.positions.size(); ++v) {
        EXPECT_EQ(taken.positions[v].x, loaded.positions[v].x);
        EXPECT_EQ(taken.normals[v].y, loaded.normals[v].y);
    }
    EXPECT_EQ(taken.curvature, loaded.curvature); // to the bit
    EXPECT_EQ(taken.on_rim, loaded.on_rim);
    EXPECT_EQ(taken.rim_band, loaded.rim_band);
    EXPECT_EQ(taken.natural_axes.m, loaded.natural_axes.m);
    EXPECT_EQ(taken.is_femur, loaded.is_femur);
    EXPECT_EQ(taken.geometric_side, loaded.geometric_side);
    EXPECT_EQ(taken.bbox_max.z, loaded.bbox_max.z);
    ASSERT_EQ(taken.landcurves.size(), loaded.landcurves.size());
    for (std::size_t c = 0; c < loaded.landcurves.size(); ++c) {
        EXPECT_EQ(taken.landcurves[c].name, loaded.landcurves[c].name);
        EXPECT_EQ(taken.landcurves[c].points.size(), loaded.landcurves[c].points.size());
    }
    ASSERT_EQ(taken.landmarks.size(), loaded.landmarks.size());
    for (std::size_t l = 0; l < loaded.landmarks.size(); ++l)
        EXPECT_EQ(taken.landmarks[l].position.x, loaded.landmarks[l].position.x);
}

// Reading ahead ends with each test, whatever it left.
class PairReadAhead : public testing::Test {
protected:
    void TearDown() override { finish_reading_ahead(); }
    TempDirectory directory;
};

} // namespace

TEST_F(PairReadAhead, TheLoadTakesThePairItWouldRead)
{
    // A proximal femur (its analysis places anatomical items) and an open tube (rims, axes).
    ASSERT_TRUE(write_ply_file(directory.file("proximal_femur_R.ply"), proximal_femur()));
    ASSERT_TRUE(write_ply_file(directory.file("tube.ply"), tube(8.0, 40.0, 20, 24)));
    start_reading_ahead(write_batch(directory, "proximal_femur_R.ply", "tube.ply"), 0);
    const std::string lr = directory.file("proximal_femur_R.ply");
    const std::string hr = directory.file("tube.ply");

    WorkingState taken;
    StatusCapture status;
    ASSERT_TRUE(take_pair_read_ahead(taken, lr, hr, "proximal_femur_R.ply", "tube.ply"));
    EXPECT_EQ(status.messages,
              (std::vector<std::string>{"Parsing first surface", "Parsing second surface"}));
    EXPECT_EQ(taken.lr_surface, &taken.surfaces[0]);
    EXPECT_EQ(taken.hr_surface, &taken.surfaces[1]);
    WorkingState loaded;
    load_pair(loaded, lr, hr, "proximal_femur_R.ply", "tube.ply");
    EXPECT_TRUE(loaded.lr_surface->is_femur);
    EXPECT_FALSE(loaded.lr_surface->landmarks.empty()); // the femur analysis ran
    expect_same_surface(taken.surfaces[0], loaded.surfaces[0]);
    expect_same_surface(taken.surfaces[1], loaded.surfaces[1]);

    // Only the first load may take it.
    WorkingState again;
    EXPECT_FALSE(take_pair_read_ahead(again, lr, hr, "proximal_femur_R.ply", "tube.ply"));
    EXPECT_EQ(again.surfaces[0].vertex_count, 0);
}

TEST_F(PairReadAhead, APairTheLoadWouldNotReadIsNotTaken)
{
    ASSERT_TRUE(write_ply_file(directory.file("a.ply"), octahedron(2.0)));
    ASSERT_TRUE(write_ply_file(directory.file("b.ply"), icosphere(1, 3.0)));
    const std::string a = directory.file("a.ply");
    const std::string b = directory.file("b.ply");
    struct Case {
        const char* why;
        std::string lr_name, hr_name;              // in the batch
        std::string path1, path2, name1, name2;    // of the load
    };
    const Case cases[] = {
        {"other files", "a.ply", "b.ply", b, a, "b.ply", "a.ply"},
        {"the same files under other names", "a.ply", "b.ply", a, b, "x.ply", "b.ply"},
        {"a file that does not read", "a.ply", "missing.ply", a, directory.file("missing.ply"),
         "a.ply", "missing.ply"},
    };
    for (const Case& c : cases) {
        start_reading_ahead(write_batch(directory, c.lr_name, c.hr_name), 0);
        WorkingState state;
        StatusCapture status;
        EXPECT_FALSE(take_pair_read_ahead(state, c.path1, c.path2, c.name1, c.name2)) << c.why;
        EXPECT_TRUE(status.messages.empty()) << c.why;
        EXPECT_EQ(state.surfaces[0].vertex_count, 0) << c.why;
        finish_reading_ahead();
    }

    // A pair smaller than the least it reads ahead is left to the load.
    start_reading_ahead(write_batch(directory, "a.ply", "b.ply"), 1LL << 40);
    WorkingState small;
    EXPECT_FALSE(take_pair_read_ahead(small, a, b, "a.ply", "b.ply"));
    finish_reading_ahead();

    // A batch file that does not parse reads nothing ahead; nor does finishing start anything.
    start_reading_ahead(directory.write("bad.run", "# no jobs\n/\n"), 0);
    WorkingState state;
    EXPECT_FALSE(take_pair_read_ahead(state, a, b, "a.ply", "b.ply"));
    finish_reading_ahead();
    EXPECT_FALSE(take_pair_read_ahead(state, a, b, "a.ply", "b.ply"));
}

TEST_F(PairReadAhead, WhatTheLoadTakesIsWhatTheFilesHoldNow)
{
    // A file replaced while the pair is read ahead: the load takes the pair only as the files
    // now are (read after the change), else it reads them itself.
    const std::string a = directory.file("a.ply");
    const std::string b = directory.file("b.ply");
    ASSERT_TRUE(write_ply_file(a, octahedron(2.0)));
    ASSERT_TRUE(write_ply_file(b, icosphere(1, 3.0)));
    start_reading_ahead(write_batch(directory, "a.ply", "b.ply"), 0);
    ASSERT_TRUE(write_ply_file(directory.file("c.ply"), icosphere(2, 5.0)));
    ASSERT_EQ(std::rename(directory.file("c.ply").c_str(), b.c_str()), 0);
    WorkingState taken;
    if (take_pair_read_ahead(taken, a, b, "a.ply", "b.ply")) {
        WorkingState loaded;
        load_pair(loaded, a, b, "a.ply", "b.ply");
        expect_same_surface(taken.surfaces[1], loaded.surfaces[1]);
    } else {
        EXPECT_EQ(taken.surfaces[1].vertex_count, 0);
    }
}
