// One "Similarity + TPS" iteration: the HR counterparts of the LR landmarks, paired landcurve
// points and semilandmarks slide along their tangents on the HR surface towards the least bending
// energy of the thin-plate spline that carries the LR points onto them, and the spline is solved
// anew and warps the LR surface.
#pragma once

struct WorkingState;

// The messages of the two configurations that end a "Similarity + TPS" run.
extern const char* const repeated_landmarks_message;
extern const char* const degenerate_configuration_message;

// Two LR points closer than this are one point twice.
constexpr double repeated_point_distance = 1e-6;

// LR points whose least spread is at most this share of their largest lie in one plane: float
// storage and six-decimal text leave a flat set at about 1e-8, a bone's landmarks span 1e-2 and
// more.
constexpr double flat_set_thinness = 1e-4;

// The sliding step and the solve. Rows: every LR landmark with a partner, then the working
// points of every paired LR landcurve (as many as both curves have), then the semilandmarks (as
// many as both surfaces have). With 2 rows or fewer nothing changes. After a re-pairing (the LR
// landmarks_changed) the LR points are checked once for repeats; while they repeat, the step
// logs repeated_landmarks_message and returns false. LR points that span no volume (thinner
// than flat_set_thinness), a registration without inverse, a slide that is not finite or longer
// than the HR max_radius, or a warp that moves any LR vertex further than the HR max_radius (on
// the HR side) log degenerate_configuration_message and return false; nothing changes then. With
// more than 4 sliding points, the HR curve points slide along tangent1 and the semilandmarks
// along tangent1 and tangent2 by state.slide_step times the slide of least bending energy, and
// slide_step grows by 0.25 up to 1. Then the warp interpolates the HR points, mapped back into LR
// file coordinates, and sim_tps_positions is the warp of the LR positions as read.
bool slide_HR_semilandmarks(WorkingState& state);

// The model step of "Similarity + TPS": rebuilds the HR curve points and semilandmarks whose
// counts no longer match the LR side (re-projecting the HR annotations when any was rebuilt),
// slides and solves, puts the slid points back onto the HR surface and shows the warped LR
// shape. False when the run must end (the status line says why).
bool run_tps_step(WorkingState& state);
