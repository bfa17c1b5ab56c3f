#include "registration/matching.h"

#include "analysis/surface_geometry.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "tests/fixtures/german_locale.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// One vertex of a hand-made surface.
struct Vertex {
    Point3 position;
    Point3 normal{0, 0, 1};
    bool on_rim = false;
    Point3 rim_direction{};
    double curvature = 0.0;
};

void fill(Surface& surface, const std::vector<Vertex>& vertices)
{
    Mesh mesh;
    for (const Vertex& v : vertices)
        mesh.positions.push_back(v.position);
    fill_surface(surface, mesh);
    compute_bounds_and_radii(surface);
    surface.normals.clear();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        surface.normals.push_back(vertices[i].normal);
        surface.on_rim[i] = vertices[i].on_rim;
        surface.rim_direction[i] = vertices[i].rim_direction;
        surface.curvature[i] = vertices[i].curvature;
        surface.rim_vertex_count += vertices[i].on_rim;
    }
    surface.deformed_normals = surface.normals;
}

// HR corner vertices that stretch the box to 0..100 (cell 1 mm) far from the action; the test
// vertices follow from index 2 on.
const Vertex far_low{{0, 0, 0}, {0, 0, -1}};
const Vertex far_high{{100, 100, 100}, {0, 0, -1}};

void set_up(WorkingState& state, const std::vector<Vertex>& lr, std::vector<Vertex> hr)
{
    state.clear_working_data();
    hr.insert(hr.begin(), {far_low, far_high});
    fill(*state.lr_surface, lr);
    fill(*state.hr_surface, hr);
    // Identity pose between file coordinates: no centring.
    state.lr_surface->to_centred = identity_matrix();
    state.hr_surface->from_centred = identity_matrix();
    build_vertex_grid(state);
    ASSERT_EQ(state.grid_cell_size, 1.0);
}

const Point3 up{0, 0, 1};
const Point3 down{0, 0, -1};
const Point3 along_x{1, 0, 0};
const Point3 along_y{0, 1, 0};
constexpr double unmatched = missing_value;

} // namespace

// One LR vertex at (50, 50, 50) with normal +z against a few HR candidates. Each row says
// which HR candidate (counted from 0 among the test vertices) must be accepted, or none.
TEST(MatchVertices, AcceptanceTestsCaseByCase)
{
    struct Case {
        const char* why;
        int pass;
        int rim_mode;
        Vertex lr;
        std::vector<Vertex> hr;
        int expected; // -1 none
        double distance2;
    };
    const Point3 p{50, 50, 50};
    const auto at = [&](double dx, double dy, double dz) {
        return Point3{p.x + dx, p.y + dy, p.z + dz};
    };
    // The candidates followed by 64 vertices on a lattice through the cell of p, none nearer
    // its centre than 0.25 mm, which crowd the cell enough to be split into sub-cells.
    const auto crowded = [&](std::vector<Vertex> hr) {
        const double levels[4] = {0.05, 0.35, 0.65, 0.95};
        for (int n = 0; n < 64; ++n)
            hr.push_back({at(levels[n / 16], levels[n / 4 % 4], levels[n % 4])});
        return hr;
    };
    const Point3 centre = at(0.5, 0.5, 0.5);
    // clang-format off
    const Case cases[] = {
        {"untested: the nearest, whatever its normal", 0, rims_yes, {p},
         {{at(0, 0, 0.5), down}, {at(0, 0, 0.8)}}, 0, 0.25},
        {"tested below 1 mm: only the normal test", 1, rims_yes, {p},
         {{at(0.9, 0, 0), down}, {at(0, 0.95, 0)}}, 1, 0.9025},
        {"tested below 1 mm: sideways offsets need no direction test", 1, rims_yes, {p},
         {{at(0.9, 0, 0)}}, 0, 0.81},
        {"tested at 2 mm: an offset across both normal lines fails", 1, rims_yes, {p},
         {{at(2, 0, 0)}, {at(0.5, 0, 2)}}, 1, 4.25},
        {"tested at 2 mm: the HR normal line alone suffices (offset 60 degrees off the LR "
         "normal, 30 off the HR normal)",
         1, rims_yes, {p}, {{at(std::sqrt(3.0), 0, 1), {0.5, 0, std::sqrt(0.75)}}}, 0, 4},
        {"tested at 2 mm: opposite normals fail even along the normal", 1, rims_yes, {p},
         {{at(0, 0, 2), down}}, -1, 0},
        {"tested beyond 3 mm: curvature within 0.025 passes", 1, rims_yes, {p, up, false, {}, 0.1},
         {{at(0, 0, 3.5), up, false, {}, -0.12}}, 0, 12.25},
        {"tested beyond 3 mm: curvature off by 0.03 fails", 1, rims_yes, {p, up, false, {}, 0.1},
         {{at(0, 0, 3.5), up, false, {}, 0.13}, {at(0, 0, 4), up, false, {}, 0.11}}, 1, 16},
        {"tested below 3 mm: curvature is not compared", 1, rims_yes, {p, up, false, {}, 0.1},
         {{at(0, 0, 2.9), up, false, {}, 0.5}}, 0, 8.41},
        {"untested and fussy-free in pass 0 even with bad normals", 0, rims_yes, {p, down},
         {{at(0, 0, 2), up}}, 0, 4},
        {"equal distances: the earlier walk position", 0, rims_yes, {p},
         {{at(0, 0, 0.5)}, {at(0, 0, -0.5)}}, 1, 0.25},
        {"equal distances in one cell: the lower index", 0, rims_yes, {at(0.5, 0.5, 0.5)},
         {{at(0.25, 0.5, 0.5)}, {at(0.75, 0.5, 0.5)}}, 0, 0.0625},
        {"equal distances in the own cell and twice in an earlier row: the earlier row's lower "
         "index", 0, rims_yes, {at(0.5, 0.5, 0.25)},
         {{at(0.5, 0.5, 0.875)}, {at(0.5, 0.5, -0.375)}, {at(0.875, 0.5, -0.25)}}, 1, 0.390625},
        {"equal distances in two sub-cells of a crowded cell: the lower index of the accepted",
         1, rims_yes, {centre},
         crowded({{at(0.25, 0.5, 0.5), down}, {at(0.75, 0.5, 0.5)}, {at(0.25, 0.5, 0.5)}}), 1,
         0.0625},
        {"rims No: a nearest HR rim vertex leaves the vertex unmatched", 0, rims_no, {p},
         {{at(0, 0, 0.5), up, true, along_x}, {at(0, 0, 0.7)}}, -1, 0},
        {"rims No: rim LR vertices match non-rim HR vertices", 0, rims_no,
         {p, up, true, along_x}, {{at(0, 0, 0.5)}}, 0, 0.25},
        {"to rims: an LR rim vertex takes only HR rim vertices", 0, rims_to_rims,
         {p, up, true, along_x}, {{at(0, 0, 0.5)}, {at(0, 0, 1.5), up, true, along_x}}, 1, 2.25},
        {"to rims: no HR rim vertex in range, no match", 0, rims_to_rims,
         {p, up, true, along_x}, {{at(0, 0, 0.5)}}, -1, 0},
        {"to rims: a non-rim LR vertex may match an HR rim vertex", 0, rims_to_rims, {p},
         {{at(0, 0, 0.5), up, true, along_x}}, 0, 0.25},
        {"to rims, tested: crossing rim directions fail", 1, rims_to_rims,
         {p, up, true, along_x}, {{at(0, 0, 0.5), up, true, along_y}}, -1, 0},
        {"to rims, tested: either sense of the rim direction", 1, rims_to_rims,
         {p, up, true, along_x}, {{at(0, 0, 0.5), up, true, {-1, 0, 0}}}, 0, 0.25},
        {"to rims, tested: an offset along both rims beyond 1 mm fails", 1, rims_to_rims,
         {p, up, true, along_x},
         {{at(1.5, 0, 0), up, true, along_x}, {at(0, 0, 1.8), up, true, along_x}}, 1, 3.24},
        {"to rims, tested: along both rims within 1 mm passes", 1, rims_to_rims,
         {p, up, true, along_x}, {{at(0.9, 0, 0), up, true, along_x}}, 0, 0.81},
        {"to rims, tested: the normal test still applies", 1, rims_to_rims,
         {p, up, true, along_x}, {{at(0, 0, 0.5), down, true, along_x}}, -1, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        WorkingState state;
        set_up(state, {c.lr}, c.hr);
        const MatchControls controls{0, c.rim_mode, 50}; // 5 mm
        state.lr_surface->match_index[0] = 77;           // kept when nothing is accepted
        match_vertices(state, c.pass, controls);
        const Surface& lr = *state.lr_surface;
        if (c.expected < 0) {
            EXPECT_EQ(lr.match_distance2[0], unmatched) << c.why;
        } else {
            EXPECT_EQ(lr.match_index[0], c.expected + 2) << c.why;
            EXPECT_NEAR(lr.match_distance2[0], c.distance2, 1e-9) << c.why;
        }
    }
}

TEST(MatchVertices, WalkBoundsAndTheStoredRange)
{
    WorkingState state;
    // Range 1.2 mm (1.44 mm^2). The candidate 1.3 mm away lies in a neighbouring cell (bound
    // 0): it is accepted, and kept because the first bound beyond the range (2 mm^2, cells of
    // d = sqrt 2) is not below its 1.69 mm^2; the report counts it nowhere.
    set_up(state, {{{50.2, 50.5, 50.5}}}, {{{50.2, 50.5, 51.8}}});
    const MatchControls controls{0, rims_yes, 12};
    match_vertices(state, 0, controls);
    const Surface& lr = *state.lr_surface;
    EXPECT_NEAR(lr.match_distance2[0], 1.69, 1e-9);
    EXPECT_NEAR(lr.match_range2, 1.44 + 1e-8, 1e-12);
    StatusCapture status;
    EXPECT_EQ(establish_matches_and_display_alignment_error(state, controls, 20), 0);
    EXPECT_EQ(status.last(), "No points within ICP distance threshold");
    // 3.1 mm away with a 2.5 mm range: accepted at bound 4, dropped at the first bound beyond
    // the range (8 mm^2), which is below its 9.61 mm^2.
    set_up(state, {{{50.5, 50.5, 50.5}}}, {{{50.5, 50.5, 53.6}}});
    match_vertices(state, 0, MatchControls{0, rims_yes, 25});
    EXPECT_EQ(lr.match_distance2[0], unmatched);
}

TEST(MatchVertices, FussyFlagsFollowTheIntegerPercentile)
{
    // 1,000 LR vertices matched at distinct distances to one HR vertex, and 5 out of range.
    std::vector<Vertex> lr;
    for (int i = 0; i < 1000; ++i)
        lr.push_back({{50.0 + 0.001 * i, 50, 50}});
    for (int i = 0; i < 5; ++i)
        lr.push_back({{90, 90, 90}});
    struct Case {
        int fussy;
        int flagged_matched; // matched vertices flagged
    };
    const Case cases[] = {{10, 99}, {1, 9}, {99, 989}, {50, 499}, {100, 1000}, {0, 0}};
    for (const Case& c : cases) {
        WorkingState state;
        set_up(state, lr, {{{50, 50, 50}}});
        match_vertices(state, 0, MatchControls{c.fussy, rims_yes, 30});
        const Surface& surface = *state.lr_surface;
        int flagged = 0;
        for (int i = 0; i < 1000; ++i)
            flagged += surface.fussy[static_cast<std::size_t>(i)];
        EXPECT_EQ(flagged, c.flagged_matched) << "fussy " << c.fussy;
        for (int i = 1000; i < 1005; ++i)
            EXPECT_EQ(surface.fussy[static_cast<std::size_t>(i)], c.fussy == 0 ? 0 : 1);
        if (c.fussy == 10) { // the worst 99 are the farthest ones
            EXPECT_EQ(surface.fussy[900], 0);
            EXPECT_EQ(surface.fussy[901], 1);
        }
    }
}

TEST(EstablishMatches, FussyVerticesAreTestedInTheSecondPass)
{
    WorkingState state;
    // Vertex 0 has a good plain match; vertex 1's nearest HR vertex has the opposite normal.
    set_up(state, {{{50, 50, 50}}, {{60, 50, 50}}, {{70, 50, 50}}},
           {{{50, 50, 50.1}}, {{60, 50, 50.3}, down}, {{60, 50, 50.6}}, {{70, 50, 50.2}}});
    Surface& lr = *state.lr_surface;
    // "Fussy %" 0: one plain pass.
    establish_matches(state, MatchControls{0, rims_yes, 30});
    EXPECT_EQ(lr.match_index[1], 3);
    EXPECT_EQ(lr.fussy[1], 0);
    // "Fussy %" 40: pass 1 tests all (vertex 1 takes the farther HR vertex), flags the worst
    // third, and pass 0 re-tests only that one: it keeps the farther, tested match.
    establish_matches(state, MatchControls{40, rims_yes, 30});
    EXPECT_EQ(lr.match_index[1], 4);
    EXPECT_NEAR(lr.match_distance2[1], 0.36, 1e-12);
    EXPECT_EQ(lr.fussy[1], 1);
    EXPECT_EQ(lr.fussy[0] + lr.fussy[2], 0);
}

TEST(EstablishMatchesAndDisplayAlignmentError, ReportsAndRematchesOnlyWhenNeeded)
{
    WorkingState state;
    set_up(state, {{{50, 50, 50}}, {{60, 50, 50}}}, {{{50, 50, 50.5}}, {{60, 50, 51.5}}});
    StatusCapture status;
    const MatchControls narrow{0, rims_yes, 10}; // 1 mm
    EXPECT_EQ(establish_matches_and_display_alignment_error(state, narrow, 20), 1);
    EXPECT_EQ(status.last(), "Registration error is 0.500000 mm per point, 1 points");
    // Growing the range re-matches; during a run the counter is reported.
    state.iteration_counter = 3;
    const MatchControls wide{0, rims_yes, 20};
    EXPECT_EQ(establish_matches_and_display_alignment_error(state, wide, 20), 2);
    EXPECT_EQ(status.last(), "Iteration 3, error is 1.000000 mm per point, 2 points");
    // Shrinking it does not re-match; only the matches within the smaller range count.
    state.hr_surface->positions[3] = {60, 50, 50.1}; // would be a better match now
    EXPECT_EQ(establish_matches_and_display_alignment_error(state, narrow, 20), 1);
    EXPECT_EQ(state.lr_surface->match_distance2[1], 1.5 * 1.5);
    // No match at all during a run ends it through the counter.
    const MatchControls none{0, rims_yes, 0};
    state.lr_surface->match_range2 = -1;
    EXPECT_EQ(establish_matches_and_display_alignment_error(state, none, 20), 0);
    EXPECT_EQ(status.last(), "No points within ICP distance threshold");
    EXPECT_EQ(state.iteration_counter, 20);
}

TEST(EstablishMatchesAndDisplayAlignmentError, NumbersIgnoreTheLocale)
{
    WorkingState state;
    set_up(state, {{{50, 50, 50}}}, {{{50, 50, 50.5}}});
    StatusCapture status;
    {
        const GermanLocale german;
        if (!german.active())
            GTEST_SKIP() << "no German locale";
        establish_matches_and_display_alignment_error(state, MatchControls{0, rims_yes, 10}, 20);
    }
    EXPECT_EQ(status.last(), "Registration error is 0.500000 mm per point, 1 points");
}

TEST(MatchVertices, EmptyOrBrokenInputsMatchNothingAndDoNotCrash)
{
    WorkingState state;
    // No surfaces at all: only the range is recorded.
    match_vertices(state, 1, MatchControls{10, rims_yes, 100});
    EXPECT_NEAR(state.lr_surface->match_range2, 100.0 + 1e-8, 1e-9);
    // A non-finite pose matches nothing.
    set_up(state, {{{50, 50, 50}}}, {{{50, 50, 50.5}}});
    state.current_transform[12] = NAN;
    match_vertices(state, 0, MatchControls{0, rims_yes, 100});
    EXPECT_EQ(state.lr_surface->match_distance2[0], unmatched);
}

// A crowded HR cloud, whose cells are split into sub-cells, matched as it is and with every
// cell scanned whole: the sub-cells only speed the search up, so both give the same matches,
// equally near candidates included.
TEST(MatchVertices, SubCellsGiveTheMatchesOfWholeCells)
{
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> lattice(0, 32);
    std::uniform_int_distribution<int> pick(0, 3);
    const Point3 directions[] = {up, down, along_x, {0.6, 0.8, 0}};
    const auto vertex_at = [&](double step, double offset) {
        Vertex v;
        v.position = {50 + offset + step * lattice(random), 50 + offset + step * lattice(random),
                      50 + offset + step * lattice(random)};
        v.normal = directions[pick(random)];
        v.on_rim = pick(random) == 0;
        v.rim_direction = directions[pick(random)];
        v.curvature = 0.01 * pick(random);
        return v;
    };
    std::vector<Vertex> hr, lr;
    for (int i = 0; i < 4000; ++i)
        hr.push_back(vertex_at(1.0 / 16, 0.0)); // about 500 to a 1 mm cell, duplicates among them
    for (int i = 0; i < 600; ++i)
        lr.push_back(vertex_at(1.0 / 16, i % 2 == 0 ? 0.0 : 1.0 / 32));
    // Over all runs some vertices find no accepted candidate within the range, most do.
    std::ptrdiff_t unmatched_count = 0;
    for (const int rim_mode : {rims_yes, rims_no, rims_to_rims})
        for (const int range : {1, 30}) {
            SCOPED_TRACE(testing::Message() << rim_mode << " " << range);
            WorkingState state;
            set_up(state, lr, hr);
            ASSERT_FALSE(state.vertex_grid.part_ends.empty());
            const MatchControls controls{0, rim_mode, range};
            match_vertices(state, 1, controls);
            const std::vector<std::int64_t> split_matches = state.lr_surface->match_index;
            const std::vector<double> split_distances = state.lr_surface->match_distance2;
            state.vertex_grid.part_start.clear();
            state.vertex_grid.part_ends.clear();
            match_vertices(state, 1, controls);
            EXPECT_EQ(state.lr_surface->match_index, split_matches);
            EXPECT_EQ(state.lr_surface->match_distance2, split_distances);
            unmatched_count +=
                std::count(split_distances.begin(), split_distances.end(), unmatched);
        }
    EXPECT_GT(unmatched_count, 0);
    EXPECT_LT(unmatched_count, 6 * 600 / 2);
}
