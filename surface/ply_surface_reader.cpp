#include "surface/ply_surface_reader.h"

#include "surface/annotation.h"
#include "surface/coordinate_range.h"
#include "surface/file_text.h"
#include "surface/ply_file.h"
#include "surface/status_log.h"
#include "surface/surface_reading.h"
#include "surface/whole_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include <sys/stat.h>

namespace {

// The record being read and the vertex whose coordinates are being gathered.
struct PlyRead {
    Surface surface;
    std::array<double, 3> point{};
    std::array<bool, 3> has_coordinate{};
    Triangle face; // the corners of the face being read
};

// Callback of "x", "y" and "z" (user integer 0, 1, 2): a vertex is appended once all three of
// its coordinates are in, whatever their order in the file. A coordinate that is not finite, or
// beyond the usable range, fails the read: it would poison every later step.
int ply_vertex_callback(p_ply_argument argument)
{
    void* pdata = nullptr;
    long coordinate = 0;
    ply_get_argument_user_data(argument, &pdata, &coordinate);
    auto& read = *static_cast<PlyRead*>(pdata);
    const double value = ply_get_argument_value(argument);
    if (!is_usable_coordinate(value) || coordinate < 0 || coordinate > 2)
        return 0;
    const auto k = static_cast<std::size_t>(coordinate);
    read.point[k] = value;
    read.has_coordinate[k] = true;
    if (read.has_coordinate[0] && read.has_coordinate[1] && read.has_coordinate[2]) {
        append_vertex(read.surface, {read.point[0], read.point[1], read.point[2]});
        read.has_coordinate = {};
    }
    return 1;
}

// Callback of the face list: only triangles, and only indices of declared vertices. The index
// is checked as a floating-point value before it is truncated, so NaN, infinities and huge
// values never reach an integer conversion.
int ply_face_callback(p_ply_argument argument)
{
    void* pdata = nullptr;
    ply_get_argument_user_data(argument, &pdata, nullptr);
    auto& read = *static_cast<PlyRead*>(pdata);
    std::int64_t length = 0;
    std::int64_t value_index = 0;
    ply_get_argument_property(argument, nullptr, &length, &value_index);
    if (length != 3)
        return 0;
    if (value_index < 0)
        return 1;
    const double value = ply_get_argument_value(argument);
    if (!(value > -1.0 && value < static_cast<double>(read.surface.vertex_count)))
        return 0;
    read.face.vertex[static_cast<std::size_t>(value_index)] = static_cast<std::int64_t>(value);
    if (value_index == 2)
        read.surface.triangles.push_back(read.face);
    return 1;
}

// Every declared value takes at least one byte of the file (a binary value one or more, an ASCII
// value a character and a separator, a list its length), so counts that the file cannot hold
// are refused before anything is read or sized by them.
bool counts_fit_file(const t_ply_& ply, std::uint64_t file_size)
{
    std::uint64_t needed = 0;
    for (const t_ply_element_& element : ply.elements) {
        const auto instances = static_cast<std::uint64_t>(element.ninstances);
        const std::uint64_t values = element.properties.size();
        if (element.ninstances < 0 || (values != 0 && instances > (file_size - needed) / values))
            return false;
        needed += instances * values;
    }
    return true;
}

std::uint64_t file_size(std::FILE* file)
{
    struct stat status {};
    return ::fstat(::fileno(file), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

// The data and annotations of a file whose header has been read; false when they do not read.
bool read_ply_data(t_ply_& ply, std::FILE* file, PlyRead& read)
{
    AnnotationReader annotations;
    for (const char* comment = ply_get_next_comment(&ply, nullptr); comment != nullptr;
         comment = ply_get_next_comment(&ply, comment))
        read_annotation_line(annotations, read.surface, file_text_as_utf8(comment),
                             AnnotationOrder::ply);
    if (!counts_fit_file(ply, file_size(file)))
        return false;
    Surface& s = read.surface;
    s.vertex_count = ply_set_read_cb(&ply, "vertex", "x", ply_vertex_callback, &read, 0);
    ply_set_read_cb(&ply, "vertex", "y", ply_vertex_callback, &read, 1);
    ply_set_read_cb(&ply, "vertex", "z", ply_vertex_callback, &read, 2);
    s.triangle_count = ply_set_read_cb(&ply, "face", "vertex_indices", ply_face_callback, &read, 0);
    if (s.triangle_count == 0)
        s.triangle_count =
            ply_set_read_cb(&ply, "face", "vertex_index", ply_face_callback, &read, 0);
    // The counts fit the file, so room for what the header declares costs no more than it holds.
    reserve_vertices(s, static_cast<std::size_t>(std::max<std::int64_t>(s.vertex_count, 0)));
    s.triangles.reserve(static_cast<std::size_t>(std::max<std::int64_t>(s.triangle_count, 0)));
    return ply_read(&ply) != 0;
}

} // namespace

bool parse_ply_file(const std::string& path, Surface& surface)
{
    const FilePointer file = open_regular_file(path);
    if (!file) {
        log_status("Could not open ply file");
        return false;
    }
    p_ply ply = ply_open_from_file(file.get(), nullptr, 0, nullptr);
    if (ply == nullptr) {
        log_status("Could not open ply file");
        return false;
    }
    if (!ply_read_header(ply.get())) {
        ply_close(std::move(ply));
        log_status("Could not parse ply header");
        return false;
    }
    bool read_whole = false;
    std::unique_ptr<PlyRead> read;
    // A surface too large to hold fails like any other that does not read.
    try {
        read = std::make_unique<PlyRead>();
        read_whole = read_ply_data(*ply, file.get(), *read);
        ply_close(std::move(ply));
        read_whole = read_whole && complete_read_surface(read->surface, ".ply");
    } catch (const std::bad_alloc&) {
        read_whole = false;
    }
    if (!read_whole) {
        log_status("Could not parse ply file");
        return false;
    }
    install_read_surface(surface, std::move(read->surface));
    return true;
}
