// Reading a triangulated surface and its annotations from a PLY file.
#pragma once

#include "surface/surface.h"

#include <string>

// Reads the PLY file at path (any storage mode): the x, y, z of element "vertex", the
// triangles of element "face" (list "vertex_indices", else "vertex_index"), and the
// annotations of the header comments, each taken as UTF-8 text (file_text_as_utf8). On success
// fills the surface as a read does (positions, triangles, annotations, per-vertex arrays, normals,
// file type ".ply") and returns true. On failure shows "Could not open ply file", "Could not parse
// ply header" or "Could not parse ply file" and leaves the surface as it was.
bool parse_ply_file(const std::string& path, Surface& surface);
