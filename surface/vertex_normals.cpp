#include "surface/vertex_normals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

void compute_vertex_normals(Surface& surface)
{
    const auto vertex_count =
        static_cast<std::size_t>(std::max<std::int64_t>(surface.vertex_count, 0));
    surface.deformed_normals.assign(vertex_count, Point3{});
    std::vector<std::int32_t> incidence(vertex_count, 0);
    const std::vector<Point3>& positions = surface.deformed_positions;
    const std::size_t usable = std::min(vertex_count, positions.size());
    for (const Triangle& triangle : surface.triangles) {
        bool inside = true;
        for (const std::int64_t corner : triangle.vertex)
            inside = inside && corner >= 0 && static_cast<std::uint64_t>(corner) < usable;
        if (!inside)
            continue;
        const auto a = static_cast<std::size_t>(triangle.vertex[0]);
        const auto b = static_cast<std::size_t>(triangle.vertex[1]);
        const auto c = static_cast<std::size_t>(triangle.vertex[2]);
        Point3 normal;
        normalized(normal, cross(positions[a] - positions[b], positions[a] - positions[c]));
        for (const std::size_t corner : {a, b, c}) {
            surface.deformed_normals[corner] = surface.deformed_normals[corner] + normal;
            ++incidence[corner];
        }
    }
    for (std::size_t v = 0; v < vertex_count; ++v) {
        if (incidence[v] == 0)
            continue;
        Point3& normal = surface.deformed_normals[v];
        normalized(normal, (1.0 / incidence[v]) * normal);
    }
}
