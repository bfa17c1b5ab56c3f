#include "surface/ply_surface_reader.h"

#include "surface/annotation.h"
#include "surface/file_text.h"
#include "surface/ply_file.h"
#include "surface/status_log.h"
#include "surface/surface_reading.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// The record being read and the vertex whose coordinates are being gathered.
struct PlyRead {
    Surface surface;
    std::array<double, 3> point{};
    std::array<bool, 3> has_coordinate{};
};

// Callback of "x", "y" and "z" (user integer 0, 1, 2): a vertex is appended once all three of
// its coordinates are in, whatever their order in the file. A coordinate that is not finite
// fails the read: it would poison every later step.
int ply_vertex_callback(p_ply_argument argument)
{
    void* pdata = nullptr;
    long coordinate = 0;
    ply_get_argument_user_data(argument, &pdata, &coordinate);
    auto& read = *static_cast<PlyRead*>(pdata);
    const double value = ply_get_argument_value(argument);
    if (!std::isfinite(value) || coordinate < 0 || coordinate > 2)
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
    const auto index = static_cast<std::int64_t>(value);
    if (value_index == 0)
        read.surface.triangles.emplace_back();
    read.surface.triangles.back().vertex[static_cast<std::size_t>(value_index)] = index;
    return 1;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

bool parse_ply_file(const std::string& path, Surface& surface)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
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
    auto read = std::make_unique<PlyRead>();
    AnnotationReader annotations;
    for (const char* comment = ply_get_next_comment(ply.get(), nullptr); comment != nullptr;
         comment = ply_get_next_comment(ply.get(), comment))
        read_annotation_line(annotations, read->surface, file_text_as_utf8(comment),
                             AnnotationOrder::ply);

    Surface& s = read->surface;
    s.vertex_count = ply_set_read_cb(ply.get(), "vertex", "x", ply_vertex_callback, read.get(), 0);
    ply_set_read_cb(ply.get(), "vertex", "y", ply_vertex_callback, read.get(), 1);
    ply_set_read_cb(ply.get(), "vertex", "z", ply_vertex_callback, read.get(), 2);
    s.triangle_count =
        ply_set_read_cb(ply.get(), "face", "vertex_indices", ply_face_callback, read.get(), 0);
    if (s.triangle_count == 0)
        s.triangle_count =
            ply_set_read_cb(ply.get(), "face", "vertex_index", ply_face_callback, read.get(), 0);
    // Room for what the header declares, as far as the file's bytes can hold it (a vertex
    // takes at least three of them, a triangle four), so that a header claiming more than the
    // file holds takes no memory for it.
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(path, error);
    const auto room = [&](std::int64_t declared, std::uintmax_t least_bytes) {
        const std::uintmax_t fits = error ? 0 : bytes / least_bytes;
        return static_cast<std::size_t>(
            declared <= 0 ? 0 : std::min(static_cast<std::uintmax_t>(declared), fits));
    };
    reserve_vertices(s, room(s.vertex_count, 3));
    s.triangles.reserve(room(s.triangle_count, 4));
    const bool data_read = ply_read(ply.get()) != 0;
    ply_close(std::move(ply));
    if (!data_read || !complete_read_surface(s, ".ply")) {
        log_status("Could not parse ply file");
        return false;
    }
    install_read_surface(surface, std::move(s));
    return true;
}
