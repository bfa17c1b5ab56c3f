// Generated surfaces of any size for the benchmarks: a bone-like closed surface sampled on a
// rings x segments lattice, so that the vertex count can be chosen freely.
#pragma once

#include "tests/fixtures/generated_surfaces.h"

#include <cstdint>
#include <string>

// A closed, elongated, gently bumpy surface about 120 mm long along z and about 28 mm across,
// with about `vertex_count` vertices (rings x segments + 2 poles). `phase` in 0..1 shifts the
// sampling lattice by that fraction of a ring and a segment: two meshes of one count and
// different phases describe the same surface with vertices that lie between each other's.
Mesh bumpy_bone(std::int64_t vertex_count, double phase = 0.0);

// The bumpy bone without its lower pole: an open surface of about `vertex_count` vertices whose
// lowest ring is its one rim, as a bone cut out of a scan ends.
Mesh open_bumpy_bone(std::int64_t vertex_count, double phase = 0.0);

// Each vertex of mesh moved by `distance` (mm) along its vertex normal, outwards and inwards in
// turn, so that the points lie about that far from the surface on both sides.
std::vector<Point3> points_off_surface(const Mesh& mesh, double distance);

// Every triangle split into four at its edge midpoints, each midpoint made once per edge: the
// same surface, four times as dense.
Mesh subdivided(const Mesh& mesh);

// Copies the LICENSE beside the real femur at femur_path into directory, as every copy of the
// femur must carry it; the copy stays writable, so that the next run can replace it.
bool copy_femur_licence(const std::string& femur_path, const std::string& directory);
