// The HR counterparts of the "Similarity + TPS" corresponding points that the HR surface does not
// carry as read: the working points of paired HR landcurves, resampled to their LR partner's
// count and aligned with it, and the HR semilandmarks, carried over from the LR surface.
#pragma once

#include "surface/matrix4.h"
#include "surface/surface.h"

#include <cstddef>
#include <vector>

struct WorkingState;

// Where point lies on surface as shown: the shown positions of its triangle's corners weighted
// by (1 - w1 - w2, w1, w2); its stored position when no triangle of the surface holds it.
Point3 shown_position(const Surface& surface, const Landmark& point);

// count points along the open polyline through control_points (a closed curve's way back to its
// first point is no part of it), spaced by its length / (count - 1): every such arc length that
// lies strictly before the end of its segment gives a point; when fewer than count came out, the
// last control point follows. A polyline of no length gives its last point alone; no control
// points or a count of 0 give none.
std::vector<Point3> resample_polyline(const std::vector<Landmark>& control_points,
                                      std::size_t count);

// The order of resampled that follows targets best: entry k is the index of the point paired with
// targets[k], (u + k d) mod size for the direction d = -1 or +1 and start u of least summed
// distance. A closed curve tries every start; an open one only the reverse order (from its last
// point) and the forward order. Of equal sums the first tried wins (d = -1 before d = +1, the
// smaller start first). Returns resampled.size() indices; none for an empty resampled.
std::vector<std::size_t> aligned_order(const std::vector<Point3>& targets,
                                       const std::vector<Point3>& resampled, bool closed);

// Rebuilds the working points of every paired HR landcurve (all of them, or with only_changed
// those whose point count differs from their LR partner's) from its control points: resampled
// to the partner's count and aligned with the partner's points on the LR surface as shown,
// mapped onto the HR surface by the current registration. The HR curve_point_pair_count becomes
// the LR one. True when any curve was rebuilt.
bool resample_paired_landcurves(WorkingState& state, bool only_changed);

// Replaces the HR semilandmarks by the LR ones (on the LR surface as shown, mapped by the current
// registration) projected onto the HR surface; with only_changed only when the two counts
// differ. True when the HR semilandmarks were rebuilt.
bool transfer_semilandmarks(WorkingState& state, bool only_changed);
