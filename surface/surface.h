// The records that hold a triangulated surface and its annotations.
#pragma once

#include "surface/matrix4.h"
#include "surface/point3.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Marks a missing value in per-vertex arrays: no data, no match, invalid error.
constexpr double missing_value = 1e10;

struct Triangle {
    std::array<std::int64_t, 3> vertex{}; // in the winding order of the file
};

// A named point on a surface; also a semilandmark (no name) and a landcurve point.
struct Landmark {
    std::string name;
    Point3 position;               // file coordinates of its surface
    std::int64_t vertex_index = -1; // vertex named by the file; -1 when given by coordinates
    Point3 tangent1;               // curve tangent, or first sliding direction
    Point3 tangent2;               // second sliding direction of semilandmarks
    std::array<std::int64_t, 3> triangle{}; // corners of the triangle that holds the point
    std::array<double, 2> weights{};        // barycentric weights of corners 2 and 3
    std::int32_t partner = -1;              // equally named item on the other surface
};

struct Landcurve {
    std::string name;
    std::int32_t partner = -1;
    bool closed = false;
    std::vector<Landmark> points;         // working points: projected, resampled, slid
    std::vector<Landmark> control_points; // as read or picked; what the writers save
};

// Which position set a surface shows, matches and picks with.
enum class ShownShape { as_read, deformed };

struct Surface {
    std::string name;      // file name without its four-character extension
    std::string file_type; // ".ply" or ".wrl"
    std::string path_stem; // full path without the extension; base of every output name

    // Display-list ids, 0 = none.
    std::uint32_t shading_list = 0;
    std::uint32_t selection_list = 0;
    std::uint32_t error_list = 0;
    std::uint32_t abs_error_list = 0;
    std::uint32_t signed_error_list = 0;
    std::uint32_t data_list = 0;
    std::uint32_t curvature_list = 0;

    Point3 centroid;
    Matrix4 from_centred = identity_matrix(); // translation by +centroid
    Matrix4 to_centred = identity_matrix();   // translation by -centroid
    Point3 bbox_min{1e10, 1e10, 1e10};
    Point3 bbox_max{-1e10, -1e10, -1e10};
    float max_radius = 0.0f;
    float rms_radius = 0.0f;

    // positions/normals or deformed_positions/deformed_normals, used for drawing and picking.
    ShownShape shown = ShownShape::as_read;
    const std::vector<Point3>& shown_positions() const
    {
        return shown == ShownShape::deformed ? deformed_positions : positions;
    }
    const std::vector<Point3>& shown_normals() const
    {
        return shown == ShownShape::deformed ? deformed_normals : normals;
    }

    std::vector<std::int64_t> rim_band; // longest rim and its two-ring band
    std::vector<Landmark> landmarks;
    std::vector<Landcurve> landcurves;
    std::vector<Landmark> semilandmarks;

    std::vector<Point3> deformed_positions;
    std::vector<Point3> positions; // as read from the file
    // The five stored result shapes start as copies of the positions as read. They are made
    // only when a model first writes one (stored_result), so a loaded pair holds two position
    // sets per surface rather than seven: an empty one stands for the positions as read.
    std::vector<Point3> sim_lad_positions;
    std::vector<Point3> sim_tps_positions;
    std::vector<Point3> sim_ssm_positions;
    std::vector<Point3> aff_lad_positions;
    std::vector<Point3> aspect_lad_positions;
    std::vector<Point3> normals; // of the positions as read
    std::vector<Point3> deformed_normals;
    std::vector<Triangle> triangles;

    // Per-vertex arrays: exactly vertex_count entries while vertex_count is non-zero, empty
    // otherwise.
    std::vector<std::uint8_t> selected;
    std::vector<std::uint8_t> fussy;
    std::vector<std::uint8_t> on_rim;
    std::vector<Point3> rim_direction;
    std::int64_t rim_vertex_count = 0;
    std::int64_t landmark_pair_count = 0;
    std::int64_t curve_point_pair_count = 0;
    bool landmarks_changed = true;
    bool landmarks_repeated = false;
    std::uint8_t geometric_side = 0; // 1 right, 0 left
    std::vector<std::int64_t> match_index;
    std::vector<double> match_distance2; // missing_value = no match
    double match_range2 = -1.0;          // -1 forces a new matching
    std::vector<double> curvature;
    std::vector<double> data;
    std::vector<double> sigma; // missing_value = vertex without data
    std::int64_t smoothing_steps = 0;
    std::int64_t hr_smoothing_steps = 0;
    std::int64_t vertex_count = 0;
    std::int64_t normal_count = 0;
    std::int64_t triangle_count = 0;
    Matrix4 natural_axes = identity_matrix();
    Point3 rim_centroid;
    Matrix4 mirror = identity_matrix();
    double axial_extent = 0.0;
    bool is_femur = false;
    // What the femur analysis of the last load left out and why, as one text ("" when it
    // placed every item, or did not run): said after the load with the side check.
    std::string femur_analysis_note;
    double lad_radius_hint = -1.0;
    bool reader_reset = true;

    // Resizes the nine per-vertex arrays to vertex_count with the readers' start values
    // (selected 0, fussy 0, on_rim 0, rim_direction 0, match_index 0, match_distance2 1e10,
    // curvature 0, data 0, sigma 1).
    void allocate_vertex_arrays();
    // Empties the nine per-vertex arrays.
    void release_vertex_arrays();
    // Empties everything that clearing the working state empties, leaving the name, path, file
    // type, geometry, femur flag and geometric side as they are. Display lists are the view's
    // business and are not touched here.
    void clear();
};
