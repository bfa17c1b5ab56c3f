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
