#include "surface/ply_surface_reader.h"

#include "surface/c_locale.h"
#include "surface/ply_surface_blocks.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// Writes mesh as name in directory and returns its path.
std::string write_ply(const TempDirectory& directory, const std::string& name, const Mesh& mesh,
                      const std::vector<std::string>& comments, const PlyLayout& layout)
{
    const std::string path = directory.file(name);
    EXPECT_TRUE(write_ply_file(path, mesh, comments, layout)) << "writing " << name;
    return path;
}

const std::vector<std::string> annotation_comments = {
    "LAD sphere radius hint 2.5",
    "LANDMARK \"apex\" 0.000000 0.000000 2.000000 0.000000 0.000000 1.000000",
    "LANDMARK \"by index\" 3",
    "LANDMARK \"outside\" 100000",
    "CLOSED_LANDCURVE \"equator\" 3",
    "1 0 0 1 0 0",
    "0",
    "0 1 0 0 1 0",
    "SEMILANDMARK 5",
};

// Whatever a successful read must leave: every array as long as the surface says.
void expect_consistent(const Surface& surface)
{
    const auto v = static_cast<std::size_t>(surface.vertex_count);
    ASSERT_GT(surface.vertex_count, 0);
    ASSERT_GT(surface.triangle_count, 0);
    EXPECT_EQ(surface.triangles.size(), static_cast<std::size_t>(surface.triangle_count));
    for (const auto* shape : {&surface.positions, &surface.deformed_positions, &surface.normals,
                              &surface.deformed_normals, &surface.rim_direction})
        EXPECT_EQ(shape->size(), v);
    // The stored result shapes are made only when a model needs one.
    for (const auto* shape :
         {&surface.sim_lad_positions, &surface.aff_lad_positions, &surface.aspect_lad_positions,
          &surface.sim_tps_positions, &surface.sim_ssm_positions})
        EXPECT_TRUE(shape->empty());
    EXPECT_EQ(surface.normal_count, surface.vertex_count);
    EXPECT_EQ(surface.selected.size(), v);
    EXPECT_EQ(surface.sigma.size(), v);
    for (const Triangle& t : surface.triangles)
        for (const std::int64_t corner : t.vertex)
            EXPECT_TRUE(corner >= 0 && corner < surface.vertex_count);
}

// A surface filled before a read that fails, to show the failure leaves it alone.
void expect_untouched(const Surface& surface, const Mesh& before)
{
    EXPECT_EQ(surface.vertex_count, static_cast<std::int64_t>(before.positions.size()));
    EXPECT_EQ(surface.positions.size(), before.positions.size());
    EXPECT_EQ(surface.triangles.size(), before.triangles.size());
    EXPECT_TRUE(surface.landmarks.empty());
    EXPECT_EQ(surface.lad_radius_hint, -1.0);
}

std::string ascii_file(const std::string& header_tail, const std::string& data)
{
    return "ply\nformat ascii 1.0\n" + header_tail + "end_header\n" + data;
}

} // namespace

// The same octahedron and annotations stored as ASCII, little-endian and big-endian binary,
// with single and double coordinates, read into the same surface.
TEST(PlySurfaceReader, EveryStorageModeGivesTheSameSurface)
{
    TempDirectory directory;
    const Mesh mesh = octahedron(2.0);
    std::vector<Surface> read(6);
    int i = 0;
    for (const e_ply_storage_mode mode : {PLY_ASCII, PLY_LITTLE_ENDIAN, PLY_BIG_ENDIAN}) {
        for (const e_ply_type coordinate : {PLY_FLOAT, PLY_DOUBLE}) {
            PlyLayout layout;
            layout.mode = mode;
            layout.coordinate = coordinate;
            const std::string path = write_ply(directory, "s" + std::to_string(i) + ".ply", mesh,
                                               annotation_comments, layout);
            ASSERT_TRUE(parse_ply_file(path, read[static_cast<std::size_t>(i)])) << path;
            ++i;
        }
    }
    for (const Surface& surface : read) {
        expect_consistent(surface);
        EXPECT_EQ(surface.file_type, ".ply");
        EXPECT_EQ(surface.shown, ShownShape::as_read);
        ASSERT_EQ(surface.positions.size(), mesh.positions.size());
        for (std::size_t v = 0; v < mesh.positions.size(); ++v) {
            EXPECT_EQ(surface.positions[v].x, mesh.positions[v].x);
            EXPECT_EQ(surface.deformed_positions[v].z, mesh.positions[v].z);
            // Octahedron vertices lie on the axes, so their normals do too.
            EXPECT_NEAR(dot(surface.normals[v], mesh.positions[v]), 2.0, 1e-12);
        }
        for (std::size_t t = 0; t < mesh.triangles.size(); ++t)
            EXPECT_EQ(surface.triangles[t].vertex, mesh.triangles[t].vertex);
        EXPECT_EQ(surface.lad_radius_hint, 2.5);
        ASSERT_EQ(surface.landmarks.size(), 3u);
        EXPECT_EQ(surface.landmarks[0].name, "apex");
        EXPECT_EQ(surface.landmarks[0].position.z, 2.0);
        // By vertex index: vertex 3's position; an index beyond the surface gives the origin.
        EXPECT_EQ(surface.landmarks[1].position.y, -2.0);
        EXPECT_EQ(surface.landmarks[1].vertex_index, 3);
        EXPECT_EQ(surface.landmarks[2].position.x, 0.0);
        EXPECT_EQ(surface.landmarks[2].vertex_index, 100000);
        ASSERT_EQ(surface.landcurves.size(), 1u);
        EXPECT_TRUE(surface.landcurves[0].closed);
        ASSERT_EQ(surface.landcurves[0].points.size(), 3u);
        EXPECT_EQ(surface.landcurves[0].points[1].position.x, 2.0);
        EXPECT_EQ(surface.landcurves[0].control_points[1].position.x, 2.0);
        ASSERT_EQ(surface.semilandmarks.size(), 1u);
        EXPECT_EQ(surface.semilandmarks[0].position.z, -2.0);
    }
}

TEST(PlySurfaceReader, PropertiesAreFoundByName)
{
    TempDirectory directory;
    // Coordinates in any order between other properties, faces as "vertex_index".
    const std::string reordered = directory.write(
        "reordered.ply",
        ascii_file("element vertex 3\nproperty float z\nproperty uchar red\nproperty float y\n"
                   "property float x\nelement face 1\nproperty list uchar int vertex_index\n",
                   "3 0 2 1\n6 0 5 4\n9 0 8 7\n3 0 1 2\n"));
    Surface surface;
    ASSERT_TRUE(parse_ply_file(reordered, surface));
    EXPECT_EQ(surface.positions[1].x, 4.0);
    EXPECT_EQ(surface.positions[1].z, 6.0);
    // With both face properties, "vertex_indices" is the one read.
    const std::string both = directory.write(
        "both.ply", ascii_file("element vertex 3\nproperty float x\nproperty float y\n"
                               "property float z\nelement face 1\n"
                               "property list uchar int vertex_index\n"
                               "property list uchar int vertex_indices\n",
                               "0 0 0\n1 0 0\n0 1 0\n3 9 9 9 3 2 1 0\n"));
    Surface second;
    ASSERT_TRUE(parse_ply_file(both, second));
    EXPECT_EQ(second.triangles[0].vertex, (std::array<std::int64_t, 3>{2, 1, 0}));
}

namespace {

struct PlyProperty {
    std::string name;
    std::string type; // a header word; "list L V" for a list
};

// The mesh as a PLY file of the given storage word and element layout: each vertex property
// named x, y or z holds that coordinate and every other one 7; the face element holds, besides
// the corner list named `corners`, the properties `face_extras` (each 1); a "trailer" element
// of one uchar per entry follows when trailer_count is not 0.
std::string layout_file(const Mesh& mesh, const std::string& storage,
                        const std::vector<PlyProperty>& vertex_properties,
                        const std::string& corner_list, const std::string& corners,
                        const std::vector<PlyProperty>& face_extras, int trailer_count)
{
    std::string text = "ply\nformat " + storage + " 1.0\nelement vertex " +
                       std::to_string(mesh.positions.size()) + "\n";
    for (const PlyProperty& p : vertex_properties)
        text += "property " + p.type + " " + p.name + "\n";
    text += "element face " + std::to_string(mesh.triangles.size()) + "\nproperty list " +
            corner_list + " " + corners + "\n";
    for (const PlyProperty& p : face_extras)
        text += "property " + p.type + " " + p.name + "\n";
    if (trailer_count != 0)
        text += "element trailer " + std::to_string(trailer_count) + "\nproperty uchar t\n";
    text += "end_header\n";
    const bool ascii = storage == "ascii";
    const bool big = storage == "binary_big_endian";
    const auto put = [&](const std::string& type, double value) {
        if (ascii) {
            text += c_format("%.17g ", value);
            return;
        }
        char bytes[8];
        std::size_t size = 0;
        const auto store = [&](auto stored) {
            size = sizeof stored;
            std::memcpy(bytes, &stored, size);
        };
        if (type == "char" || type == "int8")
            store(static_cast<std::int8_t>(value));
        else if (type == "uchar" || type == "uint8")
            store(static_cast<std::uint8_t>(value));
        else if (type == "short" || type == "int16")
            store(static_cast<std::int16_t>(value));
        else if (type == "ushort" || type == "uint16")
            store(static_cast<std::uint16_t>(value));
        else if (type == "int" || type == "int32")
            store(static_cast<std::int32_t>(value));
        else if (type == "uint" || type == "uint32")
            store(static_cast<std::uint32_t>(value));
        else if (type == "float" || type == "float32")
            store(static_cast<float>(value));
        else
            store(value);
        if (big)
            std::reverse(bytes, bytes + size);
        text.append(bytes, size);
    };
    const auto words = [](const std::string& list) {
        std::vector<std::string> split;
        std::size_t from = 0;
        for (std::size_t blank; (blank = list.find(' ', from)) != std::string::npos;
             from = blank + 1)
            split.push_back(list.substr(from, blank - from));
        split.push_back(list.substr(from));
        return split;
    };
    for (const Point3& position : mesh.positions) {
        for (const PlyProperty& p : vertex_properties) {
            if (p.type.rfind("list ", 0) == 0) {
                put(words(p.type)[1], 0.0); // an empty list
                continue;
            }
            put(p.type, p.name == "x"   ? position.x
                        : p.name == "y" ? position.y
                        : p.name == "z" ? position.z
                                        : 7.0);
        }
        if (ascii)
            text += "\n";
    }
    const std::vector<std::string> list_types = words(corner_list);
    for (const Triangle& triangle : mesh.triangles) {
        put(list_types[0], 3.0);
        for (const std::int64_t corner : triangle.vertex)
            put(list_types[1], static_cast<double>(corner));
        for (const PlyProperty& p : face_extras)
            put(p.type, 1.0);
        if (ascii)
            text += "\n";
    }
    for (int i = 0; i < trailer_count; ++i)
        put("uchar", 5.0);
    return text;
}

} // namespace

// Binary files of many layouts, those read a block of records at a time and those read value
// by value, read into the surface that the same layout gives as ASCII text.
TEST(PlySurfaceReader, EveryBinaryLayoutGivesTheSurfaceOfItsText)
{
    const Mesh mesh = octahedron(2.0);
    const std::vector<PlyProperty> floats = {{"x", "float"}, {"y", "float"}, {"z", "float"}};
    struct Layout {
        const char* why;
        bool by_blocks; // the layout is one that has_block_layout takes
        std::vector<PlyProperty> vertex;
        std::string corner_list;
        std::string corners;
        std::vector<PlyProperty> face_extras;
        int trailer_count;
    };
    const Layout layouts[] = {
        {"the common layout", true, floats, "uchar int", "vertex_indices", {}, 0},
        {"doubles and other properties, coordinates out of order", true,
         {{"nx", "float"}, {"z", "double"}, {"red", "uchar"}, {"x", "double"}, {"y", "double"}},
         "uint8 uint32", "vertex_indices", {}, 0},
        {"small integer types", true, {{"x", "short"}, {"y", "int8"}, {"z", "int32"}},
         "char ushort", "vertex_index", {}, 0},
        {"a coordinate named twice: the first counts", true,
         {{"x", "float"}, {"y", "float"}, {"z", "float"}, {"x", "double"}}, "uchar uint",
         "vertex_indices", {}, 0},
        {"faces with a property besides the corners", false, floats, "uchar int",
         "vertex_indices", {{"flags", "int"}}, 0},
        {"an element after the faces", false, floats, "uchar int", "vertex_indices", {}, 3},
        {"corners stored as reals", false, floats, "uchar float", "vertex_indices", {}, 0},
        {"a list among the vertex properties", false,
         {{"x", "float"}, {"y", "float"}, {"z", "float"}, {"tags", "list uchar int"}},
         "uchar int", "vertex_indices", {}, 0},
    };
    TempDirectory directory;
    for (const Layout& l : layouts) {
        const auto file = [&](const std::string& storage) {
            return directory.write(storage + ".ply",
                                   layout_file(mesh, storage, l.vertex, l.corner_list, l.corners,
                                               l.face_extras, l.trailer_count));
        };
        Surface text;
        ASSERT_TRUE(parse_ply_file(file("ascii"), text)) << l.why;
        for (const char* storage : {"binary_little_endian", "binary_big_endian"}) {
            const std::string path = file(storage);
            {
                std::FILE* stream = std::fopen(path.c_str(), "rb");
                ASSERT_NE(stream, nullptr);
                p_ply ply = ply_open_from_file(stream, nullptr, 0, nullptr);
                ASSERT_TRUE(ply_read_header(ply.get()));
                EXPECT_EQ(has_block_layout(*ply), l.by_blocks) << l.why;
                ply.reset();
                std::fclose(stream);
            }
            Surface binary;
            StatusCapture status;
            ASSERT_TRUE(parse_ply_file(path, binary)) << l.why << ", " << storage;
            EXPECT_TRUE(status.messages.empty()) << l.why;
            expect_consistent(binary);
            ASSERT_EQ(binary.vertex_count, text.vertex_count) << l.why;
            for (std::size_t v = 0; v < mesh.positions.size(); ++v) {
                EXPECT_EQ(binary.positions[v].x, text.positions[v].x) << l.why;
                EXPECT_EQ(binary.positions[v].y, text.positions[v].y) << l.why;
                EXPECT_EQ(binary.deformed_positions[v].z, text.deformed_positions[v].z) << l.why;
                EXPECT_EQ(binary.normals[v].x, text.normals[v].x) << l.why;
            }
            ASSERT_EQ(binary.triangles.size(), text.triangles.size()) << l.why;
            for (std::size_t t = 0; t < mesh.triangles.size(); ++t)
                EXPECT_EQ(binary.triangles[t].vertex, text.triangles[t].vertex) << l.why;
        }
    }
}

// Names are kept as UTF-8: a comment written in a single-byte encoding is decoded, so that the
// name shows and can be saved again.
TEST(PlySurfaceReader, NamesAreReadAsUtf8)
{
    TempDirectory directory;
    struct Case {
        const char* why;
        std::string comment;
    };
    const Case cases[] = {
        {"UTF-8 stays as it is", "CLOSED_LANDCURVE \"t\xC3\xAAte\" 2"},
        {"text that is not UTF-8 is taken as single bytes", "CLOSED_LANDCURVE \"t\xEAte\" 2"},
    };
    // A comment behind a UTF-16 mark whose last unit is cut off: decoded, no annotation, no
    // assertion (the test program aborts on one).
    Surface odd;
    const std::vector<std::string> odd_comments = {"\xFE\xFF\xD8\x3D\xDC", "\xFF\xFE\x01"};
    ASSERT_TRUE(
        parse_ply_file(write_ply(directory, "odd.ply", tetrahedron(), odd_comments, {}), odd));
    EXPECT_TRUE(odd.landcurves.empty() && odd.landmarks.empty());

    for (const Case& c : cases) {
        const std::string path =
            write_ply(directory, "names.ply", tetrahedron(), {c.comment, "0", "1"}, {});
        Surface surface;
        ASSERT_TRUE(parse_ply_file(path, surface)) << c.why;
        ASSERT_EQ(surface.landcurves.size(), 1u) << c.why;
        EXPECT_EQ(surface.landcurves[0].name, "t\xC3\xAAte") << c.why;
    }
}

// A little-endian binary file of the given header tail whose data are the floats, then the
// bytes (list lengths as uchar) and the int indices, in this order.
std::string
binary_file(const std::string& header_tail, const std::vector<float>& floats,
            const std::vector<std::pair<unsigned char, std::vector<std::int32_t>>>& faces)
{
    std::string bytes = "ply\nformat binary_little_endian 1.0\n" + header_tail + "end_header\n";
    const auto append = [&bytes](const void* value, std::size_t size) {
        bytes.append(static_cast<const char*>(value), size);
    };
    for (const float f : floats)
        append(&f, sizeof f);
    for (const auto& [length, corners] : faces) {
        append(&length, 1);
        for (const std::int32_t corner : corners)
            append(&corner, sizeof corner);
    }
    return bytes;
}

// Files that must fail, each with the reader's whole message; the surface read into keeps what
// it held.
TEST(PlySurfaceReader, RefusedFiles)
{
    const std::string vertices = "element vertex 3\nproperty float x\nproperty float y\n"
                                 "property float z\n";
    const std::string doubles = "element vertex 3\nproperty double x\nproperty double y\n"
                                "property double z\n";
    const std::string three = "0 0 0\n1 0 0\n0 1 0\n";
    const std::string faces = "element face 1\nproperty list uchar int vertex_indices\n";
    const std::string float_faces = "element face 1\nproperty list uchar float vertex_indices\n";
    const std::string four = "element vertex 4\nproperty float x\nproperty float y\n"
                             "property float z\n";
    const std::vector<float> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    struct Case {
        const char* why;
        std::string file; // empty: the file does not exist
        std::string message;
    };
    const Case cases[] = {
        {"a missing file", "", "Could not open ply file: scan.ply: No such file or directory"},
        {"not a PLY file", "solid ascii\n",
         "Could not parse ply header: scan.ply: Wrong magic number. Expected 'ply'"},
        {"a bad header line", ascii_file("element vertex 3\nproperty flaot x\n", ""),
         "Could not parse ply header: scan.ply: Unexpected token 'flaot'"},
        {"a quad mesh", binary_file(four + faces, square, {{4, {0, 1, 2, 3}}}),
         "Could not parse ply file: scan.ply: faces with 4 corners (only triangles are read)"},
        {"a face with four corners, in ASCII", ascii_file(vertices + faces, three + "4 0 1 2 0\n"),
         "Could not parse ply file: scan.ply: line 13: faces with 4 corners (only triangles are "
         "read)"},
        {"a point cloud", binary_file(four, square, {}),
         "Could not parse ply file: scan.ply: no face element"},
        {"a scan of triangle strips",
         binary_file(four + "element tristrips 1\nproperty list uchar int vertex_indices\n", square,
                     {{4, {0, 1, 3, 2}}}),
         "Could not parse ply file: scan.ply: no face element"},
        {"an empty mesh",
         ascii_file("element vertex 0\nproperty float x\nproperty float y\nproperty float z\n"
                    "element face 0\nproperty list uchar int vertex_indices\n",
                    ""),
         "Could not parse ply file: scan.ply: 0 vertices"},
        {"vertices without faces",
         ascii_file(vertices + "element face 0\n"
                               "property list uchar int vertex_indices\n",
                    three),
         "Could not parse ply file: scan.ply: 0 faces"},
        {"faces without a list of corners",
         ascii_file(vertices + "element face 1\nproperty int corner\n", three + "3\n"),
         "Could not parse ply file: scan.ply: no vertex_indices list in the face element"},
        {"vertices without z",
         ascii_file("element vertex 3\nproperty float x\nproperty float y\n" + faces,
                    "0 0\n1 0\n0 1\n3 0 1 2\n"),
         "Could not parse ply file: scan.ply: no z in the vertex element"},
        {"no vertex element", ascii_file(faces, "3 0 1 2\n"),
         "Could not parse ply file: scan.ply: no vertex element"},
        {"a corner equal to the vertex count", ascii_file(vertices + faces, three + "3 0 1 3\n"),
         "Could not parse ply file: scan.ply: line 13: face 0: vertex index 3 not among the 3 "
         "vertices"},
        {"a negative corner", binary_file(four + faces, square, {{3, {0, 1, -1}}}),
         "Could not parse ply file: scan.ply: face 0: vertex index -1 not among the 4 vertices"},
        {"a corner too large for any integer",
         ascii_file(vertices + float_faces, three + "3 0 1 1e300\n"),
         "Could not parse ply file: scan.ply: line 13: Error reading value number 3 of "
         "'vertex_indices' of 'face' number 0"},
        {"a corner that is not a number", ascii_file(vertices + float_faces, three + "3 0 1 nan\n"),
         "Could not parse ply file: scan.ply: line 13: face 0: vertex index nan not among the 3 "
         "vertices"},
        {"a value that is no number",
         ascii_file(vertices + faces, "0 0 0\n1 O 0\n0 1 0\n3 0 1 2\n"),
         "Could not parse ply file: scan.ply: line 11: Error reading 'y' of 'vertex' number 1"},
        {"one stray vertex far beyond any bone",
         binary_file(four + faces, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1e38f, 0}, {{3, {0, 1, 2}}}),
         "Could not parse ply file: scan.ply: vertex 3: coordinate 9.99999968e+37 beyond 1e9"},
        {"a coordinate just beyond the limit",
         ascii_file(doubles + faces, "0 0 0\n1 0 0\n0 0 -1000000001\n3 0 1 2\n"),
         "Could not parse ply file: scan.ply: line 12: vertex 2: coordinate -1000000001 beyond "
         "1e9"},
        {"a coordinate that is not a number",
         ascii_file(vertices + faces, "0 0 0\nnan 0 0\n0 1 0\n3 0 1 2\n"),
         "Could not parse ply file: scan.ply: line 11: vertex 1: coordinate nan is not finite"},
        {"a coordinate that is infinite",
         ascii_file(doubles + faces, "0 0 0\n1 0 0\n0 -1e309 0\n3 0 1 2\n"),
         "Could not parse ply file: scan.ply: line 12: Error reading 'y' of 'vertex' number 2"},
        {"more faces than the file could hold",
         ascii_file(vertices + "element face 400000000\nproperty list uchar int vertex_indices\n",
                    three + "3 0 1 2\n"),
         "Could not parse ply file: scan.ply: its element counts need more bytes than the file "
         "holds"},
        {"a count larger than the data",
         ascii_file("element vertex 3000000000\nproperty float x\n"
                    "property float y\nproperty float z\n" +
                        faces,
                    three),
         "Could not parse ply file: scan.ply: its element counts need more bytes than the file "
         "holds"},
        {"a file that ends within the vertices",
         binary_file(four + faces, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0}, {}),
         "Could not parse ply file: scan.ply: Error reading 'y' of 'vertex' number 3"},
        {"a file that ends within the faces",
         binary_file(four + "element face 2\n"
                            "property list uchar int "
                            "vertex_indices\n",
                     square, {{3, {0, 1, 2}}}),
         "Could not parse ply file: scan.ply: Error reading 'vertex_indices' of 'face' number 1"},
    };
    TempDirectory directory;
    const Mesh before = tetrahedron();
    for (const Case& c : cases) {
        const std::string path = directory.file("scan.ply");
        std::remove(path.c_str());
        if (!c.file.empty())
            directory.write("scan.ply", c.file);
        Surface surface;
        fill_surface(surface, before);
        StatusCapture status;
        EXPECT_FALSE(parse_ply_file(path, surface)) << c.why;
        EXPECT_EQ(status.messages, std::vector<std::string>{c.message}) << c.why;
        expect_untouched(surface, before);
    }

    // Nothing that is no regular file is read: not an endless device, not a FIFO without a
    // writer (which would block), not a directory.
    const std::string fifo = directory.file("fifo.ply");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo, directory.path()}) {
        Surface surface;
        fill_surface(surface, before);
        StatusCapture status;
        EXPECT_FALSE(parse_ply_file(path, surface)) << path;
        EXPECT_EQ(status.messages, std::vector<std::string>{"Could not open ply file: " +
                                                            path.substr(path.rfind('/') + 1) +
                                                            ": not a regular file"})
            << path;
        expect_untouched(surface, before);
    }
}

// Truncated and damaged copies of good files fail cleanly or read a consistent surface; none
// crashes, hangs or allocates by a damaged count.
TEST(PlySurfaceReader, DamagedFilesFailCleanly)
{
    TempDirectory directory;
    const Mesh mesh = icosphere(1);
    std::vector<std::string> originals;
    for (const e_ply_storage_mode mode : {PLY_ASCII, PLY_LITTLE_ENDIAN, PLY_BIG_ENDIAN}) {
        PlyLayout layout;
        layout.mode = mode;
        originals.push_back(
            read_file(write_ply(directory, "good.ply", mesh, annotation_comments, layout)));
    }
    std::mt19937 random(12345);
    const Mesh before = tetrahedron();
    StatusCapture status;
    int successes = 0;
    for (const std::string& original : originals) {
        std::vector<std::string> variants;
        for (std::size_t length = 0; length < original.size(); length += 1 + length / 8)
            variants.push_back(original.substr(0, length));
        for (int k = 0; k < 300; ++k) {
            std::string damaged = original;
            const int changes = 1 + static_cast<int>(random() % 4);
            for (int j = 0; j < changes; ++j)
                damaged[random() % damaged.size()] = static_cast<char>(random() % 256);
            variants.push_back(damaged);
        }
        for (const std::string& variant : variants) {
            const std::string path = directory.write("damaged.ply", variant);
            Surface surface;
            fill_surface(surface, before);
            if (parse_ply_file(path, surface)) {
                ++successes;
                expect_consistent(surface);
            } else {
                expect_untouched(surface, before);
            }
        }
    }
    EXPECT_GT(successes, 0); // some damage (in comments, in values) leaves a readable file
}

// A real scan as its maker wrote it: 16-bit indices after an 8-bit count, and two per-face
// elements after the faces that the reader steps over.
TEST(PlySurfaceReader, ARealScanIsReadWhole)
{
    Surface surface;
    ASSERT_TRUE(parse_ply_file(KELVORAND_TEST_DATA "/real-femur/ProximalFemur.ply", surface));
    expect_consistent(surface);
    EXPECT_EQ(surface.vertex_count, 1567);
    EXPECT_EQ(surface.triangle_count, 3130);
    EXPECT_FLOAT_EQ(static_cast<float>(surface.positions.front().z), -48.2001f);
    EXPECT_FLOAT_EQ(static_cast<float>(surface.positions.back().x), 18.9117f);
    const Triangle& first = surface.triangles.front();
    const Triangle& last = surface.triangles.back();
    EXPECT_EQ((std::vector<std::int64_t>{first.vertex[0], first.vertex[1], first.vertex[2]}),
              (std::vector<std::int64_t>{0, 1, 2}));
    EXPECT_EQ((std::vector<std::int64_t>{last.vertex[0], last.vertex[1], last.vertex[2]}),
              (std::vector<std::int64_t>{1108, 2, 1}));
}
