// What both surface readers do once a file's vertices, triangles and annotations are in: check
// them, complete the record, and only then hand it over, so a failed read leaves the target
// surface as it was.
#pragma once

#include "surface/surface.h"

#include <cstddef>

// Makes room for count vertices in the positions and the deformed positions, so a read of that
// many fills them without growing them.
void reserve_vertices(Surface& read, std::size_t count);

// Appends a vertex to the positions and the deformed positions, which start equal; the stored
// result shapes stay empty until a model makes them.
void append_vertex(Surface& read, const Point3& position);

// Checks a freshly read record: vertex_count and triangle_count positive and equal to the
// numbers of vertices and triangles read, the deformed positions that long, every triangle index
// below vertex_count. When it holds: allocates the per-vertex arrays, resolves the annotations
// given by vertex index, computes the normals (normals = deformed_normals), shows the positions
// as read and sets file_type; returns true. Otherwise false, and read is not to be used.
bool complete_read_surface(Surface& read, const char* file_type);

// Moves everything a reader fills from read into target; name, path stem, display lists and
// analysis results of target stay as they are.
void install_read_surface(Surface& target, Surface&& read);
