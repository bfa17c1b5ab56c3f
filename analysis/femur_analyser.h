// Anatomical landmarks and landcurves of a proximal femur, placed from its own curvature.
#pragma once

#include "surface/surface.h"

#include <Eigen/Dense>

#include <cstdint>
#include <vector>

// Names of the items that the femur analysis adds; a surface holding any of them already is not
// analysed again.
constexpr const char* crest_landmark_name = "Posterosuperior point on intertrochanteric crest";
constexpr const char* fossa_landmark_name = "Deepest point of trochanteric fossa";
constexpr const char* fovea_landmark_name = "Fovea capitis centre";
constexpr const char* shaft_landcurve_name = "Shaft at lesser trochanter";
constexpr const char* head_neck_landcurve_name = "Head-neck boundary";
constexpr const char* lesser_trochanter_landcurve_name = "Lesser trochanter";

// One 3-D point per row (x, y, z). A fitted closed curve has 31 rows, the last repeating the
// first.
using PointMatrix = Eigen::MatrixXd;

// One analysis of one surface: created, run once with analyse_proximal_femur, destroyed.
// The steps talk to each other only through the members below.
class FemurAnalyser {
public:
    std::vector<std::vector<Point3>> contours; // closed zero crossings of the coarse curvature
    std::vector<Point3> head_contour;          // the contour taken as head-neck junction
    std::vector<Point3> crest_candidates;      // averaged into crest_point
    std::vector<Point3> fossa_points;          // averaged into fossa_point
    std::vector<Point3> head_points;           // the head vertices of the sphere fit
    PointMatrix head_neck_boundary;
    PointMatrix lesser_trochanter;
    PointMatrix shaft_slice;
    double head_radius = 0.0;
    Point3 head_centre;
    Point3 crest_point;
    Point3 fossa_point;
    Point3 fovea;
    Point3 fossa_reference; // between the lesser-trochanter centre and the crest point
    bool boundary_failed = false;
    bool lesser_trochanter_failed = false; // also set with boundary_failed
    bool crest_failed = false;
    bool head_fit_failed = false;
    std::uint8_t side = 1; // 1 right, 0 left
    Surface* surface = nullptr;
    // The bone's proximal direction, along which the steps measure height (proximal_direction
    // of the surface, set by analyse_proximal_femur).
    Point3 height_axis{0, 0, 1};
    // One value per vertex: the coarse smoothing during the contour steps, the fine one during
    // the head, crest and fossa steps; owned by run_femur_analysis and valid only while it runs.
    const double* smoothed_curvature = nullptr;

    // Resets the analyser, runs the analysis on the surface and appends to the surface the
    // landcurves and landmarks it could place; side is 0 left, 1 right. Failures are silent
    // apart from the standard-error line of the boundary step.
    void analyse_proximal_femur(Surface& surface, std::uint8_t side);
    // Smooths the curvature at two scales, traces the contours and runs the anatomical steps,
    // each only when the ones it needs succeeded.
    void run_femur_analysis(Surface& surface);

    // Chooses the head-neck contour and fits it; on failure sets boundary_failed and
    // lesser_trochanter_failed and writes "Failed to find boundary of FH" on standard error.
    void find_head_neck_boundary(Surface& surface);
    // Withdraws the head-neck boundary and what was built on it: sets boundary_failed and
    // lesser_trochanter_failed, empties the contour and the fitted curves, and writes "Failed to
    // find boundary of FH" on standard error.
    void reject_head_neck_boundary();
    // Chooses the lesser-trochanter contour and fits it; sets lesser_trochanter_failed when none
    // qualifies.
    void find_lesser_trochanter(Surface& surface);
    // Fits the vertices within 1 mm of the lesser trochanter's mean height along the main axis;
    // leaves shaft_slice empty when there are none.
    void slice_shaft_at_lesser_trochanter(Surface& surface);
    // Sphere fit to the head above the boundary and the fovea; sets head_fit_failed when there
    // is no head vertex.
    void fit_femoral_head(Surface& surface);
    // Whether the fitted head stands on the head-neck boundary as a femoral head does: the
    // boundary rings the head's axis on the shaft side, close to the head sphere and at least
    // half as wide as the head, and the fovea lies within a few millimetres of the sphere.
    // False without a fitted head.
    bool boundary_rings_fitted_head() const;
    // Posterosuperior point on the intertrochanteric crest; sets crest_failed when a filter
    // leaves nothing.
    void find_crest_point(Surface& surface);
    // Deepest point of the trochanteric fossa; leaves fossa_points empty when a filter leaves
    // nothing.
    void find_fossa_point(Surface& surface);

    // The points' best-fit plane ellipse sampled at 31 angles (the last closing the loop), or
    // the points unchanged when the conic is no real ellipse or there are fewer than six points.
    static PointMatrix fit_plane_ellipse(const std::vector<Point3>& points);
};

// Where "up" is on a proximal femur: the main natural axis (from the rim towards the head end)
// when the surface has a natural frame, that is a closed longest rim; else the file's +z.
Point3 proximal_direction(const Surface& surface);

// The analyser being run; the sort orders below reach their data through it.
extern FemurAnalyser* current_analyser;

// Sort orders on vertex indices, true when a comes first. They read current_analyser.
bool compare_height(std::int64_t a, std::int64_t b);             // higher along height_axis
bool compare_axis0_offset(std::int64_t a, std::int64_t b);       // lower along u from the crest
bool compare_smoothed_curvature(std::int64_t a, std::int64_t b); // larger curvature first
bool compare_plane_offset(std::int64_t a, std::int64_t b);       // farther along the head normal
bool compare_axis2_distance(std::int64_t a, std::int64_t b);     // nearer the trochanter along w
