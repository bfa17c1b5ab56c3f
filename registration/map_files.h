// The LR-HR vertex map (".csv") and the mapped-landmarks file: what the registration made of
// every LR vertex and of the HR annotations.
#pragma once

#include "surface/matrix4.h"
#include "surface/surface.h"

#include <string>

struct WorkingState;

// True when both surfaces carry data (LR data loaded or mapped, HR data list present): the map
// then holds the data values too.
bool map_has_data(const Surface& hr, bool lr_data_loaded);

// Name of the LR-HR map without data: LR path stem, "-", HR name, suffix, ".csv". The suffix is
// that of the registration type.
std::string lr_hr_map_name(const Surface& lr, const Surface& hr, int registration_type);

// Name of the LR-HR map with data: the LR data name with its carried HR and own LR passes, "-",
// the HR data name with its passes, suffix, ".csv".
std::string lr_hr_data_map_name(const Surface& lr, const std::string& lr_data_name,
                                const Surface& hr, const std::string& hr_data_name,
                                int registration_type);

// Writes one line per LR vertex: "i,j" or "i,unmatched"; with data "i,j,a,b" where a is the LR
// value and b the partner's HR value, "invalid" for a value without data (sigma 1e10) and
// "unmatched" for both the partner and its value when the vertex has no match within the squared
// range r2. False when the file could not be written whole (an old file then stays as it was).
bool write_lr_hr_map(const Surface& lr, const Surface& hr, const std::string& path, double r2,
                     bool with_data);

// Projects an HR landmark (with a valid triangle and weights) onto the LR surface as registered
// by current_transform, along the HR normal at the landmark, or onto the nearest registered LR
// vertex when that is nearer than every hit. The result lies on the LR surface in its own file
// coordinates, with the triangle, weights, unit normal and tangent frame of that place; its name
// is empty.
Landmark project_onto_registered_lr(const Surface& lr, const Surface& hr,
                                    const Matrix4& current_transform, const Landmark& hr_landmark,
                                    Point3* normal = nullptr);

// Name of the mapped-landmarks file: LR path stem + "-mapped_landmarks.ply".
std::string mapped_landmarks_name(const Surface& lr);

// Appends to the mapped-landmarks file the HR landmarks and the HR landcurves (except rims found
// automatically) projected onto the registered LR surface, as annotation comment lines, and
// appends the same items to the LR landmark and landcurve lists. Named "<HR item> (<HR
// name><suffix>)". Logs "Could not write landmark map file" and returns false when the lines could
// not be appended; the file and the LR lists then stay as they were. Logs "Could not add comment
// to ply file" and appends nothing, the file untouched, when a line would not read back as its
// item (annotation_lines_read_back).
bool append_mapped_landmarks(WorkingState& state, int registration_type);

// "Save LR-HR map" after matching: the map file ("Saved LR-HR vertex and data map", "Saved LR-HR
// vertex map" or "Could not write map file"), then the mapped landmarks. False when either could
// not be written.
bool save_lr_hr_map(WorkingState& state, int registration_type, double r2);
