#include "surface/ply_surface_reader.h"

#include "surface/annotation.h"
#include "surface/c_locale.h"
#include "surface/coordinate_range.h"
#include "surface/file_refusal.h"
#include "surface/file_text.h"
#include "surface/ply_file.h"
#include "surface/ply_surface_blocks.h"
#include "surface/status_log.h"
#include "surface/surface_reading.h"
#include "surface/whole_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include <sys/stat.h>

namespace {

// The record being read, the vertex whose coordinates are being gathered, and why the read was
// stopped.
struct PlyRead {
    Surface surface;
    std::array<double, 3> point{};
    std::array<bool, 3> has_coordinate{};
    Triangle face; // the corners of the face being read
    std::string refusal;
};

long long instance_of(p_ply_argument argument)
{
    std::int64_t instance = 0;
    ply_get_argument_element(argument, nullptr, &instance);
    return static_cast<long long>(instance);
}

// Callback of "x", "y" and "z" (user integer 0, 1, 2): a vertex is appended once all three of
// its coordinates are in, whatever their order in the file. A coordinate that is not finite, or
// farther out than any surface reaches, fails the read: it would poison every later step.
int ply_vertex_callback(p_ply_argument argument)
{
    void* pdata = nullptr;
    long coordinate = 0;
    ply_get_argument_user_data(argument, &pdata, &coordinate);
    auto& read = *static_cast<PlyRead*>(pdata);
    const double value = ply_get_argument_value(argument);
    if (coordinate < 0 || coordinate > 2)
        return 0;
    if (!is_surface_coordinate(value)) {
        read.refusal = "vertex " + std::to_string(instance_of(argument)) + ": " +
                       refused_coordinate_reason(value);
        return 0;
    }
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
    if (length != 3) {
        read.refusal =
            "faces with " + std::to_string(length) + " corners (only triangles are read)";
        return 0;
    }
    if (value_index < 0)
        return 1;
    const double value = ply_get_argument_value(argument);
    if (!(value > -1.0 && value < static_cast<double>(read.surface.vertex_count))) {
        read.refusal = c_format("face %lld: vertex index %g not among the %lld vertices",
                                instance_of(argument), value,
                                static_cast<long long>(read.surface.vertex_count));
        return 0;
    }
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

bool has_property(const t_ply_element_& element, const char* name)
{
    for (const t_ply_property_& property : element.properties)
        if (property.name == name)
            return true;
    return false;
}

// Why the header declares no surface this reader can read; "" when it declares one.
std::string missing_surface_reason(const t_ply_& ply)
{
    const t_ply_element_* vertices = ply_element(&ply, "vertex");
    if (vertices == nullptr)
        return "no vertex element";
    for (const char* coordinate : {"x", "y", "z"})
        if (!has_property(*vertices, coordinate))
            return std::string("no ") + coordinate + " in the vertex element";
    if (vertices->ninstances == 0)
        return "0 vertices";
    const t_ply_element_* faces = ply_element(&ply, "face");
    if (faces == nullptr)
        return "no face element";
    if (!has_property(*faces, "vertex_indices") && !has_property(*faces, "vertex_index"))
        return "no vertex_indices list in the face element";
    if (faces->ninstances == 0)
        return "0 faces";
    return {};
}

// The line of the file (counted from 1) that holds the byte at offset.
long long line_at(std::FILE* file, std::uint64_t offset)
{
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return 0;
    long long line = 1;
    char buffer[64 * 1024];
    while (offset > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof buffer));
        const std::size_t got = std::fread(buffer, 1, want, file);
        if (got == 0)
            break;
        line += std::count(buffer, buffer + got, '\n');
        offset -= got;
    }
    return line;
}

// Where an ASCII read stopped: the line of the value in hand, the one the layer read last.
std::string ascii_line_of_stop(const t_ply_& ply, std::FILE* file)
{
    const long position = std::ftell(file);
    const std::uint64_t unread = ply.buffer_last - ply.buffer_token;
    if (position < 0 || static_cast<std::uint64_t>(position) < unread)
        return {};
    return "line " + std::to_string(line_at(file, static_cast<std::uint64_t>(position) - unread)) +
           ": ";
}

// The error callback of the layer: its message, kept as the reason of a refusal.
void keep_layer_message(const t_ply_* ply, const char* message)
{
    if (ply != nullptr && ply->pdata != nullptr)
        *static_cast<std::string*>(ply->pdata) = message;
}

enum class DataRead { read, refused, irregular };

// The data and annotations of a file whose header has been read; refused, with the reason in
// read.refusal, when they do not read. With by_blocks, a file of a block layout is read a block
// at a time, which gives irregular where the value-by-value read must be left to refuse it.
DataRead read_ply_data(t_ply_& ply, std::FILE* file, PlyRead& read,
                       const std::string& layer_message, bool by_blocks)
{
    AnnotationReader annotations;
    for (const char* comment = ply_get_next_comment(&ply, nullptr); comment != nullptr;
         comment = ply_get_next_comment(&ply, comment))
        read_annotation_line(annotations, read.surface, file_text_as_utf8(comment),
                             AnnotationOrder::ply);
    read.refusal = missing_surface_reason(ply);
    if (!read.refusal.empty())
        return DataRead::refused;
    if (!counts_fit_file(ply, file_size(file))) {
        read.refusal = "its element counts need more bytes than the file holds";
        return DataRead::refused;
    }
    Surface& s = read.surface;
    if (by_blocks && has_block_layout(ply)) {
        const auto vertex_count = ply_element(&ply, "vertex")->ninstances;
        const auto face_count = ply_element(&ply, "face")->ninstances;
        reserve_vertices(s, static_cast<std::size_t>(vertex_count));
        s.triangles.reserve(static_cast<std::size_t>(face_count));
        return read_surface_blocks(ply, s) ? DataRead::read : DataRead::irregular;
    }
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
    if (ply_read(&ply) != 0)
        return DataRead::read;
    if (read.refusal.empty())
        read.refusal = layer_message;
    if (ply.storage_mode == PLY_ASCII)
        read.refusal = ascii_line_of_stop(ply, file) + read.refusal;
    return DataRead::refused;
}

const char could_not_open[] = "Could not open ply file";
const char could_not_parse[] = "Could not parse ply file";

enum class FileRead { read, refused, irregular };

// One read of the file: by_blocks as for read_ply_data. Every outcome but irregular has been
// told (a refusal) or installed in surface.
FileRead read_ply_file(const std::string& path, Surface& surface, bool by_blocks)
{
    const FilePointer file = open_regular_file(path);
    if (!file) {
        log_refusal(could_not_open, path, unopened_file_reason(path));
        return FileRead::refused;
    }
    std::string layer_message;
    p_ply ply = ply_open_from_file(file.get(), keep_layer_message, 0, &layer_message);
    if (ply == nullptr) {
        log_refusal(could_not_open, path, "it could not be read");
        return FileRead::refused;
    }
    if (!ply_read_header(ply.get())) {
        ply_close(std::move(ply));
        log_refusal("Could not parse ply header", path,
                    layer_message.empty() ? "not a PLY header" : layer_message);
        return FileRead::refused;
    }
    bool read_whole = false;
    std::unique_ptr<PlyRead> read;
    std::string refusal = "too large to hold";
    // A surface too large to hold fails like any other that does not read.
    try {
        read = std::make_unique<PlyRead>();
        const DataRead data = read_ply_data(*ply, file.get(), *read, layer_message, by_blocks);
        if (data == DataRead::irregular)
            return FileRead::irregular;
        read_whole = data == DataRead::read;
        ply_close(std::move(ply));
        refusal = read->refusal;
        if (read_whole && !complete_read_surface(read->surface, ".ply")) {
            read_whole = false;
            refusal = "the faces and vertices do not make a surface";
        }
    } catch (const std::bad_alloc&) {
        read_whole = false;
    }
    if (!read_whole) {
        log_refusal(could_not_parse, path, refusal);
        return FileRead::refused;
    }
    install_read_surface(surface, std::move(read->surface));
    return FileRead::read;
}

} // namespace

bool parse_ply_file(const std::string& path, Surface& surface)
{
    FileRead outcome = read_ply_file(path, surface, true);
    // What the block read would not take is read again value by value, which says why it
    // refuses the file (or reads it, if the file changed in between).
    if (outcome == FileRead::irregular)
        outcome = read_ply_file(path, surface, false);
    return outcome == FileRead::read;
}
