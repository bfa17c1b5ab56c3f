#include "analysis/rims_and_natural_axes.h"

#include "surface/least_squares.h"
#include "surface/thread_pool.h"
#include "surface/unfilled_vector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <iostream>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr double axis_fit_tolerance = 1e-6;

std::size_t index(std::int64_t i) { return static_cast<std::size_t>(i); }

// The sides of triangles that no other side shares (the boundary edges), each as its triangle
// lists its corners and in triangle order, so that the chain numbers and loop start vertices are
// the same on every run. The sides are filed by their lower corner in file order (a counting
// sort) and each vertex's few sorted by their other corner, so that equal edges lie together; no
// hash table of every edge is needed. Index is the narrowest type that counts both the vertices
// and the sides, which halves what the filing touches on any surface of fewer than 4G of each.
// The threads each take a range of lower corners, file their sides (scanning all of them) and
// judge them: every thread writes its own part of the filing and its own sides' flags, and the
// sides come out in triangle order whatever the thread count.
// Calls take(side, a, b) for every side in triangle order: side 3 t + k of triangle t runs from
// its corner k to corner k + 1 (mod 3). Walking triangles rather than dividing side numbers
// keeps the scans, which every thread makes over all sides, cheap.
template <typename Take> void for_each_side(const std::vector<Triangle>& triangles, Take&& take)
{
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        const auto& c = triangles[t].vertex;
        take(3 * t, c[0], c[1]);
        take(3 * t + 1, c[1], c[2]);
        take(3 * t + 2, c[2], c[0]);
    }
}

template <typename Index>
std::vector<std::array<std::int64_t, 2>> lone_sides(const std::vector<Triangle>& triangles,
                                                    std::int64_t top)
{
    const std::size_t side_count = 3 * triangles.size();
    // start[v] .. start[v + 1]: the sides whose lower corner is v.
    const std::size_t vertex_count = index(top + 1);
    UnfilledVector<Index> start(vertex_count + 1);
    std::fill(start.begin(), start.end(), Index{0});
    for_each_side(triangles, [&start](std::size_t, std::int64_t a, std::int64_t b) {
        ++start[index(std::min(a, b)) + 1];
    });
    for (std::size_t v = 1; v < start.size(); ++v)
        start[v] += start[v - 1];
    struct FiledSide {
        Index other; // the higher corner
        Index side;
    };
    UnfilledVector<FiledSide> filed(side_count);
    UnfilledVector<std::uint8_t> lone(side_count); // every entry is written below
    const auto threads = static_cast<std::size_t>(worker_thread_count());
    parallel_for(vertex_count, (vertex_count + threads - 1) / threads,
                 [&](std::size_t first, std::size_t past) {
                     std::vector<Index> next(start.begin() + static_cast<std::ptrdiff_t>(first),
                                             start.begin() + static_cast<std::ptrdiff_t>(past));
                     for_each_side(
                         triangles, [&](std::size_t side, std::int64_t a, std::int64_t b) {
                             const std::size_t low = index(std::min(a, b));
                             if (low >= first && low < past)
                                 filed[next[low - first]++] = {static_cast<Index>(std::max(a, b)),
                                                               static_cast<Index>(side)};
                         });
                     for (std::size_t v = first; v < past; ++v) {
                         const auto from = filed.begin() + static_cast<std::ptrdiff_t>(start[v]);
                         const auto to = filed.begin() + static_cast<std::ptrdiff_t>(start[v + 1]);
                         std::sort(from, to, [](const FiledSide& x, const FiledSide& y) {
                             return x.other != y.other ? x.other < y.other : x.side < y.side;
                         });
                         for (auto group = from; group != to;) {
                             auto past_group = group;
                             while (past_group != to && past_group->other == group->other)
                                 ++past_group;
                             for (auto entry = group; entry != past_group; ++entry)
                                 lone[entry->side] = past_group - group == 1 ? 1 : 0;
                             group = past_group;
                         }
                     }
                 });
    filed = {};
    std::vector<std::array<std::int64_t, 2>> sides;
    sides.reserve(static_cast<std::size_t>(std::count(lone.begin(), lone.end(), 1)));
    for_each_side(triangles, [&](std::size_t side, std::int64_t a, std::int64_t b) {
        if (lone[side] != 0)
            sides.push_back({a, b});
    });
    return sides;
}

std::vector<std::array<std::int64_t, 2>> boundary_edges(const std::vector<Triangle>& triangles)
{
    std::int64_t top = -1;
    for (const Triangle& triangle : triangles)
        for (const std::int64_t v : triangle.vertex)
            top = std::max(top, v);
    constexpr auto narrow = static_cast<std::uint64_t>(std::numeric_limits<std::uint32_t>::max());
    if (static_cast<std::uint64_t>(top + 2) <= narrow && 3 * triangles.size() <= narrow)
        return lone_sides<std::uint32_t>(triangles, top);
    return lone_sides<std::size_t>(triangles, top);
}

// The directed boundary edges, taken from the list by chaining: the first remaining edge starts
// a chain, and the chain follows the first remaining edge leaving its last vertex.
class BoundaryEdges {
public:
    explicit BoundaryEdges(std::vector<std::array<std::int64_t, 2>> edges)
        : edges_(std::move(edges)), removed_(edges_.size(), false), remaining_(edges_.size())
    {
        for (std::size_t i = 0; i < edges_.size(); ++i)
            leaving_[edges_[i][0]].indices.push_back(i);
    }

    std::size_t remaining() const { return remaining_; }

    std::array<std::int64_t, 2> take_first()
    {
        while (removed_[next_])
            ++next_;
        remove(next_);
        return edges_[next_];
    }

    // The end vertex of the first remaining edge that starts at `vertex`, removed; -1 if none.
    std::int64_t take_leaving(std::int64_t vertex)
    {
        const auto found = leaving_.find(vertex);
        if (found == leaving_.end())
            return -1;
        Leaving& leaving = found->second;
        while (leaving.cursor < leaving.indices.size() && removed_[leaving.indices[leaving.cursor]])
            ++leaving.cursor;
        if (leaving.cursor == leaving.indices.size())
            return -1;
        const std::size_t i = leaving.indices[leaving.cursor];
        remove(i);
        return edges_[i][1];
    }

private:
    struct Leaving {
        std::vector<std::size_t> indices; // in list order
        std::size_t cursor = 0;           // entries before it are removed
    };

    void remove(std::size_t i)
    {
        removed_[i] = true;
        --remaining_;
    }

    std::vector<std::array<std::int64_t, 2>> edges_;
    std::vector<bool> removed_;
    std::size_t remaining_;
    std::size_t next_ = 0; // entries before it are removed
    std::unordered_map<std::int64_t, Leaving> leaving_;
};

Point3 unit(const Point3& v)
{
    Point3 result;
    return normalized(result, v);
}

bool has_landcurve(const Surface& surface, const std::string& name)
{
    return std::any_of(surface.landcurves.begin(), surface.landcurves.end(),
                       [&](const Landcurve& curve) { return curve.name == name; });
}

// A chain lists a closed loop's start vertex again at its end; entries 0 .. L-2 are its points.
void record_chain(Surface& surface, const std::vector<std::int64_t>& chain, std::size_t number)
{
    const std::size_t last = chain.size() - 1;
    const std::string name = "auto-detected rim " + std::to_string(number);
    if (chain.size() > 3 && !has_landcurve(surface, name)) {
        Landcurve curve;
        curve.name = name;
        curve.partner = -1;
        curve.closed = true;
        for (std::size_t i = 0; i < last; ++i) {
            Landmark point;
            point.position = surface.positions[index(chain[i])];
            curve.points.push_back(point);
        }
        curve.control_points = curve.points;
        surface.landcurves.push_back(curve);
    }

    const std::vector<Point3>& shown = surface.shown_positions();
    for (std::size_t i = 0; i < last; ++i) {
        const Point3& p = shown[index(chain[i])];
        const Point3& previous = shown[index(chain[i == 0 ? last - 1 : i - 1])];
        const Point3& next = shown[index(chain[i + 1 == last ? 0 : i + 1])];
        surface.rim_direction[index(chain[i])] = unit(unit(p - previous) + unit(next - p));
        ++surface.rim_vertex_count;
    }
}

// The loop vertices in loop order, then every other vertex within two triangle steps of the loop,
// in ascending index order.
void add_two_ring_band(Surface& surface, std::size_t vertex_count)
{
    std::vector<std::uint8_t> flags(vertex_count, 0);
    for (const std::int64_t v : surface.rim_band)
        flags[index(v)] = 1;
    std::vector<std::uint8_t> marks(vertex_count, 0);
    for (int pass = 0; pass < 2; ++pass) {
        for (const Triangle& triangle : surface.triangles) {
            const auto& c = triangle.vertex;
            for (int k = 0; k < 3; ++k) {
                if (flags[index(c[static_cast<std::size_t>(k)])] != 0) {
                    marks[index(c[static_cast<std::size_t>((k + 1) % 3)])] = 1;
                    marks[index(c[static_cast<std::size_t>((k + 2) % 3)])] = 1;
                    break;
                }
            }
        }
        flags = marks;
    }
    for (const std::int64_t v : surface.rim_band)
        marks[index(v)] = 0;
    for (std::size_t v = 0; v < vertex_count; ++v) {
        if (marks[v] != 0)
            surface.rim_band.push_back(static_cast<std::int64_t>(v));
    }
}

Point3 normal_of(const Surface& surface, std::int64_t v)
{
    return index(v) < surface.normals.size() ? surface.normals[index(v)] : Point3{};
}

Point3 axis_from_angles(double theta, double phi)
{
    return {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
}

// A unit vector perpendicular to the unit vector u.
Point3 any_perpendicular(const Point3& u)
{
    const Point3 helper = std::fabs(u.x) <= std::fabs(u.y) && std::fabs(u.x) <= std::fabs(u.z)
                              ? Point3{1, 0, 0}
                          : std::fabs(u.y) <= std::fabs(u.z) ? Point3{0, 1, 0}
                                                             : Point3{0, 0, 1};
    return unit(cross(u, helper));
}

// The frame of a closed longest rim, whose loop vertices rim_band holds in loop order.
void fit_natural_axes(Surface& surface)
{
    const std::size_t loop_length = surface.rim_band.size();
    add_two_ring_band(surface, surface.positions.size());

    // Start from the axis perpendicular to the normals a quarter of the loop apart. Its azimuth
    // keeps its quadrant: atan(y / x) would start an axis with negative x mirrored in the
    // xy-plane, up to 90 degrees away, from where the fit can settle on a wrong axis. A zero
    // axis (parallel normals) starts at azimuth 0.
    const Point3 c = unit(cross(normal_of(surface, surface.rim_band[0]),
                                normal_of(surface, surface.rim_band[loop_length / 4])));
    double angles[2] = {std::acos(std::clamp(c.z, -1.0, 1.0)), std::atan2(c.y, c.x)};
    std::vector<double> residuals(surface.rim_band.size());
    std::int64_t info = 0;
    run_lmdif(natural_axis_residuals, &surface, static_cast<std::int64_t>(surface.rim_band.size()),
              2, angles, residuals.data(), axis_fit_tolerance, info);
    Point3 u = axis_from_angles(angles[0], angles[1]);

    Point3 band_sum;
    for (const std::int64_t v : surface.rim_band)
        band_sum = band_sum + surface.positions[index(v)];
    const Point3 o = (1.0 / static_cast<double>(surface.rim_band.size())) * band_sum;
    surface.rim_centroid = o;

    double reach = 0.0;
    double farthest = 0.0;
    std::int64_t far_vertex = -1;
    Point3 far_offset;
    for (std::size_t v = 0; v < surface.positions.size(); ++v) {
        const Point3 d = surface.positions[v] - o;
        const double h = dot(d, u);
        reach = std::max(reach, std::fabs(h));
        const Point3 e = d - h * u;
        if (dot(e, e) > farthest) {
            farthest = dot(e, e);
            far_vertex = static_cast<std::int64_t>(v);
            far_offset = e;
        }
    }
    // Every vertex on the axis line leaves no direction to point v at; any perpendicular keeps
    // the frame orthonormal and the mirror a reflection.
    const Point3 v = far_vertex < 0 ? any_perpendicular(u) : unit(far_offset);
    if (far_vertex >= 0 && dot(surface.positions[index(far_vertex)] - o, u) < 0.0)
        u = -1.0 * u;
    const Point3 w = cross(u, v);

    Matrix4& axes = surface.natural_axes;
    set_identity(axes);
    const std::array<Point3, 3> columns = {u, v, w};
    for (int col = 0; col < 3; ++col) {
        axes[4 * col] = columns[static_cast<std::size_t>(col)].x;
        axes[4 * col + 1] = columns[static_cast<std::size_t>(col)].y;
        axes[4 * col + 2] = columns[static_cast<std::size_t>(col)].z;
    }
    surface.axial_extent = reach - std::fabs(dot(surface.centroid - o, u));

    const std::array<double, 3> wc = {w.x, w.y, w.z};
    set_identity(surface.mirror);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            surface.mirror[4 * col + row] =
                (row == col ? 1.0 : 0.0) -
                2.0 * wc[static_cast<std::size_t>(row)] * wc[static_cast<std::size_t>(col)];
    }
}

} // namespace

int natural_axis_residuals(void* context, int m, int /*n*/, const double* x, double* fvec,
                           int /*iflag*/)
{
    const Surface& surface = *static_cast<const Surface*>(context);
    const Point3 u = axis_from_angles(x[0], x[1]);
    for (int i = 0; i < m; ++i)
        fvec[i] = dot(u, normal_of(surface, surface.rim_band[static_cast<std::size_t>(i)]));
    return 0;
}

void find_rims_and_natural_axes(Surface& surface)
{
    set_identity(surface.natural_axes);
    set_identity(surface.mirror);
    surface.mirror[0] = -1.0;
    surface.axial_extent = 0.0;
    surface.rim_band.clear();
    surface.rim_centroid = {};

    std::vector<std::array<std::int64_t, 2>> boundary = boundary_edges(surface.triangles);
    std::fill(surface.on_rim.begin(), surface.on_rim.end(), 0);
    for (const auto& [first, second] : boundary) {
        surface.on_rim[index(first)] = 1;
        surface.on_rim[index(second)] = 1;
    }
    BoundaryEdges edges(std::move(boundary));
    std::size_t chain_number = 0;
    while (edges.remaining() >= 2) {
        const auto start = edges.take_first();
        std::vector<std::int64_t> chain = {start[0], start[1]};
        while (chain.back() != chain.front() && edges.remaining() > 0) {
            const std::int64_t next = edges.take_leaving(chain.back());
            if (next < 0)
                break;
            chain.push_back(next);
        }
        if (chain.size() > surface.rim_band.size())
            surface.rim_band = chain;
        record_chain(surface, chain, chain_number);
        ++chain_number;
    }

    if (surface.rim_band.empty()) {
        std::fill(surface.on_rim.begin(), surface.on_rim.end(), 0);
        return;
    }
    if (surface.rim_band.back() != surface.rim_band.front()) {
        std::cerr << "WARNING: open rim found in find_rims_and_natural_axes\n";
        std::fill(surface.on_rim.begin(), surface.on_rim.end(), 0);
        return;
    }
    surface.rim_band.pop_back();
    fit_natural_axes(surface);
}

bool has_natural_frame(const Surface& surface)
{
    // Only a closed longest rim leaves rim flags, and only it gives the surface its frame.
    return std::any_of(surface.on_rim.begin(), surface.on_rim.end(),
                       [](std::uint8_t flag) { return flag != 0; });
}
