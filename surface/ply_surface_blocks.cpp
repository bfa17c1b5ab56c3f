#include "surface/ply_surface_blocks.h"

#include "surface/coordinate_range.h"
#include "surface/surface_reading.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Bytes of the scalar types by code (the aliases 8 to 15 share codes 0 to 7).
constexpr std::array<std::size_t, 8> type_sizes = {1, 1, 2, 2, 4, 4, 4, 8};

bool is_integer_type(int type) { return type >= 0 && type <= 15 && type % 8 <= PLY_UINT32; }

bool is_scalar_type(int type) { return type >= 0 && type <= 15; }

std::size_t type_size(int type) { return type_sizes[static_cast<std::size_t>(type % 8)]; }

// A stored value as the value-by-value read converts it.
using ValueReader = double (*)(const unsigned char* bytes);

template <typename T, bool Reversed> double stored_value(const unsigned char* bytes)
{
    unsigned char ordered[sizeof(T)];
    std::memcpy(ordered, bytes, sizeof(T));
    if (Reversed)
        std::reverse(ordered, ordered + sizeof(T));
    T value;
    std::memcpy(&value, ordered, sizeof(T));
    return static_cast<double>(value);
}

template <bool Reversed> ValueReader value_reader_of(int type)
{
    switch (type % 8) {
    case PLY_INT8:
        return stored_value<std::int8_t, Reversed>;
    case PLY_UINT8:
        return stored_value<std::uint8_t, Reversed>;
    case PLY_INT16:
        return stored_value<std::int16_t, Reversed>;
    case PLY_UINT16:
        return stored_value<std::uint16_t, Reversed>;
    case PLY_INT32:
        return stored_value<std::int32_t, Reversed>;
    case PLY_UINT32:
        return stored_value<std::uint32_t, Reversed>;
    case PLY_FLOAT32:
        return stored_value<float, Reversed>;
    default:
        return stored_value<double, Reversed>;
    }
}

ValueReader value_reader(const t_ply_& ply, int type)
{
    return ply.storage_mode == PLY_BIG_ENDIAN ? value_reader_of<true>(type)
                                              : value_reader_of<false>(type);
}

// Where in a vertex record the first property of a name lies, and how it is stored.
struct Field {
    std::size_t offset = 0;
    ValueReader read = nullptr;
};

// Records of `size` bytes, handed to take(record) a block at a time; false when the data end
// early or take refuses a record.
template <typename Take>
bool for_each_record(t_ply_& ply, std::int64_t count, std::size_t size, Take&& take)
{
    constexpr std::size_t block_bytes = 1 << 20;
    const std::size_t per_block = std::max<std::size_t>(1, block_bytes / size);
    std::vector<unsigned char> block(per_block * size);
    for (auto left = static_cast<std::size_t>(count); left > 0;) {
        const std::size_t records = std::min(left, per_block);
        if (!ply_read_bytes(&ply, block.data(), records * size))
            return false;
        for (std::size_t r = 0; r < records; ++r)
            if (!take(block.data() + r * size))
                return false;
        left -= records;
    }
    return true;
}

} // namespace

bool has_block_layout(const t_ply_& ply)
{
    if (ply.storage_mode != PLY_LITTLE_ENDIAN && ply.storage_mode != PLY_BIG_ENDIAN)
        return false;
    const t_ply_element_* vertices = ply_element(&ply, "vertex");
    const t_ply_element_* faces = ply_element(&ply, "face");
    if (vertices == nullptr || faces == nullptr)
        return false;
    // The elements the value-by-value read would go through, in file order.
    std::vector<const t_ply_element_*> with_data;
    for (const t_ply_element_& element : ply.elements)
        if (!element.properties.empty() && element.ninstances > 0)
            with_data.push_back(&element);
    if (with_data != std::vector<const t_ply_element_*>{vertices, faces})
        return false;
    for (const t_ply_property_& property : vertices->properties)
        if (!is_scalar_type(property.type))
            return false;
    if (faces->properties.size() != 1)
        return false;
    const t_ply_property_& corners = faces->properties.front();
    return corners.type == PLY_LIST &&
           (corners.name == "vertex_indices" || corners.name == "vertex_index") &&
           is_integer_type(corners.length_type) && is_integer_type(corners.value_type);
}

bool read_surface_blocks(t_ply_& ply, Surface& surface)
{
    const t_ply_element_& vertices = *ply_element(&ply, "vertex");
    const t_ply_element_& faces = *ply_element(&ply, "face");
    std::array<Field, 3> fields;
    std::array<bool, 3> found{};
    std::size_t vertex_size = 0;
    for (const t_ply_property_& property : vertices.properties) {
        for (std::size_t k = 0; k < 3; ++k) {
            if (!found[k] && property.name == std::string(1, static_cast<char>('x' + k))) {
                fields[k] = {vertex_size, value_reader(ply, property.type)};
                found[k] = true;
            }
        }
        vertex_size += type_size(property.type);
    }
    if (!found[0] || !found[1] || !found[2])
        return false;
    surface.vertex_count = vertices.ninstances;
    surface.triangle_count = faces.ninstances;
    const bool vertices_read =
        for_each_record(ply, vertices.ninstances, vertex_size, [&](const unsigned char* record) {
            const Point3 p{fields[0].read(record + fields[0].offset),
                           fields[1].read(record + fields[1].offset),
                           fields[2].read(record + fields[2].offset)};
            if (!is_surface_coordinate(p.x) || !is_surface_coordinate(p.y) ||
                !is_surface_coordinate(p.z))
                return false;
            append_vertex(surface, p);
            return true;
        });
    if (!vertices_read)
        return false;

    const t_ply_property_& corners = faces.properties.front();
    const ValueReader read_length = value_reader(ply, corners.length_type);
    const ValueReader read_corner = value_reader(ply, corners.value_type);
    const std::size_t length_size = type_size(corners.length_type);
    const std::size_t corner_size = type_size(corners.value_type);
    // Every face has three corners, or the file is refused: a face record has this size.
    const std::size_t face_size = length_size + 3 * corner_size;
    const auto vertex_limit = static_cast<double>(surface.vertex_count);
    return for_each_record(ply, faces.ninstances, face_size, [&](const unsigned char* record) {
        if (read_length(record) != 3.0)
            return false;
        Triangle triangle;
        for (std::size_t c = 0; c < 3; ++c) {
            const double corner = read_corner(record + length_size + c * corner_size);
            if (!(corner > -1.0 && corner < vertex_limit))
                return false;
            triangle.vertex[c] = static_cast<std::int64_t>(corner);
        }
        surface.triangles.push_back(triangle);
        return true;
    });
}
