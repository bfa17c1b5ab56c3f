#include "surface/ply_surface_writer.h"

#include "registration/registration_type.h"
#include "registration/tps_warp.h"
#include "surface/annotation.h"
#include "surface/barycentric.h"
#include "surface/c_locale.h"
#include "surface/output_surface_names.h"
#include "surface/ply_file.h"
#include "surface/status_log.h"
#include "surface/whole_file.h"

#include <wx/strconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

bool is_utf8(const std::string& text)
{
    return text.empty() ||
           wxConvUTF8.ToWChar(nullptr, 0, text.data(), text.size()) != wxCONV_FAILED;
}

// The PLY bytes of a surface, built in memory through the PLY layer. False after logging the
// message of the step that failed.
bool build_ply_bytes(const PlySurface& surface, const std::string& write_failure,
                     std::string& bytes)
{
    for (const std::string& comment : surface.comments) {
        if (!is_utf8(comment)) {
            log_status("Could not add comment to ply file");
            return false;
        }
    }
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&data, &size);
    if (memory == nullptr) {
        log_status(write_failure);
        return false;
    }
    // The stream is closed (and its buffer released) on every path.
    const auto release = [&] {
        std::fclose(memory);
        std::free(data);
    };
    p_ply ply = ply_create_to_file(memory, PLY_LITTLE_ENDIAN, nullptr, 0, nullptr);
    if (!ply) {
        release();
        log_status(write_failure);
        return false;
    }
    const auto fail = [&](const char* message) {
        ply.reset();
        release();
        log_status(message);
        return false;
    };
    for (const std::string& comment : surface.comments)
        if (!ply_add_comment(ply.get(), comment.c_str()))
            return fail("Could not add comment to ply file");
    const auto vertex_count = static_cast<std::int64_t>(surface.positions.size());
    const auto triangle_count = static_cast<std::int64_t>(surface.triangles.size());
    if (!ply_add_element(ply.get(), "vertex", vertex_count))
        return fail("Could not add element to ply file");
    for (const char* name : {"x", "y", "z"})
        if (!ply_add_scalar_property(ply.get(), name, PLY_FLOAT))
            return fail("Could not add property to ply file");
    if (!ply_add_element(ply.get(), "face", triangle_count))
        return fail("Could not add element to ply file");
    if (!ply_add_list_property(ply.get(), "vertex_indices", PLY_UCHAR, PLY_UINT))
        return fail("Could not add property to ply file");
    if (!ply_write_header(ply.get()))
        return fail("Could not write header to ply file");
    for (const Point3& p : surface.positions)
        if (!ply_write(ply.get(), p.x) || !ply_write(ply.get(), p.y) || !ply_write(ply.get(), p.z))
            return fail("Could not write vertex to ply file");
    for (const Triangle& t : surface.triangles) {
        if (!ply_write(ply.get(), 3))
            return fail("Could not write vertex index list length to ply file");
        for (std::int64_t corner : t.vertex)
            if (!ply_write(ply.get(), static_cast<double>(corner)))
                return fail("Could not write vertex index to ply file");
    }
    const bool flushed = ply_close(std::move(ply)) != 0;
    const bool closed = std::fclose(memory) == 0;
    if (flushed && closed)
        bytes.assign(data, size);
    std::free(data);
    if (!flushed || !closed) {
        log_status(write_failure);
        return false;
    }
    return true;
}

// n / |n|, or n itself when it has no length.
Point3 unit(const Point3& n)
{
    Point3 result;
    return normalized(result, n);
}

// The normal interpolated from normals at the point's triangle; zero when the triangle is not
// one of the surface's.
Point3 interpolated_normal(const std::vector<Point3>& normals, const Landmark& point)
{
    Point3 n;
    interpolate_at_triangle(normals, point, n);
    return n;
}

// The annotation comments of surface, refused (after the message of a refused comment) when one
// would not read back as the item it was built from: a name holding a keyword of another kind
// of line, a line break, or a point that is no finite number.
bool build_annotation_comments(const Surface& surface, const AnnotationPlacer& place,
                               std::vector<std::string>& comments)
{
    comments = annotation_comments(surface, place);
    if (annotation_lines_read_back(comments, surface))
        return true;
    log_status("Could not add comment to ply file");
    return false;
}

Matrix4 without_translation(Matrix4 m)
{
    m[12] = m[13] = m[14] = 0.0;
    return m;
}

} // namespace

bool interpolate_at_triangle(const std::vector<Point3>& values, const Landmark& point,
                             Point3& result)
{
    for (std::int64_t corner : point.triangle)
        if (corner < 0 || static_cast<std::uint64_t>(corner) >= values.size())
            return false;
    result = barycentric(point.weights, values[static_cast<std::size_t>(point.triangle[0])],
                         values[static_cast<std::size_t>(point.triangle[1])],
                         values[static_cast<std::size_t>(point.triangle[2])]);
    return true;
}

std::vector<std::string> annotation_comments(const Surface& surface, const AnnotationPlacer& place)
{
    std::vector<std::string> comments;
    if (surface.lad_radius_hint != -1.0)
        comments.push_back(lad_hint_annotation(surface.lad_radius_hint));
    Point3 position, normal;
    for (const Landmark& landmark : surface.landmarks) {
        place(landmark, position, normal);
        comments.push_back(landmark_annotation(landmark.name, position, normal));
    }
    for (const Landcurve& curve : surface.landcurves) {
        comments.push_back(landcurve_header_annotation(
            curve.name, curve.closed, static_cast<std::int64_t>(curve.control_points.size())));
        for (const Landmark& point : curve.control_points) {
            place(point, position, normal);
            comments.push_back(curve_point_annotation(position, normal));
        }
    }
    for (const Landmark& semilandmark : surface.semilandmarks) {
        place(semilandmark, position, normal);
        comments.push_back(semilandmark_annotation(position, normal));
    }
    return comments;
}

bool write_ply_surface(const std::string& path, const PlySurface& surface,
                       const std::string& write_failure)
{
    std::string bytes;
    if (!build_ply_bytes(surface, write_failure, bytes))
        return false;
    if (!write_whole_file(path, bytes)) {
        log_status(write_failure);
        return false;
    }
    return true;
}

std::string hr_surface_save_path(const Surface& hr)
{
    return hr.path_stem + resaved_surface_ending;
}

bool save_hr_surface(const WorkingState& state)
{
    const Surface& hr = *state.hr_surface;
    if (hr.vertex_count == 0) {
        log_status("Need LR and HR surfaces");
        return false;
    }
    log_status("Writing HR surface file");
    PlySurface file;
    const auto place = [&](const Landmark& point, Point3& position, Point3& normal) {
        position = point.position;
        normal = unit(interpolated_normal(hr.shown_normals(), point));
    };
    if (!build_annotation_comments(hr, place, file.comments))
        return false;
    file.positions = hr.positions;
    file.triangles = hr.triangles;
    if (!write_ply_surface(hr_surface_save_path(hr), file, "Could not write HR surface file"))
        return false;
    log_status("HR surface file saved");
    return true;
}

std::string lr_surface_save_path(const Surface& lr, const Surface& hr, const LrSaveChoice& choice)
{
    if (!choice.registration_page) {
        if (!choice.shape_model_loaded)
            return std::string();
        return lr.path_stem + c_format("-ssm_%d_%d.ply", choice.ssm_mode, choice.ssm_component);
    }
    if (choice.registration_type < 0 || choice.registration_type >= registration_type_count)
        return std::string();
    return lr.path_stem + "-" + hr.name +
           registration_type_suffixes[static_cast<std::size_t>(choice.registration_type)] + ".ply";
}

bool save_lr_surface(const WorkingState& state, const LrSaveChoice& choice)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    // The warp moves the annotation points only where the drawing shows them warped.
    const bool tps_mode = choice.registration_page && choice.registration_type == similarity_tps &&
                          !state.tps_warp.control_points.empty();
    if (lr.vertex_count == 0) {
        log_status("Need LR and HR surfaces");
        return false;
    }
    const std::string path = lr_surface_save_path(lr, hr, choice);
    if (path.empty()) {
        log_status("No current LR surface");
        return false;
    }
    const Matrix4 pose = product(product(hr.from_centred, state.current_transform), lr.to_centred);
    const Matrix4 linear = without_translation(pose);
    const bool mirrored = linear_determinant(state.current_transform) < 0.0;

    PlySurface file;
    const std::size_t n = std::min(lr.deformed_positions.size(), lr.selected.size());
    std::vector<std::int64_t> new_index(lr.deformed_positions.size(), -1);
    for (std::size_t i = 0; i < n; ++i) {
        if (lr.selected[i] == 0)
            continue;
        new_index[i] = static_cast<std::int64_t>(file.positions.size());
        file.positions.push_back(transformed(pose, lr.deformed_positions[i]));
    }
    for (const Triangle& t : lr.triangles) {
        Triangle written;
        bool kept = true;
        for (std::size_t c = 0; c < 3 && kept; ++c) {
            const std::int64_t corner = t.vertex[c];
            kept = corner >= 0 && static_cast<std::uint64_t>(corner) < new_index.size() &&
                   new_index[static_cast<std::size_t>(corner)] >= 0;
            if (kept)
                written.vertex[c] = new_index[static_cast<std::size_t>(corner)];
        }
        if (!kept)
            continue;
        // A mirroring pose would otherwise turn the surface inside out.
        if (mirrored)
            std::swap(written.vertex[0], written.vertex[2]);
        file.triangles.push_back(written);
    }
    if (file.triangles.empty()) {
        log_status("No LR triangles to save");
        return false;
    }
    log_status("Writing LR surface file");
    const auto place = [&](const Landmark& point, Point3& position, Point3& normal) {
        Point3 on_surface = point.position;
        if (tps_mode)
            on_surface = evaluate_tps(state.tps_warp, point.position);
        else
            interpolate_at_triangle(lr.deformed_positions, point, on_surface);
        position = transformed(pose, on_surface);
        normal = unit(transformed(linear, interpolated_normal(lr.deformed_normals, point)));
    };
    if (!build_annotation_comments(lr, place, file.comments))
        return false;
    if (!write_ply_surface(path, file, "Could not write LR surface file"))
        return false;
    log_status("LR surface file saved");
    return true;
}
