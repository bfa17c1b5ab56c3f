#include "analysis/zero_crossing_contours.h"

#include <array>
#include <cstddef>

namespace {

std::size_t index(std::int64_t i) { return static_cast<std::size_t>(i); }

std::vector<std::uint8_t> sign_change_marks(const std::vector<Triangle>& triangles,
                                            const std::vector<double>& values)
{
    std::vector<std::uint8_t> marked(values.size(), 0);
    for (const Triangle& t : triangles) {
        for (std::size_t k = 0; k < 3; ++k) {
            const std::int64_t a = t.vertex[k];
            const std::int64_t b = t.vertex[(k + 1) % 3];
            if (values[index(a)] * values[index(b)] < 0.0)
                marked[index(values[index(a)] > 0.0 ? a : b)] = 1;
        }
    }
    return marked;
}

// Marked entries of v's neighbourhood, v included.
int marked_count(const CurvatureMesh& mesh, const std::vector<std::uint8_t>& marked, std::int64_t v)
{
    int count = 0;
    for (const std::int64_t n : mesh.neighbourhoods[index(v)])
        count += marked[index(n)];
    return count;
}

void thin_to_closed_bands(const CurvatureMesh& mesh, const std::vector<Triangle>& triangles,
                          std::vector<std::uint8_t>& marked)
{
    bool changed = true;
    while (changed) {
        changed = false;
        // A chain end has at most one marked neighbour.
        for (std::size_t v = 0; v < marked.size(); ++v) {
            if (marked[v] != 0 && marked_count(mesh, marked, static_cast<std::int64_t>(v)) <= 2) {
                marked[v] = 0;
                changed = true;
            }
        }
        // A marked corner whose only marked neighbours are the triangle's other two corners
        // is a spur across the band.
        for (const Triangle& t : triangles) {
            const auto& c = t.vertex;
            if (marked[index(c[0])] == 0 || marked[index(c[1])] == 0 || marked[index(c[2])] == 0)
                continue;
            const std::array<int, 3> counts = {marked_count(mesh, marked, c[0]),
                                               marked_count(mesh, marked, c[1]),
                                               marked_count(mesh, marked, c[2])};
            for (std::size_t k = 0; k < 3; ++k) {
                if (counts[k] == 3) {
                    marked[index(c[k])] = 0;
                    changed = true;
                }
            }
        }
    }
}

} // namespace

std::vector<std::vector<std::int64_t>>
zero_crossing_contours(const CurvatureMesh& mesh, const std::vector<Triangle>& triangles,
                       const std::vector<double>& values)
{
    std::vector<std::uint8_t> marked = sign_change_marks(triangles, values);
    thin_to_closed_bands(mesh, triangles, marked);

    std::vector<std::vector<std::int64_t>> contours;
    for (std::size_t start = 0; start < marked.size(); ++start) {
        if (marked[start] == 0)
            continue;
        std::vector<std::int64_t> contour{static_cast<std::int64_t>(start)};
        marked[start] = 0;
        for (bool walking = true; walking;) {
            walking = false;
            for (const std::int64_t n : mesh.neighbourhoods[index(contour.back())]) {
                if (marked[index(n)] != 0) {
                    marked[index(n)] = 0;
                    contour.push_back(n);
                    walking = true;
                    break;
                }
            }
        }
        contours.push_back(std::move(contour));
    }
    return contours;
}
