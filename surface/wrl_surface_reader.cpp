#include "surface/wrl_surface_reader.h"

#include "surface/annotation.h"
#include "surface/file_text.h"
#include "surface/number_tokens.h"
#include "surface/status_log.h"
#include "surface/surface_reading.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The file's lines as UTF-8 (file_text_as_utf8), without their line ends (line feed, carriage
// return and line feed, or a lone carriage return). False when the file cannot be read.
bool read_text_lines(const std::string& path, std::vector<std::string>& lines)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return false;
    bytes = file_text_as_utf8(std::move(bytes));
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return true;
}

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
    bool ok = true; // no triangle index out of range, no vertex coordinate that is not finite
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
    bool finite = true;
    for (++scan.line; !scan.at_end(); ++scan.line) {
        if (has_closing_bracket(scan.current()))
            break;
        double xyz[3] = {};
        if (!three_numbers(scan.current(), xyz, convert_real))
            break;
        finite = finite && std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
        points.push_back({xyz[0], xyz[1], xyz[2]});
    }
    if (!is_point || scan.have_vertices || points.empty())
        return;
    scan.ok = scan.ok && finite;
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

bool parse_wrl_file(const std::string& path, Surface& surface)
{
    WrlScan scan;
    if (!read_text_lines(path, scan.lines)) {
        log_status("Could not open wrl file");
        return false;
    }
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
    if (!scan.ok || !complete_read_surface(scan.read, ".wrl")) {
        log_status("Could not parse wrl file");
        return false;
    }
    install_read_surface(surface, std::move(scan.read));
    return true;
}
