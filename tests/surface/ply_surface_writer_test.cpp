#include "surface/ply_surface_writer.h"

#include "registration/registration_type.h"
#include "registration/tps_warp.h"
#include "state/working_state.h"
#include "surface/annotation.h"
#include "surface/barycentric.h"
#include "surface/ply_surface_reader.h"
#include "tests/fixtures/expect_near.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/german_locale.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The comment lines of a PLY header, without the word "comment".
std::vector<std::string> header_comments(const std::string& path)
{
    const std::string bytes = read_file(path);
    std::istringstream header(bytes.substr(0, bytes.find("end_header")));
    std::vector<std::string> comments;
    for (std::string line; std::getline(header, line);)
        if (line.rfind("comment ", 0) == 0)
            comments.push_back(line.substr(8));
    return comments;
}

Landmark point_on(const Surface& surface, std::int64_t triangle, double w1, double w2,
                  const std::string& name = std::string())
{
    Landmark point;
    point.name = name;
    point.triangle = surface.triangles[static_cast<std::size_t>(triangle)].vertex;
    point.weights = {w1, w2};
    interpolate_at_triangle(surface.positions, point, point.position);
    return point;
}

Landcurve curve(const Surface& surface, const std::string& name, bool closed, int count)
{
    Landcurve c;
    c.name = name;
    c.closed = closed;
    for (int i = 0; i < count; ++i)
        c.control_points.push_back(point_on(surface, 2 * i + 1, 0.2, 0.3));
    c.points = c.control_points;
    return c;
}

void set_centroid(Surface& surface, const Point3& c)
{
    surface.centroid = c;
    make_translation(surface.from_centred, c.x, c.y, c.z);
    make_inverse_translation(surface.to_centred, c.x, c.y, c.z);
}

class PlySurfaceWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fill_surface(lr(), icosphere(1, 5.0));
        fill_surface(hr(), icosphere(1, 10.0, {1, 2, 3}));
        lr().name = "lr";
        lr().path_stem = dir.file("lr");
        hr().name = "hr";
        hr().path_stem = dir.file("hr");
        lr().selected.assign(lr().selected.size(), 1);
        for (Surface* s : {&lr(), &hr()}) {
            s->normals.resize(s->positions.size());
            for (std::size_t i = 0; i < s->positions.size(); ++i)
                normalized(s->normals[i], s->positions[i] - Point3{1, 2, 3});
            s->deformed_normals = s->normals;
        }
    }

    // Every kind of annotation.
    void annotate(Surface& s)
    {
        s.lad_radius_hint = 2.34;
        s.landmarks = {point_on(s, 0, 0.25, 0.25, "Fovea capitis"), point_on(s, 7, 0.5, 0.0,
                                                                             "Gr\xC3\xB6\xC3\x9F"
                                                                             "e \xE2\x80\x94 tip")};
        s.landcurves = {curve(s, "neck", false, 3), curve(s, "rim", true, 4),
                        curve(s, "nothing", false, 0)};
        s.semilandmarks = {point_on(s, 11, 0.1, 0.1), point_on(s, 12, 0.6, 0.3)};
    }

    Surface& lr() { return *state.lr_surface; }
    Surface& hr() { return *state.hr_surface; }

    Surface read_back(const std::string& path)
    {
        Surface back;
        EXPECT_TRUE(parse_ply_file(path, back)) << path;
        return back;
    }

    TempDirectory dir;
    WorkingState state;
};

TEST_F(PlySurfaceWriterTest, HrSurfaceReadsBackWithEveryAnnotation)
{
    annotate(hr());
    StatusCapture status;
    ASSERT_TRUE(save_hr_surface(state));
    ASSERT_EQ(status.messages.size(), 2u);
    EXPECT_EQ(status.messages[0], "Writing HR surface file");
    EXPECT_EQ(status.messages[1], "HR surface file saved");

    const Surface back = read_back(dir.file("hr-resaved.ply"));
    ASSERT_EQ(back.positions.size(), hr().positions.size());
    for (std::size_t i = 0; i < back.positions.size(); ++i)
        expect_point_near(back.positions[i], hr().positions[i], 1e-5);
    ASSERT_EQ(back.triangles.size(), hr().triangles.size());
    for (std::size_t i = 0; i < back.triangles.size(); ++i)
        EXPECT_EQ(back.triangles[i].vertex, hr().triangles[i].vertex);

    EXPECT_DOUBLE_EQ(back.lad_radius_hint, 2.3);
    ASSERT_EQ(back.landmarks.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back.landmarks[i].name, hr().landmarks[i].name);
        expect_point_near(back.landmarks[i].position, hr().landmarks[i].position, 1e-6);
    }
    // A curve without control points is written as a bare header, which reads as no curve.
    ASSERT_EQ(back.landcurves.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const Landcurve& written = hr().landcurves[i];
        EXPECT_EQ(back.landcurves[i].name, written.name);
        EXPECT_EQ(back.landcurves[i].closed, written.closed);
        ASSERT_EQ(back.landcurves[i].control_points.size(), written.control_points.size());
        for (std::size_t j = 0; j < written.control_points.size(); ++j)
            expect_point_near(back.landcurves[i].control_points[j].position,
                              written.control_points[j].position, 1e-6);
    }
    ASSERT_EQ(back.semilandmarks.size(), 2u);
    expect_point_near(back.semilandmarks[1].position, hr().semilandmarks[1].position, 1e-6);
    EXPECT_EQ(header_comments(dir.file("hr-resaved.ply"))[12], "OPEN_LANDCURVE \"nothing\" 0");
}

TEST_F(PlySurfaceWriterTest, NormalsAreInterpolatedAtTheTriangleAndZeroOffTheSurface)
{
    hr().normals[hr().triangles[0].vertex[0]] = {1, 0, 0};
    hr().normals[hr().triangles[0].vertex[1]] = {0, 1, 0};
    hr().normals[hr().triangles[0].vertex[2]] = {0, 0, 1};
    Landmark inside = point_on(hr(), 0, 0.25, 0.25, "inside");
    Landmark outside = inside;
    outside.name = "outside";
    outside.triangle[1] = 1000000;
    hr().landmarks = {inside, outside};
    hr().semilandmarks = {outside};
    ASSERT_TRUE(save_hr_surface(state));

    Point3 expected;
    normalized(expected, {0.5, 0.25, 0.25});
    const std::vector<std::string> comments = header_comments(dir.file("hr-resaved.ply"));
    ASSERT_EQ(comments.size(), 3u) << "no LAD hint while it is -1";
    EXPECT_EQ(comments[0], landmark_annotation("inside", inside.position, expected));
    EXPECT_EQ(comments[1], landmark_annotation("outside", inside.position, {}));
    EXPECT_EQ(comments[2], semilandmark_annotation(inside.position, {}));
}

TEST_F(PlySurfaceWriterTest, LrSurfaceIsWrittenUnderTheCurrentPose)
{
    for (Point3& p : lr().deformed_positions)
        p = p + Point3{0.5, 0, 0}; // the deformed shape is what gets written
    lr().landmarks = {point_on(lr(), 3, 0.2, 0.2, "tip")};
    Point3 deformed_tip;
    interpolate_at_triangle(lr().deformed_positions, lr().landmarks[0], deformed_tip);
    set_centroid(lr(), {0, 0, 0});
    set_centroid(hr(), {0, 0, 0});
    const LrSaveChoice choice{similarity, true, false, 1, 0};
    const std::string path = dir.file("lr-hr-sim.ply");

    // The identity pose writes the deformed positions and every triangle as stored.
    ASSERT_TRUE(save_lr_surface(state, choice));
    Surface back = read_back(path);
    ASSERT_EQ(back.positions.size(), lr().positions.size());
    for (std::size_t i = 0; i < back.positions.size(); ++i)
        expect_point_near(back.positions[i], lr().deformed_positions[i], 1e-6);
    for (std::size_t i = 0; i < back.triangles.size(); ++i)
        EXPECT_EQ(back.triangles[i].vertex, lr().triangles[i].vertex);

    // A pose with centring: HR from_centred x current x LR to_centred, for the vertices and
    // the annotations alike; normals turn with the linear part.
    set_centroid(lr(), {1, -2, 0.5});
    set_centroid(hr(), {10, 20, 30});
    make_transform(state.current_transform, 1, 2, 3, 30, 0, 0);
    const Matrix4 pose =
        product(product(hr().from_centred, state.current_transform), lr().to_centred);
    ASSERT_TRUE(save_lr_surface(state, choice));
    back = read_back(path);
    expect_point_near(back.positions[5], transformed(pose, lr().deformed_positions[5]), 1e-5);
    expect_point_near(back.landmarks[0].position, transformed(pose, deformed_tip), 1e-5);
    Point3 normal;
    interpolate_at_triangle(lr().deformed_normals, lr().landmarks[0], normal);
    Matrix4 linear = pose;
    linear[12] = linear[13] = linear[14] = 0;
    normalized(normal, transformed(linear, normal));
    EXPECT_EQ(header_comments(path)[0],
              landmark_annotation("tip", transformed(pose, deformed_tip), normal));

    // A mirroring pose swaps the first and last corner of every triangle.
    state.current_transform = identity_matrix();
    state.current_transform[0] = -1;
    ASSERT_TRUE(save_lr_surface(state, choice));
    back = read_back(path);
    for (std::size_t i = 0; i < back.triangles.size(); ++i) {
        const auto& t = lr().triangles[i].vertex;
        EXPECT_EQ(back.triangles[i].vertex, (std::array<std::int64_t, 3>{t[2], t[1], t[0]}));
    }

    // Unselected vertices are left out with their triangles; the rest are renumbered.
    state.current_transform = identity_matrix();
    lr().selected[0] = 0;
    ASSERT_TRUE(save_lr_surface(state, choice));
    back = read_back(path);
    EXPECT_EQ(back.positions.size(), lr().positions.size() - 1);
    std::size_t kept = 0;
    for (const Triangle& t : lr().triangles) {
        if (t.vertex[0] == 0 || t.vertex[1] == 0 || t.vertex[2] == 0)
            continue;
        ASSERT_LT(kept, back.triangles.size());
        EXPECT_EQ(back.triangles[kept++].vertex,
                  (std::array<std::int64_t, 3>{t.vertex[0] - 1, t.vertex[1] - 1, t.vertex[2] - 1}));
    }
    EXPECT_EQ(kept, back.triangles.size());
}

TEST_F(PlySurfaceWriterTest, LrFileNamesAndRefusals)
{
    struct NameCase {
        LrSaveChoice choice;
        std::string name; // empty: refused
    };
    const NameCase cases[] = {
        {{rigid, true, false, 1, 0}, "lr-hr-rigid.ply"},
        {{aspect_lad, true, true, 3, 7}, "lr-hr-aspect_lad.ply"},
        {{similarity_tps, true, false, 1, 0}, "lr-hr-sim_tps.ply"},
        {{similarity_ssm, true, true, 1, 0}, "lr-hr-sim_ssm.ply"},
        {{rigid, false, true, 2, -40}, "lr-ssm_2_-40.ply"},
        {{rigid, false, false, 2, -40}, ""},
        {{registration_type_count, true, false, 1, 0}, ""},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(lr_surface_save_path(lr(), hr(), c.choice),
                  c.name.empty() ? "" : dir.file(c.name));

    StatusCapture status;
    EXPECT_FALSE(save_lr_surface(state, {rigid, false, false, 1, 0}));
    EXPECT_EQ(status.last(), "No current LR surface");
    lr().selected.assign(lr().selected.size(), 0);
    EXPECT_FALSE(save_lr_surface(state, {rigid, true, false, 1, 0}));
    EXPECT_EQ(status.last(), "No LR triangles to save");
    EXPECT_FALSE(fs::exists(dir.file("lr-hr-rigid.ply")));
    lr().clear();
    EXPECT_FALSE(save_lr_surface(state, {rigid, true, false, 1, 0}));
    EXPECT_EQ(status.last(), "Need LR and HR surfaces");
    hr().clear();
    EXPECT_FALSE(save_hr_surface(state));
    EXPECT_EQ(status.last(), "Need LR and HR surfaces");
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(PlySurfaceWriterTest, WarpMovesAnnotationsOnlyOnTheRegistrationPage)
{
    Landmark tip = point_on(lr(), 3, 0.2, 0.2, "tip");
    tip.position = {100, 200, 300}; // the warp uses the stored position, the surface its triangle
    lr().landmarks = {tip};
    state.tps_warp.control_points = {{0, 0, 0}};
    state.tps_warp.coefficients.assign(5, Point3{});
    Point3 on_surface;
    interpolate_at_triangle(lr().deformed_positions, tip, on_surface);
    const Matrix4 pose =
        product(product(hr().from_centred, state.current_transform), lr().to_centred);

    ASSERT_TRUE(save_lr_surface(state, {similarity_tps, true, false, 1, 0}));
    expect_point_near(read_back(dir.file("lr-hr-sim_tps.ply")).landmarks[0].position,
                      transformed(pose, evaluate_tps(state.tps_warp, tip.position)), 1e-5);
    ASSERT_TRUE(save_lr_surface(state, {similarity_tps, false, true, 1, 0}));
    expect_point_near(read_back(dir.file("lr-ssm_1_0.ply")).landmarks[0].position,
                      transformed(pose, on_surface), 1e-5);
    ASSERT_TRUE(save_lr_surface(state, {similarity, true, false, 1, 0}));
    expect_point_near(read_back(dir.file("lr-hr-sim.ply")).landmarks[0].position,
                      transformed(pose, on_surface), 1e-5);
}

TEST_F(PlySurfaceWriterTest, RefusedSaveLeavesTheExistingFileUntouched)
{
    struct RefusalCase {
        const char* why;
        std::string name;
        double coordinate;
        const char* message;
    };
    const RefusalCase cases[] = {
        {"a name too long for a header line", std::string(4100, 'n'), 0.0,
         "Could not add comment to ply file"},
        {"a name that is not UTF-8", "caf\xE9", 0.0, "Could not add comment to ply file"},
        {"a name with a line feed", "two\nlines", 0.0, "Could not add comment to ply file"},
        {"a coordinate beyond the float range", "ok", 1e39, "Could not write vertex to ply file"},
    };
    const std::string path = dir.file("hr-resaved.ply");
    StatusCapture status;
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::ofstream(path) << "previous file";
        fill_surface(hr(), icosphere(1, 10.0));
        hr().landmarks = {point_on(hr(), 0, 0.1, 0.1, c.name)};
        hr().positions[4].y = c.coordinate;
        EXPECT_FALSE(save_hr_surface(state));
        EXPECT_EQ(status.last(), c.message);
        EXPECT_EQ(read_file(path), "previous file");
    }

    // Names that would read back as another kind of item, from the file or typed.
    const struct {
        const char* landmark;
        const char* curve;
    } misread[] = {
        {"Knob SEMILANDMARK", "ridge"}, {"tip", "Ridge LANDMARK"}, {"tip", "CLOSED door"}};
    for (const auto& names : misread) {
        SCOPED_TRACE(std::string(names.landmark) + " / " + names.curve);
        status.messages.clear();
        fill_surface(hr(), icosphere(1, 10.0));
        hr().landmarks = {point_on(hr(), 0, 0.1, 0.1, names.landmark)};
        hr().landcurves = {curve(hr(), names.curve, false, 2)};
        EXPECT_FALSE(save_hr_surface(state));
        EXPECT_EQ(status.last(), "Could not add comment to ply file");
        EXPECT_EQ(read_file(path), "previous file");
        lr().landmarks = hr().landmarks;
        lr().landcurves = hr().landcurves;
        EXPECT_FALSE(save_lr_surface(state, {rigid, true, false, 1, 0}));
        EXPECT_EQ(status.last(), "Could not add comment to ply file");
        EXPECT_FALSE(fs::exists(dir.file("lr-hr-rigid.ply")));
    }
    for (Surface* s : {&lr(), &hr()}) {
        s->landmarks.clear();
        s->landcurves.clear();
    }

    // The target cannot be opened, or does not take the bytes.
    fill_surface(hr(), icosphere(1, 10.0));
    fs::remove(path);
    fs::create_directory(path);
    EXPECT_FALSE(save_hr_surface(state));
    EXPECT_EQ(status.last(), "Could not write HR surface file");
    fs::remove(path);
    fs::create_symlink("/dev/full", path);
    EXPECT_FALSE(save_hr_surface(state));
    EXPECT_EQ(status.last(), "Could not write HR surface file");
    fs::create_symlink("/dev/full", dir.file("lr-hr-rigid.ply"));
    EXPECT_FALSE(save_lr_surface(state, {rigid, true, false, 1, 0}));
    EXPECT_EQ(status.last(), "Could not write LR surface file");
}

TEST_F(PlySurfaceWriterTest, GermanLocaleStillWritesDecimalPoints)
{
    annotate(hr());
    Surface back;
    {
        GermanLocale german;
        if (!german.active())
            GTEST_SKIP() << "de_DE.UTF-8 is not installed";
        ASSERT_TRUE(save_hr_surface(state));
        ASSERT_TRUE(parse_ply_file(dir.file("hr-resaved.ply"), back));
    }
    const std::vector<std::string> comments = header_comments(dir.file("hr-resaved.ply"));
    EXPECT_EQ(comments[0], "LAD sphere radius hint 2.3");
    EXPECT_NE(comments[1].find('.'), std::string::npos);
    EXPECT_EQ(comments[1].find(','), std::string::npos);
    EXPECT_DOUBLE_EQ(back.lad_radius_hint, 2.3);
    expect_point_near(back.landmarks[0].position, hr().landmarks[0].position, 1e-6);
}

} // namespace
