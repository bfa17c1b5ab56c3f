#include "registration/map_files.h"

#include "registration/data_mapping.h"
#include "registration/match_range.h"
#include "registration/pairing.h"
#include "registration/projection.h"
#include "registration/registration_type.h"
#include "surface/annotation.h"
#include "surface/barycentric.h"
#include "surface/c_locale.h"
#include "surface/output_surface_names.h"
#include "surface/status_log.h"
#include "surface/whole_file.h"

#include <cmath>
#include <utility>
#include <vector>

namespace {

const char* output_suffix(int registration_type)
{
    if (registration_type < 0 || registration_type >= registration_type_count)
        return "";
    return registration_type_suffixes[static_cast<std::size_t>(registration_type)];
}

std::string passes_text(std::int64_t passes, const char* format)
{
    return passes > 0 ? c_format(format, static_cast<long>(passes)) : std::string();
}

Point3 interpolated(const std::vector<Point3>& values, const std::array<std::int64_t, 3>& corner,
                    const std::array<double, 2>& weights)
{
    const auto size = static_cast<std::int64_t>(values.size());
    for (const std::int64_t v : corner)
        if (v < 0 || v >= size)
            return {};
    return barycentric(weights, values[static_cast<std::size_t>(corner[0])],
                       values[static_cast<std::size_t>(corner[1])],
                       values[static_cast<std::size_t>(corner[2])]);
}

} // namespace

bool map_has_data(const WorkingState& state)
{
    return state.lr_data_loaded && state.hr_surface->data_list != 0;
}

std::string lr_hr_map_name(const WorkingState& state, int registration_type)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    const char* suffix = output_suffix(registration_type);
    if (!map_has_data(state))
        return lr.path_stem + "-" + hr.name + suffix + ".csv";
    return state.lr_data_name + passes_text(lr.hr_smoothing_steps, "_%liHR") +
           passes_text(lr.smoothing_steps, "_%liLR") + "-" + state.hr_data_name +
           passes_text(hr.smoothing_steps, "_%liHR") + suffix + ".csv";
}

bool write_lr_hr_map(const WorkingState& state, const std::string& path, double r2, bool with_data)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    std::string text;
    const auto value_text = [](const Surface& surface, std::size_t i) {
        if (i >= surface.sigma.size() || i >= surface.data.size() ||
            surface.sigma[i] == missing_value)
            return std::string("invalid");
        return c_format("%f", surface.data[i]);
    };
    for (std::size_t i = 0; i < static_cast<std::size_t>(lr.vertex_count); ++i) {
        const std::int64_t j = partner_within_range(lr, i, r2);
        const bool matched = j >= 0;
        std::string line = c_format("%lld,", static_cast<long long>(i));
        line += matched ? c_format("%lld", static_cast<long long>(j)) : "unmatched";
        if (with_data) {
            line += "," + value_text(lr, i) + ",";
            line += matched ? value_text(hr, static_cast<std::size_t>(j)) : "unmatched";
        }
        text += line + "\n";
    }
    return write_whole_file(path, text);
}

namespace {

// Every LR deformed position mapped into HR file coordinates by the current registration.
std::vector<Point3> registered_lr_positions(const WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    const Matrix4 to_hr =
        product(product(state.hr_surface->from_centred, state.current_transform), lr.to_centred);
    std::vector<Point3> registered(lr.deformed_positions.size());
    for (std::size_t i = 0; i < registered.size(); ++i)
        transform_point(registered[i], to_hr, lr.deformed_positions[i]);
    return registered;
}

Landmark project_onto_registered(const WorkingState& state, const std::vector<Point3>& registered,
                                 const Landmark& hr_landmark, Point3* normal)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    Landmark result;
    if (registered.empty() || lr.positions.size() != registered.size())
        return result;
    const Point3& p = hr_landmark.position;
    std::size_t nearest = 0;
    double nearest2 = squared_distance(p, registered[0]);
    for (std::size_t i = 1; i < registered.size(); ++i) {
        const double distance2 = squared_distance(p, registered[i]);
        if (distance2 < nearest2) {
            nearest2 = distance2;
            nearest = i;
        }
    }

    const Point3 direction = static_cast<double>(lr.max_radius) *
                             interpolated(hr.normals, hr_landmark.triangle, hr_landmark.weights);
    const LineHit hit = nearest_line_hit(registered, lr.triangles, p, direction);
    Point3 unit_normal;
    if (hit.found && hit.distance < std::sqrt(nearest2)) {
        result.position = interpolated(lr.positions, hit.triangle, hit.weights);
        result.triangle = hit.triangle;
        result.weights = hit.weights;
        normalized(unit_normal, interpolated(lr.normals, hit.triangle, hit.weights));
    } else {
        const auto e = static_cast<std::int64_t>(nearest);
        result.position = lr.positions[nearest];
        result.triangle = {e, e, e};
        result.weights = {0.0, 0.0};
        unit_normal = nearest < lr.normals.size() ? lr.normals[nearest] : Point3{};
    }
    tangent_frame(unit_normal, result.tangent1, result.tangent2);
    if (normal != nullptr)
        *normal = unit_normal;
    return result;
}

} // namespace

Landmark project_onto_registered_lr(const WorkingState& state, const Landmark& hr_landmark,
                                    Point3* normal)
{
    return project_onto_registered(state, registered_lr_positions(state), hr_landmark, normal);
}

std::string mapped_landmarks_name(const Surface& lr)
{
    return lr.path_stem + mapped_landmarks_ending;
}

bool append_mapped_landmarks(WorkingState& state, int registration_type)
{
    Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    const std::string ending = " (" + hr.name + output_suffix(registration_type) + ")";
    const std::vector<Point3> registered = registered_lr_positions(state);
    // Items and lines are made first: a line that would not read back as its item (the HR file
    // name is part of every mapped name) refuses the whole file before it is written. The items
    // join the LR lists only once the file holds them too.
    Surface mapped_items;
    std::vector<std::string> lines;
    for (const Landmark& landmark : hr.landmarks) {
        Point3 normal;
        Landmark mapped = project_onto_registered(state, registered, landmark, &normal);
        mapped.name = landmark.name + ending;
        mapped.partner = -1;
        lines.push_back(landmark_annotation(mapped.name, mapped.position, normal));
        mapped_items.landmarks.push_back(std::move(mapped));
    }
    for (const Landcurve& curve : hr.landcurves) {
        if (is_rim_curve(curve))
            continue;
        Landcurve mapped;
        mapped.name = curve.name + ending;
        mapped.partner = -1;
        mapped.closed = curve.closed;
        lines.push_back(landcurve_header_annotation(
            mapped.name, curve.closed, static_cast<std::int64_t>(curve.control_points.size())));
        for (const Landmark& point : curve.control_points) {
            Point3 normal;
            const Landmark projected = project_onto_registered(state, registered, point, &normal);
            lines.push_back(curve_point_annotation(projected.position, normal));
            mapped.control_points.push_back(projected);
        }
        mapped.points = mapped.control_points;
        mapped_items.landcurves.push_back(std::move(mapped));
    }
    if (!annotation_lines_read_back(lines, mapped_items)) {
        log_status("Could not add comment to ply file");
        return false;
    }
    std::string text;
    for (const std::string& line : lines)
        text += "comment " + line + "\n";
    if (!append_to_whole_file(mapped_landmarks_name(lr), text)) {
        log_status("Could not write landmark map file");
        return false;
    }
    for (Landmark& landmark : mapped_items.landmarks)
        lr.landmarks.push_back(std::move(landmark));
    for (Landcurve& curve : mapped_items.landcurves)
        lr.landcurves.push_back(std::move(curve));
    return true;
}

bool save_lr_hr_map(WorkingState& state, int registration_type, double r2)
{
    const bool with_data = map_has_data(state);
    const bool map_written =
        write_lr_hr_map(state, lr_hr_map_name(state, registration_type), r2, with_data);
    if (map_written)
        log_status(with_data ? "Saved LR-HR vertex and data map" : "Saved LR-HR vertex map");
    else
        log_status("Could not write map file");
    return append_mapped_landmarks(state, registration_type) && map_written;
}
