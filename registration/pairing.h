// Correspondences between the annotations of the LR and the HR surface: landmarks and landcurves
// by name, and, under rim matching "To rims", the rim curves that the analysis found by the
// shape they have under the current registration.
#pragma once

#include "surface/surface.h"

#include <vector>

struct WorkingState;

// Part of the name of every rim curve that the surface analysis records.
constexpr char rim_curve_name[] = "auto-detected rim";

// A curve whose name contains rim_curve_name anywhere (case-sensitive).
bool is_rim_curve(const Landcurve& curve);

// Pairs every LR landmark with every HR landmark of exactly the same name: both get the other's
// index as partner (the last equal one wins; the others -1) and every equal pair counts in both
// landmark_pair_count. Sets the LR landmarks_changed.
void pair_landmarks(Surface& lr, Surface& hr);

// How far apart two closed rims lie: the least, over both orientations of the HR rim and every
// cyclic start on it, of the summed distances between lr_points[k] and the k-th HR control point
// from that start. 1e10 for an HR rim without control points.
double rim_distance(const std::vector<Point3>& lr_points, const std::vector<Landmark>& hr_rim);

// Pairs the LR and HR landcurves: curves that are not rims by equal name and equal closed flag;
// under rim_mode "To rims" each LR rim with the HR rim of least rim_distance from it, its control
// points taken on the LR shown shape and mapped by the current registration (the first of equal
// distances; none from 1e10 on); under the other modes rims stay unpaired. Every pairing adds
// the LR curve's working point count to the LR curve_point_pair_count. Then the HR working
// points are emptied for the resampling to rebuild, the HR count is 0, the LR landmarks_changed
// is set and, under "To rims", state.rims_paired.
void pair_landcurves(WorkingState& state, int rim_mode);
