#include "analysis/gaussian_curvature.h"

#include "surface/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double pi = 3.141592653589793;
constexpr SmoothingPasses surface_smoothing{2, 8};
// Each vertex's value comes from its own lists and the values of the pass before alone, so
// the vertices are spread over the threads in chunks of this many.
constexpr std::size_t vertices_per_chunk = 2048;

double corner_angle(double adjacent1, double adjacent2, double opposite)
{
    const double cosine = (adjacent1 * adjacent1 + adjacent2 * adjacent2 - opposite * opposite) /
                          (2.0 * adjacent1 * adjacent2);
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

std::size_t index(std::int64_t i) { return static_cast<std::size_t>(i); }

} // namespace

CurvatureMesh build_curvature_mesh(const std::vector<Point3>& positions,
                                   const std::vector<Triangle>& triangles)
{
    CurvatureMesh mesh;
    const std::size_t triangle_count = triangles.size();
    mesh.areas.resize(triangle_count);
    mesh.angles.resize(triangle_count);
    mesh.edge_lengths.resize(triangle_count);
    mesh.incident.resize(positions.size());
    for (std::size_t t = 0; t < triangle_count; ++t) {
        const auto& corner = triangles[t].vertex;
        const Point3& p = positions[index(corner[0])];
        const Point3& q = positions[index(corner[1])];
        const Point3& r = positions[index(corner[2])];
        const double a = std::sqrt(squared_distance(q, r));
        const double b = std::sqrt(squared_distance(p, r));
        const double c = std::sqrt(squared_distance(p, q));
        mesh.edge_lengths[t] = {a, b, c};
        const double s = (a + b + c) / 2.0;
        // Rounding can push the product of a sliver below zero; its area is 0, not NaN.
        mesh.areas[t] = std::sqrt(std::max(0.0, s * (s - a) * (s - b) * (s - c)));
        if (a == 0.0 || b == 0.0 || c == 0.0)
            mesh.angles[t] = {0.0, 0.0, 0.0};
        else
            mesh.angles[t] = {corner_angle(b, c, a), corner_angle(c, a, b), corner_angle(b, a, c)};
        for (const std::int64_t v : corner)
            mesh.incident[index(v)].push_back(static_cast<std::int64_t>(t));
    }

    // listed_for[n] == v marks n as already in v's list: a lookup per corner instead of a search
    // of the list, which would take quadratic time about a vertex with a huge fan.
    std::vector<std::size_t> listed_for(positions.size(), positions.size());
    mesh.neighbourhoods.resize(positions.size());
    for (std::size_t v = 0; v < positions.size(); ++v) {
        std::vector<std::int64_t>& list = mesh.neighbourhoods[v];
        list.push_back(static_cast<std::int64_t>(v));
        listed_for[v] = v;
        for (const std::int64_t t : mesh.incident[v]) {
            for (const std::int64_t other : triangles[index(t)].vertex) {
                if (listed_for[index(other)] != v) {
                    listed_for[index(other)] = v;
                    list.push_back(other);
                }
            }
        }
    }
    return mesh;
}

std::vector<double> raw_gaussian_curvature(const CurvatureMesh& mesh,
                                           const std::vector<Triangle>& triangles,
                                           const std::vector<std::uint8_t>& on_rim)
{
    std::vector<double> curvature(mesh.incident.size(), 0.0);
    parallel_for_each(mesh.incident.size(), vertices_per_chunk, [&](std::size_t v) {
        double angle_sum = 0.0;
        double area_sum = 0.0;
        for (const std::int64_t t : mesh.incident[v]) {
            const auto& corner = triangles[index(t)].vertex;
            // A triangle naming v at two corners has a zero-length edge and so zero angles.
            const auto k = static_cast<std::size_t>(
                std::find(corner.begin(), corner.end(), static_cast<std::int64_t>(v)) -
                corner.begin());
            angle_sum += mesh.angles[index(t)][k];
            area_sum += mesh.areas[index(t)];
        }
        // Without incident area (an unused vertex, or only degenerate triangles) the deficit
        // has nothing to spread over; 0 keeps infinities out of the filters and the matching.
        if (area_sum > 0.0)
            curvature[v] = 2.0 * (2.0 * pi - angle_sum) / area_sum;
    });
    for (std::size_t v = 0; v < on_rim.size() && v < curvature.size(); ++v) {
        if (on_rim[v] != 0)
            curvature[v] = 0.0;
    }
    return curvature;
}

void median_filter_pass(const CurvatureMesh& mesh, const std::vector<double>& source,
                        std::vector<double>& destination)
{
    destination.resize(source.size());
    parallel_for_each(mesh.neighbourhoods.size(), vertices_per_chunk, [&](std::size_t v) {
        thread_local std::vector<double> values;
        values.clear();
        for (const std::int64_t n : mesh.neighbourhoods[v])
            values.push_back(source[index(n)]);
        std::sort(values.begin(), values.end());
        const std::size_t half = values.size() / 2;
        destination[v] =
            values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
    });
}

void mean_filter_pass(const CurvatureMesh& mesh, const std::vector<double>& source,
                      std::vector<double>& destination)
{
    destination.resize(source.size());
    parallel_for_each(mesh.neighbourhoods.size(), vertices_per_chunk, [&](std::size_t v) {
        double sum = 0.0;
        for (const std::int64_t n : mesh.neighbourhoods[v])
            sum += source[index(n)];
        destination[v] = sum / static_cast<double>(mesh.neighbourhoods[v].size());
    });
}

void compute_gaussian_curvature(Surface& surface)
{
    const CurvatureMesh mesh = build_curvature_mesh(surface.positions, surface.triangles);
    surface.curvature = smooth_curvature(
        mesh, raw_gaussian_curvature(mesh, surface.triangles, surface.on_rim), surface_smoothing);
}

std::vector<double> smooth_curvature(const CurvatureMesh& mesh, std::vector<double> values,
                                     const SmoothingPasses& passes)
{
    std::vector<double> next;
    for (int pass = 0; pass < passes.median; ++pass) {
        median_filter_pass(mesh, values, next);
        values.swap(next);
    }
    for (int pass = 0; pass < passes.mean; ++pass) {
        mean_filter_pass(mesh, values, next);
        values.swap(next);
    }
    return values;
}
