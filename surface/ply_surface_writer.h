// Writing surfaces back as binary little-endian PLY files, with the landmarks, landcurves (by
// their control points), semilandmarks and LAD hint as annotation comments in the header:
// "Save HR surface" writes the HR surface as read, "Save LR surface" the registered LR surface
// in HR file coordinates (or, on the "Utilities" page, as the shape model shows it).
#pragma once

#include "surface/surface.h"

#include <functional>
#include <string>
#include <vector>

struct WorkingState;

// The parts of a PLY surface file.
struct PlySurface {
    std::vector<std::string> comments; // header comments in order
    std::vector<Point3> positions;     // written as 32-bit floats
    std::vector<Triangle> triangles;   // indices into positions
};

// Gives the position and the unit normal written for an annotation point.
using AnnotationPlacer =
    std::function<void(const Landmark& point, Point3& position, Point3& normal)>;

// The annotation comments of a surface in file order: the LAD hint (unless it is -1), one line
// per landmark, per landcurve a header with the number of control points and one line per
// control point, one line per semilandmark.
std::vector<std::string> annotation_comments(const Surface& surface, const AnnotationPlacer& place);

// Writes the surface file. The whole file is built through the PLY layer before the target is
// opened, so a comment, element or value that the layer refuses (or a name that is not UTF-8)
// leaves an existing file untouched; each refusal logs its own message. write_failure is
// logged when the target cannot be opened or written, its flush or close included. Logs
// nothing on success.
bool write_ply_surface(const std::string& path, const PlySurface& surface,
                       const std::string& write_failure);

// HR path stem + "-resaved.ply".
std::string hr_surface_save_path(const Surface& hr);

// "Save HR surface": all HR vertices and triangles as read, annotation points at their stored
// positions with normals interpolated from the HR shown normals.
// Both saves refuse, with "Could not add comment to ply file" and before any file is touched,
// annotations whose lines would not read back as themselves (annotation_lines_read_back).
bool save_hr_surface(const WorkingState& state);

// What "Save LR surface" reads from the controls.
struct LrSaveChoice {
    int registration_type = 0;     // code of the "Registration" choice
    bool registration_page = true; // false: the "Utilities" page is shown
    bool shape_model_loaded = false;
    int ssm_mode = 1;      // "mode" slider
    int ssm_component = 0; // "component" slider
};

// The LR file name for the choice: LR path stem + "-" + HR name + the type's suffix + ".ply"
// on the "Registration" page, LR path stem + "-ssm_<mode>_<component>.ply" on the "Utilities"
// page. Empty when there is none (no shape model on "Utilities", a type outside the table).
std::string lr_surface_save_path(const Surface& lr, const Surface& hr, const LrSaveChoice& choice);

// "Save LR surface": the selected LR vertices at their deformed positions, carried into HR file
// coordinates by the current transform, with the triangles whose corners are all selected
// (corners reversed for a mirroring pose) and the LR annotations moved along. Under
// "Similarity + TPS" on the "Registration" page with a warp, annotation points are the warp of
// their stored positions; otherwise they follow the deformed surface at their triangles.
bool save_lr_surface(const WorkingState& state, const LrSaveChoice& choice);
