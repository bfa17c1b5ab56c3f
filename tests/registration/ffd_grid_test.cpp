#include "registration/ffd_grid.h"

#include "registration/registration_type.h"
#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

TEST(FfdGrid, TheUndeformedLatticeMapsEveryPointToItself)
{
    // A lattice of unequal spacings, and one of a box with zero extent in z (spacing 1e-4 there).
    const FfdLattice lattices[] = {{{-3.0, 1.5, 20.0}, {2.0, 0.5, 7.0}},
                                   {{0.25, -4.0, 2.0}, {3.0, 1.0, 1e-4}}};
    for (const FfdLattice& lattice : lattices) {
        FfdGrid grid;
        reset_ffd_grid(lattice, grid);
        const Point3& low = lattice.origin;
        const auto& s = lattice.spacing;
        // Points of the box, and points a little outside it, which use the box's cell too.
        for (const Point3& p :
             {low, Point3{low.x + s[0], low.y + s[1], low.z + s[2]},
              Point3{low.x + 0.3 * s[0], low.y + 0.7 * s[1], low.z + 0.5 * s[2]},
              Point3{low.x - 0.1 * s[0], low.y - 0.2 * s[1], low.z - 0.3 * s[2]},
              Point3{low.x + 1.1 * s[0], low.y + 1.2 * s[1], low.z + 1.3 * s[2]}}) {
            const Point3 q = evaluate_ffd(lattice, grid, p);
            EXPECT_NEAR(q.x, p.x, 1e-9);
            EXPECT_NEAR(q.y, p.y, 1e-9);
            EXPECT_NEAR(q.z, p.z, 1e-9);
        }
    }
}

TEST(FfdGrid, AControlPointMovesPointsByItsBasisWeight)
{
    const FfdLattice lattice{{-3.0, 1.5, 20.0}, {2.0, 0.5, 7.0}};
    FfdGrid grid;
    reset_ffd_grid(lattice, grid);
    // Move control point (i, j, k) = (2, 0, -1) by 1 in x.
    grid.values[((3 * 4 + 1) * 4 + 0) * 3] += 1.0;
    const Point3& low = lattice.origin;
    const auto& s = lattice.spacing;
    const auto b3 = [](double t) { return t * t * t / 6.0; };
    const auto b1 = [](double t) { return (3 * t * t * t - 6 * t * t + 4) / 6.0; };
    const auto b0 = [](double t) { return (1 - t) * (1 - t) * (1 - t) / 6.0; };
    for (const Point3& p : {Point3{low.x + 0.3 * s[0], low.y + 0.5 * s[1], low.z + 0.2 * s[2]},
                            Point3{low.x, low.y + 0.9 * s[1], low.z}}) {
        const double tx = (p.x - low.x) / s[0], ty = (p.y - low.y) / s[1], tz = (p.z - low.z) / s[2];
        const Point3 q = evaluate_ffd(lattice, grid, p);
        EXPECT_NEAR(q.x - p.x, b3(tx) * b1(ty) * b0(tz), 1e-12);
        EXPECT_NEAR(q.y, p.y, 1e-9);
    }
    // At t = 0 along x the control points of lattice index 2 have no weight.
    const Point3 on_face{low.x, low.y + 0.4 * s[1], low.z + 0.6 * s[2]};
    EXPECT_NEAR(evaluate_ffd(lattice, grid, on_face).x, on_face.x, 1e-12);
}

TEST(FfdGrid, TheWeightsUnderAGridGiveTheGridsDeformation)
{
    const FfdLattice lattice{{1.0, 2.0, -1.0}, {4.0, 3.0, 2.0}};
    FfdGrid grid;
    reset_ffd_grid(lattice, grid);
    for (std::size_t v = 0; v < grid.values.size(); v += 7)
        grid.values[v] += 0.1 * static_cast<double>(v % 5) - 0.2;
    for (const Point3& p : {Point3{1.5, 3.0, 0.0}, Point3{6.0, 4.0, -2.0}}) {
        const std::array<double, 64> weights = ffd_weights(lattice, p);
        double sum = 0.0;
        for (const double w : weights)
            sum += w;
        EXPECT_NEAR(sum, 1.0, 1e-12);
        const Point3 by_weights = apply_ffd_weights(weights, grid.values.data());
        const Point3 by_grid = evaluate_ffd(lattice, grid, p);
        EXPECT_EQ(by_weights.x, by_grid.x);
        EXPECT_EQ(by_weights.y, by_grid.y);
        EXPECT_EQ(by_weights.z, by_grid.z);
    }
}

TEST(UpdateDeformedPositions, EachTypeGetsItsOwnShape)
{
    WorkingState state;
    load_pair(state, ellipsoid(2, 30, 20, 10), ellipsoid(2, 30, 20, 10));
    Surface& lr = *state.lr_surface;
    // The current grid is a deformed similarity lattice, as after a "Similarity + FFD" run.
    state.similarity_ffd_grid.values[((2 * 4 + 2) * 4 + 1) * 3 + 1] += 5.0;
    state.current_ffd_grid = &state.similarity_ffd_grid;
    for (Point3& p : *stored_result(lr, affine_lad))
        p = p + Point3{0, 0, 0.5};
    const auto expect_deformed = [&](int type, const std::vector<Point3>& expected) {
        lr.deformed_normals.clear();
        update_deformed_positions(state, type);
        ASSERT_EQ(lr.deformed_positions.size(), expected.size()) << type;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Point3& p = lr.deformed_positions[i];
            ASSERT_TRUE(p.x == expected[i].x && p.y == expected[i].y && p.z == expected[i].z)
                << type << " vertex " << i;
        }
        EXPECT_EQ(lr.deformed_normals.size(), lr.positions.size()) << type;
    };
    // The linear types never carry a grid, whichever FFD type was chosen last.
    for (const int type : {rigid, similarity, affine, aspect})
        expect_deformed(type, lr.positions);
    std::vector<Point3> by_grid;
    for (const Point3& p : lr.positions)
        by_grid.push_back(evaluate_ffd(state.ffd_lattice(), state.similarity_ffd_grid, p));
    double moved = 0.0;
    for (std::size_t i = 0; i < by_grid.size(); ++i)
        moved = std::max(moved, squared_distance(by_grid[i], lr.positions[i]));
    ASSERT_GT(moved, 1.0);
    expect_deformed(similarity_ffd, by_grid);
    expect_deformed(affine_lad, lr.aff_lad_positions);
}
