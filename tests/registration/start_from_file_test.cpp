// A registration started from a pose that was saved to the registration file and loaded again
// goes where the same registration goes from the pose kept in memory: the file's six decimals
// must not change where a run ends.
#include "analysis/surface_geometry.h"
#include "app/working_state.h"
#include "registration/family_transform.h"
#include "registration/matching.h"
#include "registration/registration_file.h"
#include "registration/registration_iteration.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "surface/load_surfaces.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The scan at two resolutions, the low one turned by (12, -9, 16) degrees about its centroid,
// scaled by 1.08 and moved by (4, -3, 5) mm.
const Mesh& scan_hr()
{
    static const Mesh mesh = open_scan(90, 200);
    return mesh;
}

const Mesh& scan_lr()
{
    static const Mesh mesh = [] {
        const Mesh scan = open_scan(40, 90);
        Point3 c;
        for (const Point3& p : scan.positions)
            c = c + p;
        c = (1.0 / static_cast<double>(scan.positions.size())) * c;
        Matrix4 turn, to_centroid, from_centroid, scale = identity_matrix();
        make_transform(turn, 4.0, -3.0, 5.0, 12.0, -9.0, 16.0);
        make_inverse_translation(to_centroid, c.x, c.y, c.z);
        make_translation(from_centroid, c.x, c.y, c.z);
        for (int e : {0, 5, 10})
            scale[e] = 1.08;
        return transformed_mesh(scan,
                                product(product(from_centroid, product(turn, scale)), to_centroid));
    }();
    return mesh;
}

double distance(const Point3& a, const Point3& b) { return std::sqrt(squared_distance(a, b)); }

// The closest point to p of the triangle a b c (by the regions of its corners, edges and face).
Point3 closest_on_triangle(const Point3& p, const Point3& a, const Point3& b, const Point3& c)
{
    const Point3 ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    const Point3 bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + (d1 / (d1 - d3)) * ab;
    const Point3 cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + (d2 / (d2 - d6)) * ac;
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0)
        return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    const double denominator = 1.0 / (va + vb + vc);
    return a + (vb * denominator) * ab + (vc * denominator) * ac;
}

Matrix4 full_pose(const WorkingState& state)
{
    return product(product(state.hr_surface->from_centred, state.current_transform),
                   state.lr_surface->to_centred);
}

// Mean distance of the LR vertices, moved by the current pose, to the HR triangles. Every point
// of a triangle lies within its reach (its longer edge from the first corner) of its first
// corner; with the triangles in the order of that corner's x, the search for a point's nearest
// triangle runs outwards from the point's x until no triangle can be nearer.
double mean_distance_to_hr(const WorkingState& state)
{
    const Surface& hr = *state.hr_surface;
    const auto corner = [&](const Triangle& t, int k) -> const Point3& {
        return hr.positions[static_cast<std::size_t>(t.vertex[static_cast<std::size_t>(k)])];
    };
    struct Entry {
        double x, reach;
        const Triangle* triangle;
    };
    std::vector<Entry> entries;
    double longest_reach = 0.0;
    for (const Triangle& t : hr.triangles) {
        const double reach =
            std::max(distance(corner(t, 0), corner(t, 1)), distance(corner(t, 0), corner(t, 2)));
        entries.push_back({corner(t, 0).x, reach, &t});
        longest_reach = std::max(longest_reach, reach);
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.x < b.x; });

    const Matrix4 pose = full_pose(state);
    double sum = 0.0;
    for (const Point3& position : state.lr_surface->positions) {
        const Point3 p = transformed(pose, position);
        double nearest = HUGE_VAL;
        const auto visit = [&](const Entry& e) {
            const Triangle& t = *e.triangle;
            if (distance(p, corner(t, 0)) - e.reach <= nearest)
                nearest = std::min(
                    nearest,
                    distance(p, closest_on_triangle(p, corner(t, 0), corner(t, 1), corner(t, 2))));
        };
        const auto start = std::lower_bound(entries.begin(), entries.end(), p.x,
                                            [](const Entry& e, double x) { return e.x < x; });
        for (auto e = start; e != entries.end() && e->x - p.x - longest_reach <= nearest; ++e)
            visit(*e);
        for (auto e = start; e != entries.begin() && p.x - (e - 1)->x - longest_reach <= nearest;
             --e)
            visit(*(e - 1));
        sum += nearest;
    }
    return sum / static_cast<double>(state.lr_surface->positions.size());
}

// Largest distance between the LR vertices moved by two poses.
double largest_difference(const WorkingState& state, const Matrix4& a, const Matrix4& b)
{
    double largest = 0.0;
    for (const Point3& p : state.lr_surface->positions)
        largest = std::max(largest, distance(transformed(a, p), transformed(b, p)));
    return largest;
}

class StartFromFileTest : public ::testing::Test {
protected:
    enum Start { without_file, from_file };

    // The pair freshly loaded, its registration file read (the default pose without one) and
    // type chosen, as a batch job prepares it.
    void load(int type, Start start)
    {
        if (start == without_file)
            std::remove(dir.file("scan_lr-scan_hr.reg").c_str());
        load_pair(state, scan_lr(), scan_hr());
        Surface& lr = *state.lr_surface;
        Surface& hr = *state.hr_surface;
        lr.name = "scan_lr";
        lr.path_stem = dir.file("scan_lr");
        hr.name = "scan_hr";
        hr.path_stem = dir.file("scan_hr");
        state.batch_running = true;
        analyse_surface_geometry(state, lr);
        analyse_surface_geometry(state, hr);
        ASSERT_EQ(load_registration_file(state), start == from_file ? 1 : 0);
        reset_lr_vertex_state(state);
        ASSERT_TRUE(select_registration_type(state, type));
        state.iteration_counter = 0;
    }

    // "Fussy %" 0, the whole search range, "Match rims" "Yes".
    void iterate(int type, int iterations)
    {
        StatusCapture quiet;
        const MatchControls controls{0, rims_yes, 999};
        const std::int64_t run_end = state.iteration_counter + iterations;
        for (int k = 0; k < iterations; ++k)
            ASSERT_TRUE(
                run_registration_iteration(state, type, controls, run_end, 999, state.range_units));
    }

    void save()
    {
        StatusCapture quiet;
        ASSERT_TRUE(save_registration(state));
    }

    TempDirectory dir;
    WorkingState state;
};

const int global_types[] = {rigid, similarity, affine, aspect};

TEST_F(StartFromFileTest, ASavedDefaultPoseEndsWhereTheComputedOneEnds)
{
    for (const int type : global_types) {
        SCOPED_TRACE(registration_type_labels[static_cast<std::size_t>(type)]);
        load(type, without_file);
        iterate(type, 40);
        const double from_memory = mean_distance_to_hr(state);

        // A job of no iterations saves the default pose; the next job starts from the file.
        load(type, without_file);
        save();
        load(type, from_file);
        iterate(type, 40);
        EXPECT_NEAR(mean_distance_to_hr(state), from_memory, 0.01);
    }
}

// The next iteration from a pose read back from the file is the iteration from the pose that
// was saved, to within what the file's six decimals leave of it.
TEST_F(StartFromFileTest, APoseSavedMidRunGivesTheNextIterationOfThePoseInMemory)
{
    for (const int type : global_types) {
        for (const int done : {0, 5}) {
            SCOPED_TRACE(std::string(registration_type_labels[static_cast<std::size_t>(type)]) +
                         " after " + std::to_string(done) + " iterations");
            load(type, without_file);
            iterate(type, done);
            save();
            const Matrix4 saved = full_pose(state);
            iterate(type, 1);
            const Matrix4 kept_in_memory = full_pose(state);

            load(type, from_file);
            EXPECT_LT(largest_difference(state, full_pose(state), saved), 1e-4);
            iterate(type, 1);
            EXPECT_LT(largest_difference(state, full_pose(state), kept_in_memory), 1e-4);
        }
    }
}

} // namespace
