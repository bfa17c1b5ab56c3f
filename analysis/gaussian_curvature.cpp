#include "analysis/gaussian_curvature.h"

#include "surface/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

constexpr double pi = 3.141592653589793;
// Angle deficits (radians) at most this small are rounding noise on a vertex that lies in a
// flat part of the surface, or on a straight crease between two flat triangles: a vertex that
// adds nothing to the shape, such as every vertex a midpoint subdivision inserts.
constexpr double flat_deficit = 1e-9;
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

double triangle_area(const std::array<double, 3>& sides)
{
    const auto [a, b, c] = sides;
    const double s = (a + b + c) / 2.0;
    // Rounding can push the product of a sliver below zero; its area is 0, not NaN.
    return std::sqrt(std::max(0.0, s * (s - a) * (s - b) * (s - c)));
}

double triangle_corner_angle(const std::array<double, 3>& sides, std::size_t corner)
{
    const auto [a, b, c] = sides;
    if (a == 0.0 || b == 0.0 || c == 0.0)
        return 0.0;
    return corner == 0   ? corner_angle(b, c, a)
           : corner == 1 ? corner_angle(c, a, b)
                         : corner_angle(b, a, c);
}

std::array<double, 3> side_lengths(const std::vector<Point3>& positions, const Triangle& triangle)
{
    const auto& corner = triangle.vertex;
    const Point3& p = positions[index(corner[0])];
    const Point3& q = positions[index(corner[1])];
    const Point3& r = positions[index(corner[2])];
    return {std::sqrt(squared_distance(q, r)), std::sqrt(squared_distance(p, r)),
            std::sqrt(squared_distance(p, q))};
}

namespace {

// The incident triangles by a counting sort over the corners, so each list keeps triangle
// order. Each thread files the corners of one range of vertices, scanning all triangles: the
// threads write apart and no list needs merging.
void fill_incident_triangles(std::size_t vertex_count, const std::vector<Triangle>& triangles,
                             VertexLists& incident)
{
    incident.start.assign(vertex_count + 1, 0);
    for (const Triangle& triangle : triangles)
        for (const std::int64_t v : triangle.vertex)
            ++incident.start[index(v) + 1];
    for (std::size_t v = 1; v <= vertex_count; ++v)
        incident.start[v] += incident.start[v - 1];
    incident.items.resize(incident.start.back());
    // start[v] serves as v's fill cursor and so ends as start[v + 1]; shifted back below.
    const auto threads = static_cast<std::size_t>(worker_thread_count());
    parallel_for(vertex_count, (vertex_count + threads - 1) / threads,
                 [&](std::size_t first, std::size_t past) {
                     for (std::size_t t = 0; t < triangles.size(); ++t)
                         for (const std::int64_t corner : triangles[t].vertex) {
                             const std::size_t v = index(corner);
                             if (v >= first && v < past)
                                 incident.items[incident.start[v]++] = static_cast<std::int64_t>(t);
                         }
                 });
    std::copy_backward(incident.start.begin(), incident.start.end() - 1, incident.start.end());
    incident.start[0] = 0;
}

// Fans up to this many triangles are deduplicated by searching the list made so far; larger
// ones by sorting, so that a vertex with a huge fan costs no quadratic time.
constexpr std::size_t searched_fan_size = 16;

// v's neighbourhood into `list`: v, then every corner of its incident triangles in order, each
// at its first appearance only.
void gather_neighbourhood(const VertexLists& incident, const std::vector<Triangle>& triangles,
                          std::size_t v, std::vector<std::int64_t>& list)
{
    list.clear();
    list.push_back(static_cast<std::int64_t>(v));
    const VertexLists::List fan = incident[v];
    if (fan.size() <= searched_fan_size) {
        for (const std::int64_t t : fan)
            for (const std::int64_t other : triangles[index(t)].vertex)
                if (std::find(list.begin(), list.end(), other) == list.end())
                    list.push_back(other);
        return;
    }
    for (const std::int64_t t : fan)
        for (const std::int64_t other : triangles[index(t)].vertex)
            list.push_back(other);
    // Keep the first appearance of each vertex: sort the positions by vertex (stable, so the
    // first comes first), mark the later ones, then drop them.
    thread_local std::vector<std::size_t> order;
    order.resize(list.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&list](std::size_t x, std::size_t y) { return list[x] < list[y]; });
    thread_local std::vector<std::uint8_t> later;
    later.assign(list.size(), 0);
    for (std::size_t i = 1; i < order.size(); ++i)
        if (list[order[i]] == list[order[i - 1]])
            later[order[i]] = 1;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (later[i] == 0)
            list[kept++] = list[i];
    list.resize(kept);
}

// One pass counts, so that the second fills arrays of the exact size; each vertex's list
// depends on its own fan alone, so both passes run over the threads.
void fill_neighbourhoods(const VertexLists& incident, const std::vector<Triangle>& triangles,
                         VertexLists& neighbourhoods)
{
    const std::size_t vertex_count = incident.size();
    neighbourhoods.start.resize(vertex_count + 1);
    neighbourhoods.start[0] = 0;
    parallel_for_each(vertex_count, vertices_per_chunk, [&](std::size_t v) {
        thread_local std::vector<std::int64_t> list;
        gather_neighbourhood(incident, triangles, v, list);
        neighbourhoods.start[v + 1] = list.size();
    });
    for (std::size_t v = 1; v <= vertex_count; ++v)
        neighbourhoods.start[v] += neighbourhoods.start[v - 1];
    neighbourhoods.items.resize(neighbourhoods.start.back());
    parallel_for_each(vertex_count, vertices_per_chunk, [&](std::size_t v) {
        thread_local std::vector<std::int64_t> list;
        gather_neighbourhood(incident, triangles, v, list);
        std::copy(list.begin(), list.end(),
                  neighbourhoods.items.begin() +
                      static_cast<std::ptrdiff_t>(neighbourhoods.start[v]));
    });
}

} // namespace

CurvatureMesh build_curvature_mesh(const std::vector<Point3>& positions,
                                   const std::vector<Triangle>& triangles)
{
    CurvatureMesh mesh;
    fill_incident_triangles(positions.size(), triangles, mesh.incident);
    fill_neighbourhoods(mesh.incident, triangles, mesh.neighbourhoods);
    return mesh;
}

CurvatureMeasure curvature_measure(const CurvatureMesh& mesh, const std::vector<Point3>& positions,
                                   const std::vector<Triangle>& triangles,
                                   const std::vector<std::uint8_t>& on_rim)
{
    // Each corner's angle is needed once, by its own vertex, so the triangle geometry is
    // computed where it is used rather than kept per triangle; the areas and angles are the
    // very same values either way.
    CurvatureMeasure measure;
    measure.deficit.assign(mesh.incident.size(), 0.0);
    measure.incident_area.assign(mesh.incident.size(), 0.0);
    parallel_for_each(mesh.incident.size(), vertices_per_chunk, [&](std::size_t v) {
        double angle_sum = 0.0;
        double area_sum = 0.0;
        for (const std::int64_t t : mesh.incident[v]) {
            const auto& corner = triangles[index(t)].vertex;
            // A triangle naming v at two corners has a zero-length edge and so zero angles.
            const auto k = static_cast<std::size_t>(
                std::find(corner.begin(), corner.end(), static_cast<std::int64_t>(v)) -
                corner.begin());
            const std::array<double, 3> sides = side_lengths(positions, triangles[index(t)]);
            angle_sum += triangle_corner_angle(sides, k);
            area_sum += triangle_area(sides);
        }
        const bool rim = v < on_rim.size() && on_rim[v] != 0;
        measure.deficit[v] = rim ? 0.0 : 2.0 * pi - angle_sum;
        measure.incident_area[v] = area_sum;
    });
    return measure;
}

std::vector<double> patch_curvature(const CurvatureMesh& mesh, const std::vector<Point3>& positions,
                                    const CurvatureMeasure& measure, double radius)
{
    const double radius2 = radius * radius;
    std::vector<double> curvature(mesh.neighbourhoods.size(), 0.0);
    parallel_for_each(mesh.neighbourhoods.size(), vertices_per_chunk, [&](std::size_t v) {
        // Marks of the patches this thread has walked: a vertex is in the current one when its
        // mark equals the walk's number.
        thread_local std::vector<std::uint32_t> mark;
        thread_local std::uint32_t walk = 0;
        thread_local std::vector<std::int64_t> queue;
        if (mark.size() != positions.size() || walk == UINT32_MAX) {
            mark.assign(positions.size(), 0);
            walk = 0;
        }
        ++walk;
        queue.assign(1, static_cast<std::int64_t>(v));
        mark[v] = walk;
        double deficit = 0.0;
        double area = 0.0;
        for (std::size_t next = 0; next < queue.size(); ++next) {
            const std::size_t u = index(queue[next]);
            deficit += measure.deficit[u];
            area += measure.incident_area[u] / 3.0;
            for (const std::int64_t n : mesh.neighbourhoods[u]) {
                if (mark[index(n)] != walk &&
                    squared_distance(positions[index(n)], positions[v]) <= radius2) {
                    mark[index(n)] = walk;
                    queue.push_back(n);
                }
            }
        }
        if (area > 0.0)
            curvature[v] = deficit / area;
    });
    return curvature;
}

std::vector<double> raw_gaussian_curvature(const CurvatureMesh& mesh,
                                           const std::vector<Point3>& positions,
                                           const std::vector<Triangle>& triangles,
                                           const std::vector<std::uint8_t>& on_rim)
{
    return raw_gaussian_curvature(curvature_measure(mesh, positions, triangles, on_rim));
}

std::vector<double> raw_gaussian_curvature(const CurvatureMeasure& measure)
{
    std::vector<double> curvature(measure.deficit.size(), 0.0);
    for (std::size_t v = 0; v < curvature.size(); ++v) {
        // Without incident area (an unused vertex, or only degenerate triangles) the deficit
        // has nothing to spread over; 0 keeps infinities out of the filters and the matching.
        if (measure.incident_area[v] > 0.0)
            curvature[v] = 2.0 * measure.deficit[v] / measure.incident_area[v];
    }
    return curvature;
}

std::vector<double> refinement_invariant_curvature(const CurvatureMesh& mesh,
                                                   const CurvatureMeasure& measure,
                                                   const std::vector<std::uint8_t>& on_rim)
{
    const std::size_t count = measure.deficit.size();
    const auto is_rim = [&](std::size_t v) { return v < on_rim.size() && on_rim[v] != 0; };
    const auto is_curved = [&](std::size_t v) {
        return !is_rim(v) && !(std::fabs(measure.deficit[v]) <= flat_deficit);
    };
    const auto curved_neighbours = [&](std::size_t v) {
        std::size_t curved = 0;
        for (const std::int64_t n : mesh.neighbourhoods[v])
            curved += is_curved(index(n)) ? 1 : 0;
        return curved;
    };

    // A flat vertex's area goes to its curved neighbours in equal shares, in vertex order.
    std::vector<double> area = measure.incident_area;
    for (std::size_t v = 0; v < count; ++v) {
        if (is_rim(v) || is_curved(v))
            continue;
        const std::size_t curved = curved_neighbours(v);
        for (const std::int64_t n : mesh.neighbourhoods[v]) {
            if (curved > 0 && is_curved(index(n)))
                area[index(n)] += measure.incident_area[v] / static_cast<double>(curved);
        }
    }
    std::vector<double> curvature(count, 0.0);
    for (std::size_t v = 0; v < count; ++v) {
        if (is_curved(v) && area[v] > 0.0)
            curvature[v] = 2.0 * measure.deficit[v] / area[v];
    }
    // A flat vertex then takes the mean of its curved neighbours' values; rim vertices and
    // flat vertices among flat ones keep 0.
    for (std::size_t v = 0; v < count; ++v) {
        if (is_rim(v) || is_curved(v))
            continue;
        const std::size_t curved = curved_neighbours(v);
        if (curved == 0)
            continue;
        double sum = 0.0;
        for (const std::int64_t n : mesh.neighbourhoods[v]) {
            if (is_curved(index(n)))
                sum += curvature[index(n)];
        }
        curvature[v] = sum / static_cast<double>(curved);
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
    // The measure goes before the smoothing passes allocate theirs.
    surface.curvature = smooth_curvature(
        mesh, raw_gaussian_curvature(mesh, surface.positions, surface.triangles, surface.on_rim),
        surface_smoothing);
}

SurfaceCurvature surface_curvature(const Surface& surface)
{
    SurfaceCurvature curvature;
    curvature.mesh = build_curvature_mesh(surface.positions, surface.triangles);
    curvature.measure =
        curvature_measure(curvature.mesh, surface.positions, surface.triangles, surface.on_rim);
    return curvature;
}

void compute_gaussian_curvature(Surface& surface, const SurfaceCurvature& curvature)
{
    surface.curvature = smooth_curvature(curvature.mesh, raw_gaussian_curvature(curvature.measure),
                                         surface_smoothing);
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
