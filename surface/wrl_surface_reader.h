// Reading a triangulated surface and its annotations from a VRML ".wrl" text file. Not a full
// VRML parser: it reads the tokens of the file (words, numbers, brackets, braces, strings,
// "#" comments; commas count as blanks), follows the nesting of nodes and takes the "point"
// fields of coordinate nodes and the "coordIndex" fields of face sets; every line outside these
// blocks may hold an annotation.
#pragma once

#include "surface/surface.h"

#include <string>

// Reads the file at path. A point block holds any number of x y z triples, laid out freely over
// lines (texture coordinates are passed over); a coordIndex block any number of faces, each
// ended by -1 or by the closing bracket (in a block without any -1, by the end of its line as
// well, as one triangle per line without terminators is written). A face of k > 3 corners
// becomes k - 2 triangles fanned from its first corner; one of fewer than 3 corners is skipped.
// Every face set of the file goes into the one surface: its faces index the points of its own
// coordinate node (or the one it names with USE, or in a file without that structure the point
// block before it), and those points follow the points of the blocks before them. Normals of a
// "vector" block are replaced by computed ones.
//
// On success fills the surface as a read does (file type ".wrl") and returns true. On failure
// shows "Could not open wrl file" or "Could not parse wrl file", each followed by the file name
// and the reason ("Could not parse wrl file: bone.wrl: line 12: vertex index 99 beyond the 50
// points of the point block of line 3"), and leaves the surface as it was. Refused: a value in
// a block that is no number, a point block whose count is no multiple of 3, a vertex coordinate
// beyond largest_surface_coordinate, an index below -1 or beyond its points, a block without
// its closing bracket, a file without points or without any face. The text is taken as
// file_text_as_utf8 gives it.
bool parse_wrl_file(const std::string& path, Surface& surface);
