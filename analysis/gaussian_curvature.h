// Smoothed per-vertex Gaussian curvature by the angle deficit, and the mesh working data that it
// shares with other curvature estimates (triangle geometry, incidence, neighbourhoods, filters).
#pragma once

#include "surface/surface.h"
#include "surface/unfilled_vector.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One list of indices per vertex, all kept in two flat arrays rather than a vector each.
struct VertexLists {
    UnfilledVector<std::size_t> start; // list v is items[start[v] .. start[v + 1])
    UnfilledVector<std::int64_t> items;

    struct List {
        const std::int64_t* first;
        const std::int64_t* past;
        const std::int64_t* begin() const { return first; }
        const std::int64_t* end() const { return past; }
        std::size_t size() const { return static_cast<std::size_t>(past - first); }
    };
    std::size_t size() const { return start.empty() ? 0 : start.size() - 1; }
    List operator[](std::size_t v) const
    {
        return {items.data() + start[v], items.data() + start[v + 1]};
    }
};

// Per-vertex adjacency of a triangulated surface.
struct CurvatureMesh {
    // Per vertex: the triangles that use it, in triangle order.
    VertexLists incident;
    // Per vertex: the vertex itself, then every vertex sharing a triangle with it, each once, in
    // order of first appearance over its incident triangles.
    VertexLists neighbourhoods;
};

// The side lengths of a triangle: opposite its corners 0, 1 and 2.
std::array<double, 3> side_lengths(const std::vector<Point3>& positions, const Triangle& triangle);
// The area of a triangle with these sides by Heron's formula; a sliver whose product rounds
// below zero has area 0.
double triangle_area(const std::array<double, 3>& sides);
// The angle (radians) at corner 0, 1 or 2 of a triangle with these sides, by the law of cosines;
// 0 at every corner of a triangle with a zero-length side.
double triangle_corner_angle(const std::array<double, 3>& sides, std::size_t corner);

// Builds the adjacency from the vertex count (positions.size()) and triangles whose indices lie
// in [0, positions.size()).
CurvatureMesh build_curvature_mesh(const std::vector<Point3>& positions,
                                   const std::vector<Triangle>& triangles);

// The Gaussian curvature of a triangulated surface as a measure: per vertex its angle deficit,
// 2 pi - the sum of its corner angles (radians; 0 on every vertex flagged in on_rim, which is
// either empty or one flag per vertex), and the sum of the areas of its incident triangles.
// Unlike a value per vertex, the deficits of a patch add up to the same total however finely
// the same surface is triangulated: a vertex inside a flat part or on a straight edge between
// two flat triangles has none.
struct CurvatureMeasure {
    std::vector<double> deficit;
    std::vector<double> incident_area;
};
CurvatureMeasure curvature_measure(const CurvatureMesh& mesh, const std::vector<Point3>& positions,
                                   const std::vector<Triangle>& triangles,
                                   const std::vector<std::uint8_t>& on_rim);

// Per vertex: the deficits of the patch of vertices within `radius` of it (those the mesh
// connects to it without leaving that ball, itself included) over the patch's area (a third of
// each vertex's incident area). A curvature at the scale of the radius that, unlike filter
// passes over vertex neighbourhoods, does not change when the same surface is triangulated more
// finely. 0 for a vertex whose patch has no area.
std::vector<double> patch_curvature(const CurvatureMesh& mesh, const std::vector<Point3>& positions,
                                    const CurvatureMeasure& measure, double radius);

// The raw curvature below, made to hold its values when the same surface is triangulated more
// finely. A finer triangulation adds vertices inside flat triangles and on the straight edges
// between them, which carry no deficit (as every vertex that a midpoint subdivision inserts):
// they gain their neighbours' deficits none of their own, so the filter passes, their medians
// above all, see a curvature that has gone to zero at most vertices. Here a vertex whose
// deficit is rounding noise gives its incident area to its curved neighbours (those not on a
// rim whose deficit is not noise) in equal shares and takes the mean of their values; a curved
// vertex gets 2 deficit / (its incident area with the shares it received). On a triangulation
// without such vertices this is raw_gaussian_curvature; on a midpoint subdivision the vertices
// it shares with the coarser one get their coarse values back exactly. Rim vertices and flat
// vertices with no curved neighbour get 0.
std::vector<double> refinement_invariant_curvature(const CurvatureMesh& mesh,
                                                   const CurvatureMeasure& measure,
                                                   const std::vector<std::uint8_t>& on_rim);

// Raw curvature per vertex: 2 (2 pi - sum of its corner angles) / (sum of its incident areas).
// A vertex whose incident area is 0 (no triangle, or only degenerate ones) gets 0, as does every
// vertex flagged in on_rim (which is either empty or one flag per vertex).
// `positions` and `triangles` are the ones the mesh was built from.
std::vector<double> raw_gaussian_curvature(const CurvatureMesh& mesh,
                                           const std::vector<Point3>& positions,
                                           const std::vector<Triangle>& triangles,
                                           const std::vector<std::uint8_t>& on_rim);
// The same from the measure of those positions, triangles and flags.
std::vector<double> raw_gaussian_curvature(const CurvatureMeasure& measure);

// One filter pass: destination[v] := the median (mean of the two middle values for an even
// count) or the mean of source over v's neighbourhood. destination must not alias source.
void median_filter_pass(const CurvatureMesh& mesh, const std::vector<double>& source,
                        std::vector<double>& destination);
void mean_filter_pass(const CurvatureMesh& mesh, const std::vector<double>& source,
                      std::vector<double>& destination);

struct SmoothingPasses {
    int median = 0;
    int mean = 0;
};

// The median passes, then the mean passes, each reading only the previous pass's values.
std::vector<double> smooth_curvature(const CurvatureMesh& mesh, std::vector<double> values,
                                     const SmoothingPasses& passes);

// The mesh of a surface's positions and triangles with its measure (on_rim as it stands): what
// every curvature estimate of one analysis reads, so that a femur, which gets three of them,
// builds it once.
struct SurfaceCurvature {
    CurvatureMesh mesh;
    CurvatureMeasure measure;
};
SurfaceCurvature surface_curvature(const Surface& surface);

// Fills surface.curvature from positions and triangles: raw curvature (0 on rim vertices), two
// median passes, then eight mean passes over each vertex's neighbourhood. Requires on_rim to be
// current; the second form takes the surface's curvature data as surface_curvature built it.
void compute_gaussian_curvature(Surface& surface);
void compute_gaussian_curvature(Surface& surface, const SurfaceCurvature& curvature);
