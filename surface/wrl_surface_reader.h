// Reading a triangulated surface and its annotations from a VRML-style ".wrl" text file. Not a
// VRML parser: the file is scanned line by line for the blocks "point", "vector" and
// "coordIndex" (one vertex, normal or triangle per line, up to a line holding "]"); every other
// line may hold an annotation.
#pragma once

#include "surface/surface.h"

#include <string>

// Reads the file at path. The first point block with at least one vertex gives the vertices and
// the first coordIndex block the triangles; later blocks are skipped. Normals of a "vector"
// block are replaced by computed ones. On success fills the surface as a read does (file type
// ".wrl") and returns true; on failure shows "Could not open wrl file" (also for a file that is no
// regular file or is larger than 2 GiB) or "Could not parse wrl file" (also for a vertex
// coordinate beyond the usable range, or a surface too large to hold) and leaves the surface as
// it was. The text is taken as file_text_as_utf8 gives it.
bool parse_wrl_file(const std::string& path, Surface& surface);
