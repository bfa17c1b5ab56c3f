// The three anatomical landmarks: the fovea on a sphere fitted to the femoral head, the
// posterosuperior point of the intertrochanteric crest and the deepest point of the trochanteric
// fossa, each found by a chain of filters over the vertices.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

using VertexList = std::vector<std::int64_t>;

const Point3& position(const Surface& surface, std::int64_t vertex)
{
    return surface.positions[static_cast<std::size_t>(vertex)];
}

// (B0 - B10) x (B0 - B20) of the boundary rows, turned to the head's side of v.
Point3 head_neck_normal(const FemurAnalyser& analyser)
{
    const PointMatrix& b = analyser.head_neck_boundary;
    const Point3 b0 = to_point(b.row(0).transpose());
    const Point3 n =
        cross(b0 - to_point(b.row(10).transpose()), b0 - to_point(b.row(20).transpose()));
    return dot(n, analyser.frame.v) < 0.0 ? -1.0 * n : n;
}

template <typename Keep> void keep_if(VertexList& vertices, Keep keep)
{
    vertices.erase(
        std::remove_if(vertices.begin(), vertices.end(), [&](std::int64_t v) { return !keep(v); }),
        vertices.end());
}

void sort_and_keep(VertexList& vertices, bool (*order)(std::int64_t, std::int64_t), double fraction)
{
    std::sort(vertices.begin(), vertices.end(), order);
    keep_leading_fraction(vertices, fraction);
}

std::vector<Point3> positions_of(const Surface& surface, const VertexList& vertices)
{
    std::vector<Point3> points;
    for (const std::int64_t v : vertices)
        points.push_back(position(surface, v));
    return points;
}

VertexList all_vertices(const Surface& surface)
{
    VertexList vertices(surface.positions.size());
    std::iota(vertices.begin(), vertices.end(), std::int64_t{0});
    return vertices;
}

// The highest boundary row (the first of equal ones) and the lowest boundary height, along the
// bone's proximal direction.
struct BoundaryHeights {
    Point3 top;
    double low = 0.0;
};

BoundaryHeights boundary_heights(const PointMatrix& boundary, const Point3& up)
{
    BoundaryHeights heights;
    if (boundary.rows() == 0)
        return heights;
    const Eigen::VectorXd height = boundary * to_eigen(up);
    Eigen::Index top = 0;
    for (Eigen::Index r = 1; r < boundary.rows(); ++r) {
        if (height(r) > height(top))
            top = r;
    }
    heights.top = to_point(boundary.row(top).transpose());
    heights.low = height.minCoeff();
    return heights;
}

// How far the head-neck boundary and the fovea may stray from the fitted head: the boundary rows
// within a band about the head sphere (fractions of its radius), the ring at least half as wide
// as the head and pierced by the head's axis near its middle, the head's centre not far on the
// shaft side of the ring's plane, and the fovea a shallow pit on the sphere.
constexpr double ring_nearest_to_head = 0.75;
constexpr double ring_farthest_from_head = 1.35;
constexpr double smallest_ring_radius = 0.5;
constexpr double largest_axis_offset = 0.5; // of the ring's radius
constexpr double deepest_head_centre = 0.25;
constexpr double fovea_tolerance_mm = 5.0;

} // namespace

bool compare_plane_offset(std::int64_t a, std::int64_t b)
{
    const Point3 n = head_neck_normal(*current_analyser);
    const Surface& surface = *current_analyser->surface;
    return dot(position(surface, a), n) > dot(position(surface, b), n);
}

void FemurAnalyser::fit_femoral_head(Surface& bone)
{
    // The normal needs boundary rows 0, 10 and 20; a short unfitted contour has no such rows.
    if (head_neck_boundary.rows() < 21) {
        head_fit_failed = true;
        return;
    }
    const Point3 n = head_neck_normal(*this);
    const Point3 centre = mean_row(head_neck_boundary);
    VertexList head = all_vertices(bone);
    keep_if(head, [&](std::int64_t v) { return dot(position(bone, v) - centre, n) > 0.0; });
    sort_and_keep(head, compare_plane_offset, 0.6);
    head_points = positions_of(bone, head);
    if (head_points.empty()) {
        head_fit_failed = true;
        return;
    }

    // Fixed-point iteration of the least-squares sphere: the centre moves to the mean plus the
    // mean radius times the mean unit direction from the points.
    const Point3 mean = mean_point(head_points);
    const auto count = static_cast<double>(head_points.size());
    Point3 c = mean;
    double radius = 0.0;
    for (int pass = 0; pass < 50; ++pass) {
        head_centre = c;
        double length_sum = 0.0;
        Point3 direction_sum;
        for (const Point3& p : head_points) {
            const double length = std::sqrt(squared_distance(p, c));
            length_sum += length;
            // A point at the centre has no direction; dividing by its zero length would spread
            // NaN through the centre, the radius and the fovea.
            if (length > 0.0)
                direction_sum = direction_sum + (1.0 / length) * (c - p);
        }
        radius = length_sum / count;
        c = mean + (radius / count) * direction_sum;
    }
    head_radius = radius;
    if (!std::isfinite(head_radius) || !std::isfinite(dot(head_centre, head_centre))) {
        head_fit_failed = true;
        return;
    }

    // The fovea is a pit: the head point deepest inside the sphere.
    fovea = head_points.front();
    double deepest = 0.0;
    for (const Point3& p : head_points) {
        const double depth = std::sqrt(squared_distance(p, head_centre)) - head_radius;
        if (depth < deepest) {
            deepest = depth;
            fovea = p;
        }
    }
}

bool FemurAnalyser::boundary_rings_fitted_head() const
{
    if (head_fit_failed || !(head_radius > 0.0) || head_neck_boundary.rows() < 21)
        return false;
    Point3 n;
    normalized(n, head_neck_normal(*this));
    const Point3 centre = mean_row(head_neck_boundary);
    const Point3 offset = head_centre - centre;
    const double along_axis = dot(offset, n);
    const double off_axis = std::sqrt(std::max(0.0, dot(offset, offset) - along_axis * along_axis));
    double ring_radius = 0.0;
    for (Eigen::Index r = 0; r < head_neck_boundary.rows(); ++r) {
        const Point3 row = to_point(head_neck_boundary.row(r).transpose());
        const double from_head = std::sqrt(squared_distance(row, head_centre));
        if (!(from_head >= ring_nearest_to_head * head_radius &&
              from_head <= ring_farthest_from_head * head_radius))
            return false;
        ring_radius += std::sqrt(squared_distance(row, centre));
    }
    ring_radius /= static_cast<double>(head_neck_boundary.rows());
    const double fovea_depth = std::sqrt(squared_distance(fovea, head_centre)) - head_radius;
    return dot(n, n) > 0.0 && ring_radius >= smallest_ring_radius * head_radius &&
           off_axis <= largest_axis_offset * ring_radius &&
           along_axis >= -deepest_head_centre * head_radius &&
           std::fabs(fovea_depth) <= fovea_tolerance_mm;
}

void FemurAnalyser::find_crest_point(Surface& bone)
{
    const double* kappa = smoothed_curvature;
    const Point3& v = frame.v;
    const BoundaryHeights boundary = boundary_heights(head_neck_boundary, frame.u);

    VertexList crest = all_vertices(bone);
    keep_if(crest, [&](std::int64_t k) { return kappa[k] > 0.0; });
    double sum = 0.0;
    for (const std::int64_t k : crest)
        sum += kappa[k];
    const double threshold = 4.0 * sum / static_cast<double>(crest.size());
    keep_if(crest, [&](std::int64_t k) { return kappa[k] >= threshold; });
    keep_if(crest, [&](std::int64_t k) { return dot(position(bone, k), frame.u) >= boundary.low; });
    keep_if(crest, [&](std::int64_t k) { return dot(position(bone, k) - boundary.top, v) <= 0.0; });
    sort_and_keep(crest, compare_axis2_distance, 0.25);
    sort_and_keep(crest, compare_height, 0.75);
    if (crest.size() == 1) {
        crest_point = position(bone, crest.front());
        std::fputs("bypassing curvature filter\n", stdout);
        return;
    }
    sum = 0.0;
    for (const std::int64_t k : crest)
        sum += kappa[k];
    const double mean = sum / static_cast<double>(crest.size());
    keep_if(crest, [&](std::int64_t k) { return kappa[k] >= mean; });
    crest_candidates = positions_of(bone, crest);
    if (crest_candidates.empty()) {
        crest_failed = true;
        return;
    }
    crest_point = mean_point(crest_candidates);
}

void FemurAnalyser::find_fossa_point(Surface& bone)
{
    const Point3& u = frame.u;
    const Point3& v = frame.v;
    const Point3& w = frame.w;
    const Point3 trochanter_centre = mean_row(lesser_trochanter);
    const BoundaryHeights boundary = boundary_heights(head_neck_boundary, frame.u);
    fossa_reference = trochanter_centre + 0.6 * (crest_point - trochanter_centre);
    // A right femur has its fossa on the negative side of w from the crest, a left one on the
    // positive side.
    const double sigma = side == 1 ? 1.0 : -1.0;

    VertexList fossa = all_vertices(bone);
    sort_and_keep(fossa, compare_smoothed_curvature, 0.5);
    keep_if(fossa,
            [&](std::int64_t k) { return dot(position(bone, k) - fossa_reference, u) >= 0.0; });
    keep_if(fossa, [&](std::int64_t k) { return dot(position(bone, k) - boundary.top, v) <= 0.0; });
    keep_if(fossa,
            [&](std::int64_t k) { return sigma * dot(position(bone, k) - crest_point, w) <= 0.0; });
    keep_if(fossa, [&](std::int64_t k) {
        return dot(bone.normals[static_cast<std::size_t>(k)], v) >= 0.0;
    });
    double offset_sum = 0.0;
    for (const std::int64_t k : fossa)
        offset_sum += std::fabs(dot(position(bone, k) - crest_point, w));
    const double mean_offset = offset_sum / static_cast<double>(fossa.size());
    keep_if(fossa, [&](std::int64_t k) {
        return std::fabs(dot(position(bone, k) - crest_point, w)) <= mean_offset;
    });
    sort_and_keep(fossa, compare_axis0_offset, 0.1);
    sort_and_keep(fossa, compare_smoothed_curvature, 0.5);
    fossa_points = positions_of(bone, fossa);
    if (!fossa_points.empty())
        fossa_point = mean_point(fossa_points);
}
