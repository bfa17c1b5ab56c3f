#include "surface/wrl_surface_reader.h"

#include "surface/annotation.h"
#include "surface/coordinate_range.h"
#include "surface/file_text.h"
#include "surface/number_tokens.h"
#include "surface/status_log.h"
#include "surface/surface_reading.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// A WRL file is read whole; one beyond this size is refused rather than held (its lines take
// about as much memory again).
constexpr std::uint64_t largest_wrl_file = std::uint64_t{2} << 30;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

enum class Keyword { absent, glued, word };

// Whether the first occurrence of keyword in line stands as a word of its own: the characters
// around it, where there are any, are not letters.
Keyword find_keyword(const std::string& line, std::string_view keyword)
{
    const std::size_t at = line.find(keyword);
    if (at == std::string::npos)
        return Keyword::absent;
    const std::size_t after = at + keyword.size();
    if ((at > 0 && is_letter(line[at - 1])) || (after < line.size() && is_letter(line[after])))
        return Keyword::glued;
    return Keyword::word;
}

// The first three numbers of a block line; commas count as blanks.
template <typename Number, typename Convert>
bool three_numbers(std::string line, Number (&numbers)[3], Convert convert)
{
    std::replace(line.begin(), line.end(), ',', ' ');
    std::string_view rest = line;
    for (Number& number : numbers)
        if (!convert(next_token(rest), number))
            return false;
    return true;
}

bool has_closing_bracket(const std::string& line) { return line.find(']') != std::string::npos; }

// The lines of one file and where the scan stands.
struct WrlScan {
    std::vector<std::string> lines;
    std::size_t line = 0;
    Surface read;
    bool ok = true; // no triangle index out of range, no vertex coordinate beyond the usable range
    bool have_vertices = false;  // a point block with vertices has been taken
    bool have_triangles = false; // a coordIndex block has been taken

    bool at_end() const { return line >= lines.size(); }
    const std::string& current() const { return lines[line]; }
};

// A "point" or "vector" block from the line after the keyword line, up to a line holding "]",
// the first line whose first three tokens are not all numbers, or the end of the file. Only
// the first point block with vertices is kept; normals are replaced by computed ones, so a
// vector block is only passed over. Leaves the scan at the line that ended the block.
void read_point_block(WrlScan& scan, bool is_point)
{
    std::vector<Point3> points;
    bool usable = true;
    for (++scan.line; !scan.at_end(); ++scan.line) {
        if (has_closing_bracket(scan.current()))
            break;
        double xyz[3] = {};
        if (!three_numbers(scan.current(), xyz, convert_real))
            break;
        usable = usable && is_usable_coordinate(xyz[0]) && is_usable_coordinate(xyz[1]) &&
                 is_usable_coordinate(xyz[2]);
        points.push_back({xyz[0], xyz[1], xyz[2]});
    }
    if (!is_point || scan.have_vertices || points.empty())
        return;
    scan.ok = scan.ok && usable;
    for (const Point3& p : points)
        append_vertex(scan.read, p);
    scan.read.vertex_count = static_cast<std::int64_t>(points.size());
    scan.have_vertices = true;
}

// A "coordIndex" block: one triangle per line, up to a line holding "]", a line whose first
// three tokens are not all integers, or the end of the file. An index outside the vertices read
// so far fails the file. Only the first such block is kept. Leaves the scan at the line that
// ended the block.
void read_triangle_block(WrlScan& scan)
{
    const bool keep = !scan.have_triangles;
    scan.have_triangles = true;
    for (++scan.line; !scan.at_end(); ++scan.line) {
        if (has_closing_bracket(scan.current()))
            return;
        long long index[3] = {};
        if (!three_numbers(scan.current(), index, convert_integer))
            return;
        if (!keep)
            continue;
        for (const long long i : index) {
            if (i < 0 || i >= scan.read.vertex_count) {
                scan.ok = false;
                return;
            }
        }
        Triangle triangle;
        triangle.vertex = {index[0], index[1], index[2]};
        scan.read.triangles.push_back(triangle);
        scan.read.triangle_count = static_cast<std::int64_t>(scan.read.triangles.size());
    }
}

} // namespace

namespace {

// The surface of a file's lines; false when they do not make one.
bool scan_wrl_lines(WrlScan& scan)
{
    for (std::string& line : scan.lines)
        std::replace(line.begin(), line.end(), '\t', ' ');
    AnnotationReader annotations;
    for (; !scan.at_end(); ++scan.line) {
        if (read_annotation_line(annotations, scan.read, scan.current(), AnnotationOrder::wrl))
            continue;
        Keyword block = find_keyword(scan.current(), "point");
        bool is_point = true;
        if (block == Keyword::absent) {
            block = find_keyword(scan.current(), "vector");
            is_point = false;
        }
        if (block == Keyword::glued)
            continue;
        if (block == Keyword::word) {
            read_point_block(scan, is_point);
            if (scan.at_end())
                break;
        }
        const Keyword triangles = find_keyword(scan.current(), "coordIndex");
        if (triangles == Keyword::word) {
            read_triangle_block(scan);
            if (scan.at_end())
                break;
        }
    }
    return scan.ok && complete_read_surface(scan.read, ".wrl");
}

} // namespace

bool parse_wrl_file(const std::string& path, Surface& surface)
{
    // A file too large to hold fails like one that cannot be read, a surface too large to hold
    // like one that does not parse.
    auto scan = std::make_unique<WrlScan>();
    bool opened = false;
    try {
        opened = read_file_text_lines(path, largest_wrl_file, scan->lines) == WholeFileRead::read;
    } catch (const std::bad_alloc&) {
        opened = false;
    }
    if (!opened) {
        log_status("Could not open wrl file");
        return false;
    }
    bool parsed = false;
    try {
        parsed = scan_wrl_lines(*scan);
    } catch (const std::bad_alloc&) {
        parsed = false;
    }
    if (!parsed) {
        log_status("Could not parse wrl file");
        return false;
    }
    install_read_surface(surface, std::move(scan->read));
    return true;
}
