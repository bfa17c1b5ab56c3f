// Bucket grid of HR vertex indices over the HR bounding box.
#pragma once

#include <cstdint>
#include <vector>

struct VertexGrid {
    static constexpr int cells_per_axis = 100;
    // Cell (i, j, k) is cells[(i * 100 + j) * 100 + k]; indices ascending within a cell.
    std::vector<std::vector<std::int64_t>> cells =
        std::vector<std::vector<std::int64_t>>(cells_per_axis * cells_per_axis * cells_per_axis);

    void clear()
    {
        for (auto& cell : cells)
            cell.clear();
    }
};
