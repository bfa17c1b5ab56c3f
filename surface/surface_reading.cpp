#include "surface/surface_reading.h"

#include "surface/annotation.h"
#include "surface/vertex_normals.h"

#include <utility>
#include <vector>

void reserve_vertices(Surface& read, std::size_t count)
{
    read.positions.reserve(count);
    read.deformed_positions.reserve(count);
}

void append_vertex(Surface& read, const Point3& position)
{
    read.positions.push_back(position);
    read.deformed_positions.push_back(position);
}

bool complete_read_surface(Surface& read, const char* file_type)
{
    const auto vertex_count = static_cast<std::int64_t>(read.positions.size());
    if (vertex_count <= 0 || read.vertex_count != vertex_count || read.triangles.empty() ||
        read.triangle_count != static_cast<std::int64_t>(read.triangles.size()))
        return false;
    if (read.deformed_positions.size() != read.positions.size())
        return false;
    for (const Triangle& triangle : read.triangles)
        for (const std::int64_t corner : triangle.vertex)
            if (corner < 0 || corner >= vertex_count)
                return false;
    read.allocate_vertex_arrays();
    read.rim_vertex_count = 0;
    resolve_annotation_vertices(read);
    read.normal_count = vertex_count;
    compute_vertex_normals(read);
    read.normals = read.deformed_normals;
    read.shown = ShownShape::as_read;
    read.file_type = file_type;
    read.reader_reset = false;
    return true;
}

void install_read_surface(Surface& target, Surface&& read)
{
    target.file_type = std::move(read.file_type);
    target.landmarks = std::move(read.landmarks);
    target.landcurves = std::move(read.landcurves);
    target.semilandmarks = std::move(read.semilandmarks);
    target.positions = std::move(read.positions);
    target.deformed_positions = std::move(read.deformed_positions);
    target.sim_lad_positions = std::move(read.sim_lad_positions);
    target.sim_tps_positions = std::move(read.sim_tps_positions);
    target.sim_ssm_positions = std::move(read.sim_ssm_positions);
    target.aff_lad_positions = std::move(read.aff_lad_positions);
    target.aspect_lad_positions = std::move(read.aspect_lad_positions);
    target.normals = std::move(read.normals);
    target.deformed_normals = std::move(read.deformed_normals);
    target.triangles = std::move(read.triangles);
    target.selected = std::move(read.selected);
    target.fussy = std::move(read.fussy);
    target.on_rim = std::move(read.on_rim);
    target.rim_direction = std::move(read.rim_direction);
    target.match_index = std::move(read.match_index);
    target.match_distance2 = std::move(read.match_distance2);
    target.curvature = std::move(read.curvature);
    target.data = std::move(read.data);
    target.sigma = std::move(read.sigma);
    target.rim_vertex_count = read.rim_vertex_count;
    target.vertex_count = read.vertex_count;
    target.normal_count = read.normal_count;
    target.triangle_count = read.triangle_count;
    target.lad_radius_hint = read.lad_radius_hint;
    target.shown = read.shown;
    target.reader_reset = read.reader_reset;
}
