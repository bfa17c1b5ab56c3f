// The plane-and-ellipse fit of the femur analysis's curves.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.141592653589793;

// An orthonormal frame of a tilted plane through `centre`.
struct Plane {
    Point3 centre{3, -2, 7};
    Point3 e1{0.6, 0.8, 0};
    Point3 e2{-0.48, 0.36, 0.8}; // perpendicular to e1, unit
    Point3 at(double x, double y) const { return centre + x * e1 + y * e2; }
    Point3 normal() const { return cross(e1, e2); }
};

// n points of the ellipse with semi-axes a (along the direction `rotation` from e1) and b.
std::vector<Point3> ellipse_points(const Plane& plane, double a, double b, double rotation, int n)
{
    std::vector<Point3> points;
    for (int k = 0; k < n; ++k) {
        const double t = 2 * pi * k / n + 0.3;
        const double x = a * std::cos(t), y = b * std::sin(t);
        points.push_back(plane.at(std::cos(rotation) * x - std::sin(rotation) * y,
                                  std::sin(rotation) * x + std::cos(rotation) * y));
    }
    return points;
}

Point3 row_point(const PointMatrix& rows, Eigen::Index r)
{
    return to_point(rows.row(r).transpose());
}

double length(const Point3& p) { return std::sqrt(dot(p, p)); }

void expect_unchanged(const PointMatrix& rows, const std::vector<Point3>& points)
{
    ASSERT_EQ(rows.rows(), static_cast<Eigen::Index>(points.size()));
    ASSERT_EQ(rows.cols(), 3);
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(rows(static_cast<Eigen::Index>(i), 0), points[i].x);
        EXPECT_EQ(rows(static_cast<Eigen::Index>(i), 2), points[i].z);
    }
}

} // namespace

TEST(PlaneEllipseFit, PointsOnAnEllipseGiveThatEllipseAsAClosedLoop)
{
    const Plane plane;
    struct Case {
        double a, b, rotation;
        int n;
    } cases[] = {{5, 5, 0, 8}, {8, 3, 0.7, 12}, {8, 3, -2.0, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " x " << c.b << ", " << c.n << " points");
        std::vector<Point3> points = ellipse_points(plane, c.a, c.b, c.rotation, c.n);
        const PointMatrix rows = FemurAnalyser::fit_plane_ellipse(points);
        ASSERT_EQ(rows.rows(), 31);
        ASSERT_EQ(rows.cols(), 3);
        EXPECT_LT((rows.row(30) - rows.row(0)).norm(), 1e-9);
        for (Eigen::Index r = 0; r < 31; ++r) {
            // In the plane, and on the ellipse: (x/a)^2 + (y/b)^2 = 1 in its own axes.
            const Point3 d = row_point(rows, r) - plane.centre;
            EXPECT_NEAR(dot(d, plane.normal()), 0.0, 1e-9);
            const double x = dot(d, plane.e1), y = dot(d, plane.e2);
            const double along = std::cos(c.rotation) * x + std::sin(c.rotation) * y;
            const double across = -std::sin(c.rotation) * x + std::cos(c.rotation) * y;
            EXPECT_NEAR(along * along / (c.a * c.a) + across * across / (c.b * c.b), 1.0, 1e-9);
        }
        // Row 0 ends a semi-axis; row 15 lies opposite it through the centre.
        const double start = std::sqrt(squared_distance(row_point(rows, 0), plane.centre));
        EXPECT_NEAR(std::min(std::fabs(start - c.a), std::fabs(start - c.b)), 0.0, 1e-9);
        EXPECT_LT(length(row_point(rows, 0) + row_point(rows, 15) - 2.0 * plane.centre), 1e-9);

        // Another order of the same points, or a scaled copy, gives the same curve (scaled).
        std::reverse(points.begin(), points.end());
        const PointMatrix reversed = FemurAnalyser::fit_plane_ellipse(points);
        ASSERT_EQ(reversed.rows(), 31);
        EXPECT_LT(length(mean_row(reversed.topRows(30)) - plane.centre), 1e-9);
        for (Point3& p : points)
            p = plane.centre + 2.5 * (p - plane.centre);
        const PointMatrix scaled = FemurAnalyser::fit_plane_ellipse(points);
        ASSERT_EQ(scaled.rows(), 31);
        const double scaled_start = std::sqrt(squared_distance(row_point(scaled, 0), plane.centre));
        EXPECT_NEAR(
            std::min(std::fabs(scaled_start - 2.5 * c.a), std::fabs(scaled_start - 2.5 * c.b)), 0.0,
            1e-8);
    }
}

TEST(PlaneEllipseFit, WhatIsNoRealEllipseComesBackUnchanged)
{
    const Plane plane;
    std::vector<Point3> hyperbola;
    for (const double x : {0.5, 1.0, 2.0, 4.0, -0.5, -1.0, -2.0, -4.0})
        hyperbola.push_back(plane.at(x, 1.0 / x));
    std::vector<Point3> line;
    for (int k = 0; k < 8; ++k)
        line.push_back(plane.at(k, 2.0 * k));
    std::vector<Point3> five = ellipse_points(plane, 4, 2, 0.1, 5);
    for (const std::vector<Point3>* points : {&hyperbola, &line, &five}) {
        const PointMatrix rows = FemurAnalyser::fit_plane_ellipse(*points);
        expect_unchanged(rows, *points);
        EXPECT_TRUE(rows.allFinite());
    }
    EXPECT_EQ(FemurAnalyser::fit_plane_ellipse({}).rows(), 0);
}
