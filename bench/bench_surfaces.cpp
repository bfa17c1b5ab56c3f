#include "bench/bench_surfaces.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <utility>

namespace {

constexpr double pi = 3.141592653589793;
constexpr double half_length = 60.0;
constexpr double shaft_radius = 14.0;

// The surface point at polar parameter t (0 at the lower pole, pi at the upper) and angle phi.
Point3 surface_point(double t, double phi)
{
    // Wider ends than middle, as a long bone; a few low bumps break every symmetry.
    const double profile = 1.0 + 0.25 * std::cos(2.0 * t) * std::cos(2.0 * t);
    const double bumps = 1.0 + 0.08 * std::sin(3.0 * phi + t) * std::sin(2.0 * t);
    const double rho = shaft_radius * std::sin(t) * profile * bumps;
    return {rho * std::cos(phi), 0.85 * rho * std::sin(phi), -half_length * std::cos(t)};
}

} // namespace

Mesh bumpy_bone(std::int64_t vertex_count, double phase)
{
    // Rings along the length, segments around; their ratio keeps the facets roughly square.
    const auto segments =
        std::max<std::int64_t>(8, std::llround(std::sqrt(static_cast<double>(vertex_count) / 2.2)));
    const std::int64_t rings = std::max<std::int64_t>(3, (vertex_count - 2) / segments);
    Mesh mesh;
    mesh.positions.reserve(static_cast<std::size_t>(rings * segments + 2));
    mesh.positions.push_back(surface_point(0.0, 0.0));
    for (std::int64_t r = 0; r < rings; ++r) {
        const double t =
            pi * (static_cast<double>(r) + 1.0 - 0.5 + phase) / static_cast<double>(rings);
        for (std::int64_t s = 0; s < segments; ++s) {
            const double phi =
                2.0 * pi * (static_cast<double>(s) + phase) / static_cast<double>(segments);
            mesh.positions.push_back(surface_point(t, phi));
        }
    }
    mesh.positions.push_back(surface_point(pi, 0.0));
    const std::int64_t top = rings * segments + 1;
    const auto at = [segments](std::int64_t r, std::int64_t s) {
        return 1 + r * segments + (s % segments);
    };
    // Outward winding: counter-clockwise seen from outside.
    for (std::int64_t s = 0; s < segments; ++s)
        mesh.triangles.push_back(triangle(0, at(0, s + 1), at(0, s)));
    for (std::int64_t r = 0; r + 1 < rings; ++r)
        for (std::int64_t s = 0; s < segments; ++s) {
            mesh.triangles.push_back(triangle(at(r, s), at(r, s + 1), at(r + 1, s + 1)));
            mesh.triangles.push_back(triangle(at(r, s), at(r + 1, s + 1), at(r + 1, s)));
        }
    for (std::int64_t s = 0; s < segments; ++s)
        mesh.triangles.push_back(triangle(top, at(rings - 1, s), at(rings - 1, s + 1)));
    return mesh;
}

Mesh open_bumpy_bone(std::int64_t vertex_count, double phase)
{
    // The pole is the first vertex and its fan the first triangles.
    const Mesh closed = bumpy_bone(vertex_count + 1, phase);
    Mesh open;
    open.positions.assign(closed.positions.begin() + 1, closed.positions.end());
    open.triangles.reserve(closed.triangles.size());
    for (const Triangle& t : closed.triangles) {
        const auto& c = t.vertex;
        if (c[0] != 0 && c[1] != 0 && c[2] != 0)
            open.triangles.push_back(triangle(c[0] - 1, c[1] - 1, c[2] - 1));
    }
    return open;
}

std::vector<Point3> points_off_surface(const Mesh& mesh, double distance)
{
    const std::vector<Point3> normals = vertex_normals(mesh);
    std::vector<Point3> points;
    points.reserve(mesh.positions.size());
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        const double side = i % 2 == 0 ? distance : -distance;
        points.push_back(mesh.positions[i] + side * normals[i]);
    }
    return points;
}

Mesh subdivided(const Mesh& mesh)
{
    Mesh finer;
    finer.positions = mesh.positions;
    std::map<std::pair<std::int64_t, std::int64_t>, std::int64_t> midpoints;
    const auto midpoint = [&](std::int64_t a, std::int64_t b) {
        const auto key = std::minmax(a, b);
        const auto found = midpoints.find(key);
        if (found != midpoints.end())
            return found->second;
        const auto added = static_cast<std::int64_t>(finer.positions.size());
        const Point3& p = mesh.positions[static_cast<std::size_t>(a)];
        const Point3& q = mesh.positions[static_cast<std::size_t>(b)];
        finer.positions.push_back(0.5 * (p + q));
        midpoints.emplace(key, added);
        return added;
    };
    for (const Triangle& t : mesh.triangles) {
        const auto [a, b, c] = t.vertex;
        const std::int64_t ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
        for (const Triangle& part :
             {triangle(a, ab, ca), triangle(ab, b, bc), triangle(ca, bc, c), triangle(ab, bc, ca)})
            finer.triangles.push_back(part);
    }
    return finer;
}

bool copy_femur_licence(const std::string& femur_path, const std::string& directory)
{
    namespace fs = std::filesystem;
    const fs::path licence = fs::path(femur_path).parent_path() / "LICENSE";
    const fs::path copy = fs::path(directory) / "LICENSE";
    std::error_code error;
    fs::remove(copy, error);
    if (!fs::copy_file(licence, copy, error))
        return false;
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add, error);
    return true;
}
