#include "surface/annotation.h"

#include "surface/c_locale.h"
#include "surface/coordinate_range.h"
#include "surface/number_tokens.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

namespace {

constexpr std::string_view lad_hint_keyword = "LAD sphere radius hint";
constexpr std::string_view landmark_keyword = "LANDMARK";
constexpr std::string_view semilandmark_keyword = "SEMILANDMARK";
constexpr std::string_view landcurve_keyword = "_LANDCURVE";
constexpr std::string_view closed_keyword = "CLOSED";

bool contains(std::string_view line, std::string_view word)
{
    return line.find(word) != std::string_view::npos;
}

// A vertex index from a number, truncated toward zero; values beyond 64 bits are clamped, which
// keeps them outside every surface.
std::int64_t vertex_index_from(double value)
{
    constexpr double limit = 9223372036854775807.0; // 2^63
    if (value >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// The text between the first and the last double quote; empty with fewer than two.
std::string quoted_name(std::string_view line)
{
    const std::size_t first = line.find('"');
    const std::size_t last = line.rfind('"');
    if (first == std::string_view::npos || first == last)
        return {};
    return std::string(line.substr(first + 1, last - first - 1));
}

// The text after the last occurrence of c, or the whole line without one.
std::string_view after_last(std::string_view line, char c)
{
    const std::size_t at = line.rfind(c);
    return at == std::string_view::npos ? line : line.substr(at + 1);
}

std::string replace_all(std::string line, std::string_view word, const char* by)
{
    for (std::size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1))
        line.replace(at, word.size(), by);
    return line;
}

// The LAD hint: the number after the phrase, whole (leading blanks allowed).
void read_lad_hint(Surface& surface, const std::string& line)
{
    const std::string marked = replace_all(line, lad_hint_keyword, "#");
    const std::string text(after_last(marked, '#'));
    const char* end = nullptr;
    double hint = 0.0;
    if (parse_double(text.c_str(), hint, &end) && *end == '\0' && is_usable_coordinate(hint))
        surface.lad_radius_hint = hint;
}

void read_landmark(Surface& surface, const std::string& line)
{
    Landmark landmark;
    landmark.name = quoted_name(line);
    if (read_point_numbers(std::string(after_last(line, '"')), landmark))
        surface.landmarks.push_back(std::move(landmark));
}

// A curve header always starts a new working curve; only a count of two or more starts a
// collection, and a shorter one drops a collection still pending.
void read_curve_header(AnnotationReader& reader, const std::string& line)
{
    reader.curve.points.clear();
    reader.curve.control_points.clear();
    reader.curve.partner = -1;
    reader.curve.name = quoted_name(line);
    reader.curve.closed = contains(line, closed_keyword);
    reader.gathered = 0;
    std::string_view rest = after_last(line, '"');
    long long count = 0;
    reader.announced = convert_integer(next_token(rest), count) ? count : 0;
    reader.pending = reader.announced >= 2;
}

void read_curve_point(AnnotationReader& reader, Surface& surface, const std::string& line)
{
    Landmark point;
    if (read_point_numbers(std::string(after_last(line, '#')), point)) {
        reader.curve.control_points.push_back(point);
        reader.curve.points.push_back(point);
        ++reader.gathered;
    }
    if (reader.gathered == reader.announced) {
        surface.landcurves.push_back(reader.curve);
        reader.pending = false;
    }
}

void read_semilandmark(Surface& surface, const std::string& line)
{
    const std::string marked = replace_all(line, semilandmark_keyword, "#");
    Landmark semilandmark;
    if (read_point_numbers(std::string(after_last(marked, '#')), semilandmark))
        surface.semilandmarks.push_back(std::move(semilandmark));
}

void resolve(Landmark& point, const std::vector<Point3>& positions)
{
    if (point.vertex_index == -1)
        return;
    const bool inside = point.vertex_index >= 0 &&
                        static_cast<std::uint64_t>(point.vertex_index) < positions.size();
    point.position = inside ? positions[static_cast<std::size_t>(point.vertex_index)] : Point3{};
}

std::string six_numbers(const Point3& position, const Point3& normal)
{
    return c_format("%f %f %f %f %f %f", position.x, position.y, position.z, normal.x, normal.y,
                    normal.z);
}

} // namespace

bool read_point_numbers(const std::string& text, Landmark& point)
{
    std::string_view rest = text;
    double x = 0.0, y = 0.0, z = 0.0;
    if (!convert_coordinate(next_token(rest), x))
        return false;
    const bool has_y = convert_coordinate(next_token(rest), y);
    const bool has_z = convert_coordinate(next_token(rest), z);
    if (has_y && has_z) {
        point.position = {x, y, z};
        point.vertex_index = -1;
    } else {
        point.position = {};
        point.vertex_index = vertex_index_from(x);
    }
    return true;
}

bool read_annotation_line(AnnotationReader& reader, Surface& surface, std::string line,
                          AnnotationOrder order)
{
    // Files with CR LF line ends would otherwise leave the last number unconvertible.
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    const bool is_lad_hint = contains(line, lad_hint_keyword);
    if (order == AnnotationOrder::ply && is_lad_hint) {
        read_lad_hint(surface, line);
        return true;
    }
    const bool is_semilandmark = contains(line, semilandmark_keyword);
    if (contains(line, landmark_keyword) && !is_semilandmark) {
        read_landmark(surface, line);
        return true;
    }
    if (contains(line, landcurve_keyword)) {
        read_curve_header(reader, line);
        return true;
    }
    if (reader.pending)
        read_curve_point(reader, surface, line);
    if (is_semilandmark) {
        read_semilandmark(surface, line);
        return true;
    }
    if (order == AnnotationOrder::wrl && is_lad_hint) {
        read_lad_hint(surface, line);
        return true;
    }
    return false;
}

void resolve_annotation_vertices(Surface& surface)
{
    for (Landmark& landmark : surface.landmarks)
        resolve(landmark, surface.positions);
    for (Landcurve& curve : surface.landcurves) {
        for (Landmark& point : curve.control_points)
            resolve(point, surface.positions);
        for (Landmark& point : curve.points)
            resolve(point, surface.positions);
    }
    for (Landmark& semilandmark : surface.semilandmarks)
        resolve(semilandmark, surface.positions);
}

std::string lad_hint_annotation(double hint)
{
    return c_format("LAD sphere radius hint %.1f", hint);
}

std::string landmark_annotation(const std::string& name, const Point3& position,
                                const Point3& normal)
{
    return "LANDMARK \"" + name + "\" " + six_numbers(position, normal);
}

std::string landcurve_header_annotation(const std::string& name, bool closed,
                                        std::int64_t point_count)
{
    return (closed ? "CLOSED_LANDCURVE \"" : "OPEN_LANDCURVE \"") + name + "\" " +
           c_format("%lli", static_cast<long long>(point_count));
}

std::string curve_point_annotation(const Point3& position, const Point3& normal)
{
    return six_numbers(position, normal);
}

std::string semilandmark_annotation(const Point3& position, const Point3& normal)
{
    return "SEMILANDMARK " + six_numbers(position, normal);
}

bool annotation_name_allowed(const std::string& name, bool curve)
{
    for (const std::string_view keyword : {landmark_keyword, landcurve_keyword, lad_hint_keyword})
        if (contains(name, keyword))
            return false;
    if (curve && contains(name, closed_keyword))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

std::string refused_name_message(bool curve)
{
    return std::string(curve ? "A landcurve" : "A landmark") +
           " name may not contain LANDMARK, SEMILANDMARK, _LANDCURVE, " +
           (curve ? "CLOSED, " : "") + "\"LAD sphere radius hint\" or control characters";
}

bool annotation_lines_read_back(const std::vector<std::string>& lines, const Surface& items)
{
    Surface read;
    AnnotationReader reader;
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos)
            return false;
        read_annotation_line(reader, read, line, AnnotationOrder::ply);
    }
    if ((items.lad_radius_hint != -1.0) != (read.lad_radius_hint != -1.0))
        return false;
    const auto by_coordinates = [](const Landmark& point) { return point.vertex_index == -1; };
    const auto all_by_coordinates = [&](const std::vector<Landmark>& points) {
        return std::all_of(points.begin(), points.end(), by_coordinates);
    };
    if (read.landmarks.size() != items.landmarks.size() || !all_by_coordinates(read.landmarks))
        return false;
    for (std::size_t i = 0; i < items.landmarks.size(); ++i)
        if (read.landmarks[i].name != items.landmarks[i].name)
            return false;
    std::size_t next = 0;
    for (const Landcurve& curve : items.landcurves) {
        if (curve.control_points.size() < 2)
            continue;
        if (next >= read.landcurves.size())
            return false;
        const Landcurve& back = read.landcurves[next++];
        if (back.name != curve.name || back.closed != curve.closed ||
            back.control_points.size() != curve.control_points.size() ||
            !all_by_coordinates(back.control_points))
            return false;
    }
    return next == read.landcurves.size() &&
           read.semilandmarks.size() == items.semilandmarks.size() &&
           all_by_coordinates(read.semilandmarks);
}
