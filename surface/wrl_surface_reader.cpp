#include "surface/wrl_surface_reader.h"

#include "surface/annotation.h"
#include "surface/coordinate_range.h"
#include "surface/file_refusal.h"
#include "surface/file_text.h"
#include "surface/number_tokens.h"
#include "surface/surface_reading.h"
#include "surface/vrml_tokens.h"

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

constexpr std::int64_t none = -1;

std::string line_text(std::size_t line) { return "line " + std::to_string(line + 1); }

// The points of one "point" field of a coordinate node.
struct PointBlock {
    std::vector<Point3> points;
    std::size_t line = 0;       // where it opened
    std::int64_t offset = none; // of its first point in the surface, once a face set uses it
};

// The faces of one "coordIndex" field, as triangles of indices into its point block.
struct FaceBlock {
    std::vector<Triangle> triangles;
    std::size_t line = 0;
    std::int64_t face_set = none;      // the IndexedFaceSet node that holds it
    std::int64_t latest_points = none; // the point block in force where it stands
    long long largest_index = -1;
    std::size_t largest_index_line = 0;
};

// An IndexedFaceSet node: the coordinates that belong to it.
struct FaceSet {
    std::int64_t own_points = none;  // a point block within the node itself
    std::int64_t used_points = none; // "coord USE name" of a coordinate node defined before
    std::string unknown_use;         // "coord USE name" of a name that is no coordinate node
};

// A node that is open: its type and the name DEF gave it.
struct OpenNode {
    std::string type;
    std::string name;
    std::int64_t face_set = none;
};

enum class BlockKind { outside, points, faces, passed_over };

// The whole state of one read.
class WrlScan {
public:
    Surface read;
    std::string refusal; // why the file is refused; empty while it is not

    bool scan_lines(std::vector<std::string>& lines);
    bool complete();

private:
    bool take_token(const VrmlToken& token, std::size_t line);
    bool take_block_token(const VrmlToken& token, std::size_t line);
    bool open_block(std::string_view field, std::size_t line);
    bool close_block(std::size_t line);
    void close_faces(FaceBlock& faces);
    std::int64_t innermost_face_set() const;
    bool refuse(std::size_t line, const std::string& why)
    {
        refusal = line_text(line) + ": " + why;
        return false;
    }

    std::vector<PointBlock> point_blocks_;
    std::vector<FaceBlock> face_blocks_;
    std::vector<FaceSet> face_sets_;
    std::vector<std::pair<std::string, std::int64_t>> named_points_; // DEF name -> point block
    std::vector<OpenNode> nodes_;
    std::int64_t latest_points_ = none;

    // What the last tokens announced.
    std::string_view last_word_;     // the word before the token in hand (a node's type)
    std::string pending_name_;       // DEF name, for the node that opens next
    bool expecting_name_ = false;    // after DEF
    bool expecting_use_ = false;     // after USE
    bool use_is_coord_ = false;      // that USE is the value of a "coord" field
    std::string_view pending_field_; // point, vector or coordIndex, before its "["
    std::size_t pending_field_line_ = 0;

    // The block being read.
    BlockKind block_ = BlockKind::outside;
    std::size_t block_line_ = 0;
    std::string_view block_field_;
    std::vector<double> values_;        // of a point block
    std::vector<std::int64_t> indices_; // of a face block, line ends marked by line_mark
    bool block_has_terminator_ = false;
    long long largest_index_ = -1;
    std::size_t largest_index_line_ = 0;
};

// Marks a line end within a face block: a block without any -1 ends a face at every line end
// too, as files written one triangle per line without terminators have it.
constexpr std::int64_t line_mark = -2;

std::int64_t WrlScan::innermost_face_set() const
{
    for (auto node = nodes_.rbegin(); node != nodes_.rend(); ++node)
        if (node->face_set != none)
            return node->face_set;
    return none;
}

bool WrlScan::open_block(std::string_view field, std::size_t line)
{
    const std::string* type = nodes_.empty() ? nullptr : &nodes_.back().type;
    block_line_ = line;
    block_field_ = field;
    if (field == "point" && !(type && type->rfind("TextureCoordinate", 0) == 0)) {
        block_ = BlockKind::points;
        values_.clear();
    } else if (field == "coordIndex" && !(type && *type == "IndexedLineSet")) {
        block_ = BlockKind::faces;
        indices_.clear();
        block_has_terminator_ = false;
        largest_index_ = -1;
    } else {
        // Normals (the reader computes its own), texture coordinates and the indices of lines.
        block_ = BlockKind::passed_over;
    }
    return true;
}

// Fan triangulation of the corners from `begin` to `end`: k corners make k - 2 triangles
// around the first; fewer than 3 make none.
void add_face(const std::vector<std::int64_t>& corners, std::size_t begin, std::size_t end,
              std::vector<Triangle>& triangles)
{
    for (std::size_t k = begin + 2; k < end; ++k) {
        Triangle triangle;
        triangle.vertex = {corners[begin], corners[k - 1], corners[k]};
        triangles.push_back(triangle);
    }
}

void WrlScan::close_faces(FaceBlock& faces)
{
    const std::int64_t face_end = block_has_terminator_ ? -1 : line_mark;
    std::size_t begin = 0;
    std::size_t kept = 0; // corners of the face in hand, gathered at the front of begin
    std::vector<std::int64_t>& corners = indices_;
    for (std::size_t i = 0; i <= corners.size(); ++i) {
        const bool ends = i == corners.size() || corners[i] == face_end;
        if (!ends) {
            if (corners[i] >= 0)
                corners[begin + kept++] = corners[i];
            continue;
        }
        add_face(corners, begin, begin + kept, faces.triangles);
        begin = i + 1;
        kept = 0;
    }
}

bool WrlScan::close_block(std::size_t line)
{
    const BlockKind kind = block_;
    block_ = BlockKind::outside;
    if (kind == BlockKind::points) {
        if (values_.size() % 3 != 0)
            return refuse(line, "expected 3 numbers for every point");
        PointBlock block;
        block.line = block_line_;
        block.points.reserve(values_.size() / 3);
        for (std::size_t v = 0; v < values_.size(); v += 3)
            block.points.push_back({values_[v], values_[v + 1], values_[v + 2]});
        const auto id = static_cast<std::int64_t>(point_blocks_.size());
        point_blocks_.push_back(std::move(block));
        latest_points_ = id;
        if (!nodes_.empty() && !nodes_.back().name.empty())
            named_points_.emplace_back(nodes_.back().name, id);
        const std::int64_t face_set = innermost_face_set();
        if (face_set != none && face_sets_[static_cast<std::size_t>(face_set)].own_points == none)
            face_sets_[static_cast<std::size_t>(face_set)].own_points = id;
    } else if (kind == BlockKind::faces) {
        FaceBlock faces;
        faces.line = block_line_;
        faces.face_set = innermost_face_set();
        faces.latest_points = latest_points_;
        faces.largest_index = largest_index_;
        faces.largest_index_line = largest_index_line_;
        close_faces(faces);
        face_blocks_.push_back(std::move(faces));
    }
    return true;
}

bool WrlScan::take_block_token(const VrmlToken& token, std::size_t line)
{
    if (token.kind == VrmlTokenKind::close_bracket)
        return close_block(line);
    if (block_ == BlockKind::passed_over)
        return true;
    const std::string shown(token.text.substr(0, 40));
    if (block_ == BlockKind::points) {
        double value = 0.0;
        if (token.kind != VrmlTokenKind::word || !convert_real(token.text, value))
            return refuse(line, "'" + shown + "' in a point block is not a number");
        if (!is_surface_coordinate(value))
            return refuse(line, refused_coordinate_reason(value));
        values_.push_back(value);
        return true;
    }
    long long index = 0;
    if (token.kind != VrmlTokenKind::word || !convert_integer(token.text, index))
        return refuse(line, "'" + shown + "' in a coordIndex block is not a vertex index");
    if (index < -1)
        return refuse(line, "vertex index " + std::to_string(index));
    block_has_terminator_ = block_has_terminator_ || index == -1;
    if (index > largest_index_) {
        largest_index_ = index;
        largest_index_line_ = line;
    }
    indices_.push_back(index);
    return true;
}

bool WrlScan::take_token(const VrmlToken& token, std::size_t line)
{
    if (block_ != BlockKind::outside)
        return take_block_token(token, line);
    const bool is_word = token.kind == VrmlTokenKind::word;
    if (!pending_field_.empty()) {
        const std::string_view field = pending_field_;
        pending_field_ = {};
        if (token.kind == VrmlTokenKind::open_bracket)
            return open_block(field, line);
        if (is_word && field != "vector") {
            double value = 0.0;
            if (convert_real(token.text, value))
                return refuse(pending_field_line_,
                              "a " + std::string(field) + " field without '[' is not read");
        }
    }
    if (expecting_name_) {
        expecting_name_ = false;
        if (is_word) {
            pending_name_.assign(token.text);
            return true;
        }
    }
    if (expecting_use_) {
        expecting_use_ = false;
        if (is_word) {
            const std::string name(token.text);
            std::int64_t used = none;
            for (const auto& [defined, block] : named_points_)
                if (defined == name)
                    used = block;
            const std::int64_t face_set = use_is_coord_ ? innermost_face_set() : none;
            if (used != none)
                latest_points_ = used;
            if (face_set != none) {
                FaceSet& set = face_sets_[static_cast<std::size_t>(face_set)];
                set.used_points = used;
                if (used == none)
                    set.unknown_use = name;
            }
            return true;
        }
    }
    switch (token.kind) {
    case VrmlTokenKind::open_brace: {
        OpenNode node;
        node.type.assign(last_word_);
        node.name = std::move(pending_name_);
        pending_name_.clear();
        if (node.type == "IndexedFaceSet") {
            node.face_set = static_cast<std::int64_t>(face_sets_.size());
            face_sets_.emplace_back();
        }
        nodes_.push_back(std::move(node));
        break;
    }
    case VrmlTokenKind::close_brace:
        if (!nodes_.empty())
            nodes_.pop_back();
        break;
    case VrmlTokenKind::word:
        if (token.text == "DEF") {
            expecting_name_ = true;
        } else if (token.text == "USE") {
            expecting_use_ = true;
            use_is_coord_ = last_word_ == "coord";
        } else if (token.text == "point" || token.text == "vector" || token.text == "coordIndex") {
            pending_field_ = token.text;
            pending_field_line_ = line;
        }
        break;
    default:
        break;
    }
    last_word_ = is_word ? token.text : std::string_view();
    return true;
}

bool WrlScan::scan_lines(std::vector<std::string>& lines)
{
    AnnotationReader annotations;
    std::vector<VrmlToken> tokens;
    bool in_string = false;
    for (std::size_t line = 0; line < lines.size(); ++line) {
        std::string& text = lines[line];
        std::replace(text.begin(), text.end(), '\t', ' ');
        // Annotations stand on lines of their own, outside the blocks of values.
        if (block_ == BlockKind::outside && !in_string &&
            read_annotation_line(annotations, read, text, AnnotationOrder::wrl))
            continue;
        vrml_line_tokens(text, in_string, tokens);
        for (const VrmlToken& token : tokens)
            if (!take_token(token, line))
                return false;
        if (block_ == BlockKind::faces && !indices_.empty() && indices_.back() != line_mark)
            indices_.push_back(line_mark);
    }
    if (block_ != BlockKind::outside)
        return refuse(block_line_,
                      "the " + std::string(block_field_) + " block has no closing ']'");
    return true;
}

// Joins the point blocks that face sets use into the vertices (in file order, each once) and
// the faces of every set into the triangles, their indices offset by the points before theirs.
bool WrlScan::complete()
{
    if (point_blocks_.empty()) {
        refusal = "no point block";
        return false;
    }
    if (face_blocks_.empty()) {
        refusal = "no coordIndex block";
        return false;
    }
    std::vector<std::int64_t> points_of(face_blocks_.size(), none);
    for (std::size_t f = 0; f < face_blocks_.size(); ++f) {
        const FaceBlock& faces = face_blocks_[f];
        std::int64_t block = faces.latest_points;
        if (faces.face_set != none) {
            const FaceSet& set = face_sets_[static_cast<std::size_t>(faces.face_set)];
            if (set.own_points != none)
                block = set.own_points;
            else if (set.used_points != none)
                block = set.used_points;
            else if (!set.unknown_use.empty())
                return refuse(faces.line, "its coordinates '" + set.unknown_use +
                                              "' are not defined before it");
        }
        if (block == none)
            return refuse(faces.line, "a coordIndex block before any point block");
        const PointBlock& points = point_blocks_[static_cast<std::size_t>(block)];
        if (faces.largest_index >= static_cast<long long>(points.points.size()))
            return refuse(faces.largest_index_line,
                          "vertex index " + std::to_string(faces.largest_index) + " beyond the " +
                              std::to_string(points.points.size()) +
                              " points of the point block of " + line_text(points.line));
        points_of[f] = block;
        point_blocks_[static_cast<std::size_t>(block)].offset = 0;
    }
    std::int64_t vertex_count = 0;
    for (PointBlock& block : point_blocks_) {
        if (block.offset == none)
            continue; // coordinates of no face set (a point set, a coordinate node never used)
        block.offset = vertex_count;
        vertex_count += static_cast<std::int64_t>(block.points.size());
    }
    reserve_vertices(read, static_cast<std::size_t>(vertex_count));
    for (PointBlock& block : point_blocks_) {
        if (block.offset == none)
            continue;
        for (const Point3& p : block.points)
            append_vertex(read, p);
        block.points = {};
    }
    read.vertex_count = vertex_count;
    std::size_t triangle_count = 0;
    for (const FaceBlock& faces : face_blocks_)
        triangle_count += faces.triangles.size();
    if (face_blocks_.size() == 1 &&
        point_blocks_[static_cast<std::size_t>(points_of[0])].offset == 0)
        read.triangles = std::move(face_blocks_[0].triangles); // nothing to offset
    else
        read.triangles.reserve(triangle_count);
    for (std::size_t f = 0; f < face_blocks_.size(); ++f) {
        const std::int64_t offset = point_blocks_[static_cast<std::size_t>(points_of[f])].offset;
        for (Triangle triangle : face_blocks_[f].triangles) {
            for (std::int64_t& corner : triangle.vertex)
                corner += offset;
            read.triangles.push_back(triangle);
        }
        face_blocks_[f].triangles = {};
    }
    read.triangle_count = static_cast<std::int64_t>(read.triangles.size());
    if (vertex_count == 0) {
        refusal = "0 vertices";
        return false;
    }
    if (read.triangles.empty()) {
        refusal = "no face with 3 or more corners";
        return false;
    }
    if (!complete_read_surface(read, ".wrl")) {
        refusal = "the surface does not hold together";
        return false;
    }
    return true;
}

const char could_not_open[] = "Could not open wrl file";
const char could_not_parse[] = "Could not parse wrl file";

} // namespace

bool parse_wrl_file(const std::string& path, Surface& surface)
{
    std::vector<std::string> lines;
    WholeFileRead outcome = WholeFileRead::not_opened;
    try {
        outcome = read_file_text_lines(path, largest_wrl_file, lines);
    } catch (const std::bad_alloc&) {
        log_refusal(could_not_open, path, "too large to hold");
        return false;
    }
    switch (outcome) {
    case WholeFileRead::read:
        break;
    case WholeFileRead::too_large:
        log_refusal(could_not_open, path, "larger than 2 GiB");
        return false;
    default:
        log_refusal(could_not_open, path, unopened_file_reason(path));
        return false;
    }
    auto scan = std::make_unique<WrlScan>();
    bool parsed = false;
    try {
        parsed = scan->scan_lines(lines) && scan->complete();
    } catch (const std::bad_alloc&) {
        scan->refusal = "too large to hold";
    }
    if (!parsed) {
        log_refusal(could_not_parse, path, scan->refusal);
        return false;
    }
    install_read_surface(surface, std::move(scan->read));
    return true;
}
