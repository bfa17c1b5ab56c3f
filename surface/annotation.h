// Annotation lines: the landmarks, landcurves, semilandmarks and LAD sphere radius hint that a
// surface file carries, one line each (PLY header comments, any line of a WRL file, the
// mapped-landmarks file). Keywords are found anywhere in a line (case-sensitive), so a prefix
// such as "comment " or a VRML "#" does not matter:
//
//   LAD sphere radius hint 2.5
//   LANDMARK "name" x y z nx ny nz
//   OPEN_LANDCURVE "name" N        (or CLOSED_LANDCURVE), followed by N point lines:
//   x y z nx ny nz
//   SEMILANDMARK x y z nx ny nz
//
// A point may also be given by a vertex index alone ("LANDMARK "tip" 12"); it then takes that
// vertex's position once the vertices are read. Anything after the third number is ignored.
// Names are UTF-8.
#pragma once

#include "surface/surface.h"

#include <cstdint>
#include <string>
#include <vector>

// The order in which the tests are tried differs between the two readers.
enum class AnnotationOrder { ply, wrl };

// What a reader carries from one line to the next: the curve being gathered.
struct AnnotationReader {
    Landcurve curve;
    std::int64_t announced = 0; // N of the last curve header
    std::int64_t gathered = 0;
    bool pending = false; // a header announced N >= 2 points that are still being gathered
};

// Applies the annotation rules to one line, adding what it holds to the surface. Returns true
// when the line is done (a landmark, a curve header, a semilandmark or a LAD hint), false for
// every other line, a curve point included. A trailing carriage return is dropped first.
bool read_annotation_line(AnnotationReader& reader, Surface& surface, std::string line,
                          AnnotationOrder order);

// The numbers of a point from text: three coordinates (vertex_index -1), or a vertex index
// when only the first number converts (position (0, 0, 0) until resolved). A number converts when
// it is a finite coordinate within the usable range (convert_coordinate). False when the first
// token does not convert.
bool read_point_numbers(const std::string& text, Landmark& point);

// Gives every landmark, landcurve point and semilandmark read by vertex index the position of
// that vertex, or (0, 0, 0) when the index is not one of the surface's vertices.
void resolve_annotation_vertices(Surface& surface);

// The lines as written.
std::string lad_hint_annotation(double hint);
std::string landmark_annotation(const std::string& name, const Point3& position,
                                const Point3& normal);
std::string landcurve_header_annotation(const std::string& name, bool closed,
                                        std::int64_t point_count);
std::string curve_point_annotation(const Point3& position, const Point3& normal);
std::string semilandmark_annotation(const Point3& position, const Point3& normal);

// Whether a name typed for a new landmark (curve false) or landcurve (curve true) can be written
// and read back as itself: it holds none of the keywords (LANDMARK, so SEMILANDMARK too,
// _LANDCURVE, the LAD hint phrase, and CLOSED for a curve) and no control character, which
// would end or split its line.
bool annotation_name_allowed(const std::string& name, bool curve);

// The message for a name that annotation_name_allowed refuses.
std::string refused_name_message(bool curve);

// Whether lines (without any "comment " prefix) read back, in the PLY reading order, as exactly
// the annotations of items: its LAD hint when it is not -1, its landmarks by name, its landcurves
// of two or more control points by name, closed flag and count (shorter ones are written but
// never read as curves), its semilandmarks by count, every point given by three coordinates.
// A line holding a line break never reads back.
bool annotation_lines_read_back(const std::vector<std::string>& lines, const Surface& items);
