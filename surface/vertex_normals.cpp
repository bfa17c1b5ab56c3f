#include "surface/vertex_normals.h"

#include "surface/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

void compute_vertex_normals(Surface& surface)
{
    const auto vertex_count =
        static_cast<std::size_t>(std::max<std::int64_t>(surface.vertex_count, 0));
    surface.deformed_normals.assign(vertex_count, Point3{});
    const std::vector<Point3>& positions = surface.deformed_positions;
    const std::vector<Triangle>& triangles = surface.triangles;
    const std::size_t usable = std::min(vertex_count, positions.size());
    // Each thread owns a range of vertices and adds, in triangle order, the normals of the
    // triangles that touch its range: every vertex sums the same values in the same order on
    // every thread count, and no two threads write the same entry.
    const auto threads = static_cast<std::size_t>(worker_thread_count());
    parallel_for(
        vertex_count, (vertex_count + threads - 1) / threads,
        [&](std::size_t first, std::size_t past) {
            std::vector<std::int32_t> incidence(past - first, 0);
            const auto owned = [first, past](std::int64_t corner) {
                return static_cast<std::uint64_t>(corner) >= first &&
                       static_cast<std::uint64_t>(corner) < past;
            };
            for (const Triangle& triangle : triangles) {
                const auto& corners = triangle.vertex;
                if (!owned(corners[0]) && !owned(corners[1]) && !owned(corners[2]))
                    continue;
                bool inside = true;
                for (const std::int64_t corner : corners)
                    inside = inside && corner >= 0 && static_cast<std::uint64_t>(corner) < usable;
                if (!inside)
                    continue;
                const auto a = static_cast<std::size_t>(corners[0]);
                const auto b = static_cast<std::size_t>(corners[1]);
                const auto c = static_cast<std::size_t>(corners[2]);
                Point3 normal;
                normalized(normal, cross(positions[a] - positions[b], positions[a] - positions[c]));
                for (const std::size_t corner : {a, b, c}) {
                    if (corner < first || corner >= past)
                        continue;
                    surface.deformed_normals[corner] = surface.deformed_normals[corner] + normal;
                    ++incidence[corner - first];
                }
            }
            for (std::size_t v = first; v < past; ++v) {
                if (incidence[v - first] == 0)
                    continue;
                Point3& normal = surface.deformed_normals[v];
                normalized(normal, (1.0 / incidence[v - first]) * normal);
            }
        });
}
