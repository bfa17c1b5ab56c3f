#include "surface/mean_edge_lengths.h"

#include <cmath>

namespace {

double distance(const Point3& a, const Point3& b) { return std::sqrt(squared_distance(a, b)); }

// Mean over the triangles' sides of the positions mapped by transform; false without triangles.
bool mean_edge_length(const Surface& surface, const Matrix4& transform, double& mean)
{
    if (surface.triangle_count <= 0 || surface.triangles.empty())
        return false;
    const std::vector<Point3>& positions = surface.shown_positions();
    double sum = 0.0;
    for (const Triangle& triangle : surface.triangles) {
        Point3 corner[3];
        for (int k = 0; k < 3; ++k) {
            const std::int64_t v = triangle.vertex[static_cast<std::size_t>(k)];
            if (v < 0 || static_cast<std::uint64_t>(v) >= positions.size())
                return false;
            transform_point(corner[k], transform, positions[static_cast<std::size_t>(v)]);
        }
        sum += distance(corner[0], corner[1]) + distance(corner[0], corner[2]) +
               distance(corner[2], corner[1]);
    }
    mean = sum / (3.0 * static_cast<double>(surface.triangles.size()));
    return true;
}

} // namespace

bool compute_mean_edge_lengths(const Surface& hr, const Surface& lr, const Matrix4& lr_transform,
                               double& hr_mean, double& lr_mean)
{
    if (!mean_edge_length(hr, identity_matrix(), hr_mean))
        return false;
    return mean_edge_length(lr, lr_transform, lr_mean);
}
