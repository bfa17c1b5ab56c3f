#include "registration/lad_neighbours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using Lists = std::vector<std::vector<std::int32_t>>;

// The definition itself: every pair compared.
Lists every_pair(const std::vector<Point3>& positions, double radius)
{
    Lists lists(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        for (std::size_t k = 0; k < positions.size(); ++k)
            if (std::sqrt(squared_distance(positions[i], positions[k])) < radius)
                lists[i].push_back(static_cast<std::int32_t>(k));
    return lists;
}

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

} // namespace

TEST(FindLadNeighbours, EqualsComparingEveryPairWithTiesAtTheRadius)
{
    // A unit lattice puts many pairs at exactly 1, 2 and sqrt(2) from each other, on cell
    // borders; random points, a duplicate and far-off points fill in between.
    std::vector<Point3> points;
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 5; ++y)
            for (int z = 0; z < 4; ++z)
                points.push_back(
                    {static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)});
    std::mt19937 random(7);
    const auto coordinate = [&random] {
        return static_cast<double>(random() % 70001) / 10000.0 - 1.0;
    };
    for (int i = 0; i < 300; ++i)
        points.push_back({coordinate(), coordinate(), coordinate()});
    points.push_back(points[17]);
    points.push_back({-40.0, 3.0, 2.0});
    points.push_back({1e3, 1e3, -1e3});

    for (const double radius : {1.0, 2.0, std::sqrt(2.0), 0.37, 1e-3, 5e3})
        EXPECT_EQ(find_lad_neighbours(points, radius), every_pair(points, radius)) << radius;
}

TEST(FindLadNeighbours, BoundaryRadiiAndNonFinitePositions)
{
    const std::vector<Point3> points = {
        {0, 0, 0}, {1, 0, 0}, {not_a_number, 0, 0}, {0, infinity, 0}, {3, 0, 0}};
    struct Case {
        double radius;
        Lists expected;
    };
    const Case cases[] = {
        {0.0, {{}, {}, {}, {}, {}}},
        {-1.0, {{}, {}, {}, {}, {}}},
        {not_a_number, {{}, {}, {}, {}, {}}},
        {1e-300, {{0}, {1}, {}, {}, {4}}}, // a vertex is its own neighbour at distance 0
        {1.0, {{0}, {1}, {}, {}, {4}}},    // exactly at the radius: not a neighbour
        {2.5, {{0, 1}, {0, 1, 4}, {}, {}, {1, 4}}},
        {infinity, {{0, 1, 4}, {0, 1, 4}, {}, {}, {0, 1, 4}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_lad_neighbours(points, c.radius), c.expected) << c.radius;
    EXPECT_TRUE(find_lad_neighbours({}, 1.0).empty());
}
