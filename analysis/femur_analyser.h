// Anatomical landmarks and landcurves of a proximal femur, placed from its own curvature.
#pragma once

#include "analysis/gaussian_curvature.h"
#include "surface/surface.h"

#include <Eigen/Dense>

#include <cstdint>
#include <string>
#include <vector>

// Names of the items that the femur analysis adds; a surface holding any of them already is not
// analysed again.
constexpr const char* crest_landmark_name = "Posterosuperior point on intertrochanteric crest";
constexpr const char* fossa_landmark_name = "Deepest point of trochanteric fossa";
constexpr const char* fovea_landmark_name = "Fovea capitis centre";
constexpr const char* shaft_landcurve_name = "Shaft at lesser trochanter";
constexpr const char* head_neck_landcurve_name = "Head-neck boundary";
constexpr const char* lesser_trochanter_landcurve_name = "Lesser trochanter";

// The directions every step of the analysis measures in, and the point its side tests are taken
// about. With a natural frame (a closed longest rim) they are the natural axes and the rim
// centroid. Without one the surface keeps its file axes: up is +z, the head side +x and across
// +y, the cyclic order of the file axes that keeps the frame right-handed with +z up, taken
// about the centroid (there is no rim to take them about).
struct FemurFrame {
    Point3 u{0, 0, 1}; // up: proximal, along the shaft towards the head end
    Point3 v{1, 0, 0}; // towards the head's side of the bone
    Point3 w{0, 1, 0}; // u x v; a right femur has its lesser trochanter on the +w side
    Point3 origin;
};
FemurFrame femur_frame(const Surface& surface);

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
    // Set by analyse_proximal_femur from the surface (femur_frame).
    FemurFrame frame;
    // The side handed in is the name's, and the bone's own shape says the other: nothing that
    // depends on the side (lesser trochanter, shaft slice, crest, fossa) is placed.
    bool side_contradicted = false;
    // Items found but not added because they lie where no femur has them, or because they are
    // built on one that does (check_items_against_head).
    struct Implausible {
        bool lesser_trochanter = false;
        bool shaft_slice = false;
        bool crest = false;
        bool fossa = false;
    } implausible;
    // One text per item left out, saying which and why, in the order of the output items.
    std::vector<std::string> withheld;
    // One value per vertex: the coarse smoothing during the contour steps, the fine one during
    // the head, crest and fossa steps; owned by run_femur_analysis and valid only while it runs.
    const double* smoothed_curvature = nullptr;

    // Resets the analyser, runs the analysis on the surface and appends to the surface the
    // landcurves and landmarks it could place; side is 0 left, 1 right. With side_contradicted
    // the items that depend on the side are not looked for. An item that lies where no femur
    // has it is not added and is named in withheld; other failures are silent apart from the
    // standard-error line of the boundary step.
    // The second form takes the surface's curvature data as surface_curvature built it.
    void analyse_proximal_femur(Surface& surface, std::uint8_t side,
                                bool side_contradicted = false);
    void analyse_proximal_femur(Surface& surface, std::uint8_t side, bool side_contradicted,
                                const SurfaceCurvature& curvature);
    // Smooths the curvature at two scales, traces the contours and runs the anatomical steps,
    // each only when the ones it needs succeeded.
    void run_femur_analysis(Surface& surface, const SurfaceCurvature& curvature);

    // Chooses the head-neck contour and fits it; on failure sets boundary_failed and
    // lesser_trochanter_failed and writes "Failed to find boundary of FH" on standard error.
    void find_head_neck_boundary(Surface& bone);
    // Withdraws the head-neck boundary and what was built on it: sets boundary_failed and
    // lesser_trochanter_failed, empties the contour and the fitted curves, and writes "Failed to
    // find boundary of FH" on standard error.
    void reject_head_neck_boundary();
    // Chooses the lesser-trochanter contour and fits it; sets lesser_trochanter_failed when none
    // qualifies.
    void find_lesser_trochanter(Surface& bone);
    // Fits the vertices within 1 mm of the lesser trochanter's mean height along the main axis;
    // leaves shaft_slice empty when there are none.
    void slice_shaft_at_lesser_trochanter(Surface& bone);
    // Sphere fit to the head above the boundary and the fovea; sets head_fit_failed when there
    // is no head vertex.
    void fit_femoral_head(Surface& bone);
    // Whether the fitted head stands on the head-neck boundary as a femoral head does: the
    // boundary rings the head's axis on the shaft side, close to the head sphere and at least
    // half as wide as the head, and the fovea lies within a few millimetres of the sphere.
    // False without a fitted head.
    bool boundary_rings_fitted_head() const;
    // Checks the lesser trochanter, shaft slice, crest and fossa that were found against the
    // fitted head and the main axis: each must lie distal of the head centre and at a distance
    // from it where a femur has that item. One outside is marked in implausible and named in
    // withheld, and so is every item built on it. Needs a fitted head.
    void check_items_against_head();
    // What the analysis left out and why, as one clause for the status line: the items not
    // found (and those that need them), the items that depend on a contradicted side, then
    // those in withheld; "" when every item was placed.
    std::string left_out_note() const;
    // Posterosuperior point on the intertrochanteric crest; sets crest_failed when a filter
    // leaves nothing.
    void find_crest_point(Surface& bone);
    // Deepest point of the trochanteric fossa; leaves fossa_points empty when a filter leaves
    // nothing.
    void find_fossa_point(Surface& bone);

    // The points' best-fit plane ellipse sampled at 31 angles (the last closing the loop), or
    // the points unchanged when the conic is no real ellipse or there are fewer than six points.
    static PointMatrix fit_plane_ellipse(const std::vector<Point3>& points);
};

// Where "up" is on a proximal femur: femur_frame(surface).u.
Point3 proximal_direction(const Surface& surface);

// The analyser being run; the sort orders below reach their data through it.
extern FemurAnalyser* current_analyser;

// Sort orders on vertex indices, true when a comes first. They read current_analyser.
bool compare_height(std::int64_t a, std::int64_t b);             // higher along frame.u
bool compare_axis0_offset(std::int64_t a, std::int64_t b);       // lower along u from the crest
bool compare_smoothed_curvature(std::int64_t a, std::int64_t b); // larger curvature first
bool compare_plane_offset(std::int64_t a, std::int64_t b);       // farther along the head normal
bool compare_axis2_distance(std::int64_t a, std::int64_t b);     // nearer the trochanter along w
