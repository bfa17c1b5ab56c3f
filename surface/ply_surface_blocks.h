// Binary PLY surfaces read a block of records at a time rather than one value per callback.
//
// The value-by-value read (ply_read with the reader's callbacks) costs a few indirect calls per
// value, which on a surface of a million vertices is most of its loading. Most files the
// program meets are binary with a fixed layout: a vertex element of scalar properties and a
// face element holding only the corner list. For those the records are taken in blocks and
// converted here, with the checks of the callbacks. Whatever those checks would refuse, and data
// that end early, make this read give up: the caller then reads the file again value by value,
// which refuses it with its own message, so both reads accept the same files and give the same
// surfaces and messages.
#pragma once

#include "surface/ply_file.h"
#include "surface/surface.h"

// Whether the header (read, with its handle positioned at the start of the data) describes a
// layout that read_surface_blocks takes: binary storage; "vertex" and "face" the only elements
// holding data, in this order; every vertex property a scalar; the face element holding one
// property only, the list "vertex_indices" or "vertex_index", with integer length and entries.
bool has_block_layout(const t_ply_& ply);

// On a handle with a block layout: appends every vertex (x, y, z of the first properties of
// those names, converted to double) to the positions and deformed positions and every face to
// the triangles, and sets vertex_count and triangle_count to the element counts. False when a
// coordinate is not a surface coordinate, a face has other than 3 corners, a corner is not a
// vertex of the file, or the data end early: the value-by-value read must then say why, and the
// surface holds part of the data.
bool read_surface_blocks(t_ply_& ply, Surface& surface);
