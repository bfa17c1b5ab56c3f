#include "surface/wrl_surface_reader.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"
#include "tests/fixtures/wrl_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// ASCII and ISO 8859-1 text as UTF-16 little-endian code units.
std::string utf16le(const std::string& text)
{
    std::string bytes;
    for (const char c : text)
        bytes += std::string{c, '\0'};
    return bytes;
}

// Three vertices of a right triangle and its face, as block lines.
const std::string triangle_points = "point [\n0 0 0\n1 0 0\n0 1 0\n]\n";
const std::string triangle_face = "coordIndex [\n0 1 2 -1\n]\n";

} // namespace

TEST(WrlSurfaceReader, ReadsATypicalFile)
{
    TempDirectory directory;
    const Mesh mesh = icosphere(1, 10.0);
    const std::string annotations = "# LANDMARK \"north\" 0 0 10 0 0 1\n"
                                    "# OPEN_LANDCURVE \"arc\" 2\n# 5\n#\t0 0 -10 0 0 -1\n"
                                    "# SEMILANDMARK 1 2 3\n# LAD sphere radius hint 1.5\n";
    const std::string path = directory.write("sphere.wrl", typical_wrl_file(mesh, annotations));
    Surface surface;
    ASSERT_TRUE(parse_wrl_file(path, surface));
    EXPECT_EQ(surface.file_type, ".wrl");
    ASSERT_EQ(surface.vertex_count, static_cast<std::int64_t>(mesh.positions.size()));
    ASSERT_EQ(surface.triangle_count, static_cast<std::int64_t>(mesh.triangles.size()));
    EXPECT_EQ(surface.deformed_positions.size(), mesh.positions.size());
    EXPECT_EQ(surface.sigma.size(), mesh.positions.size());
    EXPECT_EQ(surface.normals.size(), mesh.positions.size());
    for (std::size_t v = 0; v < mesh.positions.size(); ++v)
        EXPECT_NEAR(surface.positions[v].y, mesh.positions[v].y, 1e-6);
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t)
        EXPECT_EQ(surface.triangles[t].vertex, mesh.triangles[t].vertex);
    ASSERT_EQ(surface.landmarks.size(), 1u);
    EXPECT_EQ(surface.landmarks[0].name, "north");
    ASSERT_EQ(surface.landcurves.size(), 1u);
    EXPECT_NEAR(surface.landcurves[0].points[0].position.x, mesh.positions[5].x, 1e-6);
    EXPECT_EQ(surface.landcurves[0].points[1].position.z, -10.0);
    EXPECT_EQ(surface.semilandmarks.size(), 1u);
    EXPECT_EQ(surface.lad_radius_hint, 1.5);
}

namespace {

// A digest of everything a read computes from a file's geometry: the counts, the positions,
// the triangles and the normals, bit for bit.
std::uint64_t surface_digest(const Surface& s)
{
    std::uint64_t h = 1469598103934665603ull;
    const auto add = [&h](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i)
            h = (h ^ bytes[i]) * 1099511628211ull;
    };
    add(&s.vertex_count, sizeof s.vertex_count);
    add(&s.triangle_count, sizeof s.triangle_count);
    add(s.positions.data(), s.positions.size() * sizeof(Point3));
    add(s.triangles.data(), s.triangles.size() * sizeof(Triangle));
    add(s.normals.data(), s.normals.size() * sizeof(Point3));
    return h;
}

// The parts as one mesh, the indices of each part offset by the vertices before it.
Mesh joined(const std::vector<Mesh>& parts)
{
    Mesh whole;
    for (const Mesh& part : parts) {
        const auto offset = static_cast<std::int64_t>(whole.positions.size());
        whole.positions.insert(whole.positions.end(), part.positions.begin(), part.positions.end());
        for (const Triangle& t : part.triangles)
            whole.triangles.push_back(
                triangle(t.vertex[0] + offset, t.vertex[1] + offset, t.vertex[2] + offset));
    }
    return whole;
}

std::uint64_t digest_of_file(const TempDirectory& directory, const std::string& text)
{
    Surface surface;
    EXPECT_TRUE(parse_wrl_file(directory.write("reference.wrl", text), surface));
    return surface_digest(surface);
}

} // namespace

// Generated meshes in the layouts of several exporters, each read as exactly the surface of the
// typical layout of the same mesh. The typical layout, one triangle per line in one face set,
// is also what the line-by-line reader of earlier versions read whole: its digest is the one
// that reader gave for this sphere, so every layout it read whole still gives the same surface.
TEST(WrlSurfaceReader, LayoutsOfTheSameMeshGiveTheSameSurface)
{
    TempDirectory directory;
    const Mesh sphere = icosphere(1, 10.0);
    Mesh shifted = octahedron(3.0);
    for (Point3& p : shifted.positions)
        p.x += 20.0;
    const std::uint64_t sphere_digest = digest_of_file(directory, typical_wrl_file(sphere, ""));
    EXPECT_EQ(sphere_digest, 0x936c743905a8e7a7u);
    const std::uint64_t pair_digest =
        digest_of_file(directory, typical_wrl_file(joined({sphere, shifted}), ""));

    const auto layout = [](auto change) {
        WrlLayout l;
        change(l);
        return l;
    };
    struct Case {
        const char* why;
        std::vector<Mesh> parts;
        WrlLayout layout;
    };
    const Case cases[] = {
        // Layouts the earlier reader read whole.
        {"no terminators, one triangle per line", {sphere}, layout([](WrlLayout& l) {
             l.terminators = false;
         })},
        {"VRML 1.0", {sphere}, layout([](WrlLayout& l) { l.vrml1 = true; })},
        {"normals, texture coordinates, CR LF", {sphere}, layout([](WrlLayout& l) {
             l.normals_and_texture = true;
             l.line_end = "\r\n";
         })},
        // Layouts it read in part.
        {"several vertices and faces on a line", {sphere}, layout([](WrlLayout& l) {
             l.vertices_per_line = 4;
             l.faces_per_line = 3;
         })},
        {"values on the bracket lines", {sphere}, layout([](WrlLayout& l) {
             l.vertices_per_line = 5;
             l.faces_per_line = 2;
             l.on_bracket_lines = true;
         })},
        {"each block on one line", {sphere}, layout([](WrlLayout& l) {
             l.vertices_per_line = 1000;
             l.faces_per_line = 1000;
             l.on_bracket_lines = true;
         })},
        {"coordIndex before coord", {sphere}, layout([](WrlLayout& l) {
             l.coord_index_first = true;
         })},
        {"two face sets", {sphere, shifted}, WrlLayout{}},
        {"two face sets, VRML 1.0", {sphere, shifted}, layout([](WrlLayout& l) {
             l.vrml1 = true;
         })},
        {"two face sets, two faces per line", {sphere, shifted}, layout([](WrlLayout& l) {
             l.faces_per_line = 2;
             l.coord_index_first = true;
         })},
    };
    for (const Case& c : cases) {
        Surface surface;
        StatusCapture status;
        ASSERT_TRUE(
            parse_wrl_file(directory.write("layout.wrl", wrl_file(c.parts, c.layout)), surface))
            << c.why << ": " << status.last();
        EXPECT_EQ(surface_digest(surface), c.parts.size() == 1 ? sphere_digest : pair_digest)
            << c.why;
        EXPECT_TRUE(status.messages.empty()) << c.why;
    }
}

// Files written by hand for one rule each, with the counts they must give; the triangles of
// the first face set are compared where they show the rule.
TEST(WrlSurfaceReader, FacesAndFaceSets)
{
    const std::string square = "point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ]\n";
    struct Case {
        const char* why;
        std::string file;
        std::int64_t vertices;
        std::vector<std::array<std::int64_t, 3>> triangles;
    };
    const Case cases[] = {
        {"a quad is fanned from its first corner",
         square + "coordIndex [ 0, 1, 2, 3, -1 ]",
         4,
         {{0, 1, 2}, {0, 2, 3}}},
        {"a pentagon; faces of two corners, one and none are skipped",
         "point [ 0 0 0, 1 0 0, 2 1 0, 1 2 0, 0 1 0 ]\n"
         "coordIndex [ 0 1 2 3 4 -1 0 1 -1 2 -1 -1 -1 ]",
         5,
         {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}},
        {"faces across lines; the bracket ends the last",
         square + "coordIndex [\n0 1\n2 -1 0\n2 3 ]",
         4,
         {{0, 1, 2}, {0, 2, 3}}},
        {"without any -1 a line ends a face, and an empty line ends nothing",
         square + "coordIndex [\n0 1 2\n\n0 2 3\n]",
         4,
         {{0, 1, 2}, {0, 2, 3}}},
        {"comments, strings and the CR of CR LF are no values",
         "WorldInfo { info [ \"point [ 9 9 9 ]\" ] }\r\n"
         "point [ 0 0 0, # the origin\r\n 1 0 0, 0 1 0 ]\r\ncoordIndex [ 0 1 2 ] # done\r\n",
         3,
         {{0, 1, 2}}},
        {"a second face set using the coordinates of the first takes no points of its own",
         "Shape { geometry IndexedFaceSet { coord DEF C Coordinate { " + square +
             "} coordIndex [ 0 1 2 -1 ] } }\n"
             "Shape { geometry IndexedFaceSet { coord USE C coordIndex [ 0 2 3 -1 ] } }",
         4,
         {{0, 1, 2}, {0, 2, 3}}},
        {"VRML 1.0 face sets share the coordinates before them",
         "Separator { Coordinate3 { " + square +
             "} IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }\n"
             "IndexedFaceSet { coordIndex [ 0 2 3 -1 ] } }",
         4,
         {{0, 1, 2}, {0, 2, 3}}},
        {"texture coordinates, lines and point sets are passed over",
         "PointSet { coord Coordinate { point [ 5 5 5 ] } }\n"
         "Shape { geometry IndexedFaceSet {\n"
         " texCoord TextureCoordinate { point [ 0 0, 1 0, 1 1, 0 1 ] }\n"
         " coord Coordinate { " +
             square +
             "} coordIndex [ 1 2 3 -1 ] } }\n"
             "Shape { geometry IndexedLineSet { coord Coordinate { point [ 7 7 7, 8 8 8 ] }\n"
             " coordIndex [ 0 1 -1 ] } }",
         4,
         {{1, 2, 3}}},
        {"two face sets of their own: the second's indices follow the first's points",
         "Shape { geometry IndexedFaceSet { coord Coordinate { " + square +
             "} coordIndex [ 0 1 2 -1 ] } }\n"
             "Shape { geometry IndexedFaceSet { coordIndex [ 2 1 0 -1 ] "
             "coord Coordinate { point [ 5 0 0, 6 0 0, 5 1 0 ] } } }",
         7,
         {{0, 1, 2}, {6, 5, 4}}},
    };
    TempDirectory directory;
    for (const Case& c : cases) {
        Surface surface;
        StatusCapture status;
        ASSERT_TRUE(parse_wrl_file(directory.write("case.wrl", c.file), surface))
            << c.why << ": " << status.last();
        EXPECT_EQ(surface.vertex_count, c.vertices) << c.why;
        std::vector<std::array<std::int64_t, 3>> triangles;
        for (const Triangle& t : surface.triangles)
            triangles.push_back({t.vertex[0], t.vertex[1], t.vertex[2]});
        EXPECT_EQ(triangles, c.triangles) << c.why;
        EXPECT_EQ(surface.positions[1].x, 1.0) << c.why;
    }
}

// Files that are refused, each with its whole message; the surface read into keeps what it
// held.
TEST(WrlSurfaceReader, RefusedFiles)
{
    TempDirectory directory;
    struct Case {
        const char* why;
        std::string file;
        std::string reason; // after "Could not parse wrl file: case.wrl: "
    };
    const Case cases[] = {
        {"an index beyond the points", triangle_points + "coordIndex [\n0 1 2 -1\n0 1 99\n]\n",
         "line 8: vertex index 99 beyond the 3 points of the point block of line 1"},
        {"an index below -1", triangle_points + "coordIndex [ 0 1 -2 ]\n",
         "line 6: vertex index -2"},
        {"faces before any points", triangle_face + triangle_points,
         "line 1: a coordIndex block before any point block"},
        {"coordinates named but not defined",
         triangle_points + "IndexedFaceSet { coord USE Elsewhere coordIndex [ 0 1 2 ] }",
         "line 6: its coordinates 'Elsewhere' are not defined before it"},
        {"a value that is no number", "point [ 0 0 0, 1 0 0,\n0 x 0 ]\n" + triangle_face,
         "line 2: 'x' in a point block is not a number"},
        {"an index that is no integer", triangle_points + "coordIndex [ 0 1 2.5 ]\n",
         "line 6: '2.5' in a coordIndex block is not a vertex index"},
        {"a point without its third number", "point [ 0 0 0, 1 0 0,\n0 1 ]\n" + triangle_face,
         "line 2: expected 3 numbers for every point"},
        {"a stray vertex far beyond any bone", "point [ 0 0 0, 1 0 0, 0 1e38 0 ]\n" + triangle_face,
         "line 1: coordinate 1e+38 beyond 1e9"},
        {"a coordinate that is not a number", "point [ 0 0 0, nan 0 0, 0 1 0 ]\n" + triangle_face,
         "line 1: coordinate nan is not finite"},
        {"a block cut off", triangle_points + "coordIndex [\n0 1 2 -1\n",
         "line 6: the coordIndex block has no closing ']'"},
        {"a point field without brackets", "point 0 0 0\n" + triangle_face,
         "line 1: a point field without '[' is not read"},
        {"a point cloud", "PointSet { coord Coordinate { point [ 0 0 0, 1 0 0 ] } }",
         "no coordIndex block"},
        {"lines only", triangle_points + "IndexedLineSet { coordIndex [ 0 1 -1 ] }",
         "no coordIndex block"},
        {"faces of two corners only", triangle_points + "coordIndex [ 0 1 -1 1 2 -1 ]",
         "no face with 3 or more corners"},
        {"no points", triangle_face, "no point block"},
        {"an empty file", "", "no point block"},
    };
    const Mesh before = tetrahedron();
    for (const Case& c : cases) {
        const std::string path = directory.write("case.wrl", c.file);
        Surface surface;
        fill_surface(surface, before);
        StatusCapture status;
        EXPECT_FALSE(parse_wrl_file(path, surface)) << c.why;
        EXPECT_EQ(status.messages,
                  std::vector<std::string>{"Could not parse wrl file: case.wrl: " + c.reason})
            << c.why;
        EXPECT_EQ(surface.vertex_count, 4) << c.why;
        EXPECT_EQ(surface.positions.size(), 4u) << c.why;
    }
}

TEST(WrlSurfaceReader, NamesAreReadAsUtf8)
{
    TempDirectory directory;
    const std::string body = triangle_points + triangle_face;
    struct Case {
        const char* why;
        std::string file;
    };
    const Case cases[] = {
        {"UTF-8 stays as it is", "# LANDMARK \"t\xC3\xAAte\" 1\n" + body},
        {"a byte-order mark is dropped", "\xEF\xBB\xBF# LANDMARK \"t\xC3\xAAte\" 1\n" + body},
        {"text that is not UTF-8 is taken as single bytes", "# LANDMARK \"t\xEAte\" 1\n" + body},
        {"UTF-16 with a mark and a unit that is no character",
         "\xFF\xFE" + utf16le("# LANDMARK \"t\xEAte\" 1\n# ") + std::string("\x00\xDC", 2) +
             utf16le("\n" + body)},
    };
    for (const Case& c : cases) {
        Surface surface;
        ASSERT_TRUE(parse_wrl_file(directory.write("names.wrl", c.file), surface)) << c.why;
        ASSERT_EQ(surface.landmarks.size(), 1u) << c.why;
        EXPECT_EQ(surface.landmarks[0].name, "t\xC3\xAAte") << c.why;
        EXPECT_EQ(surface.landmarks[0].position.x, 1.0) << c.why;
    }
}

TEST(WrlSurfaceReader, MissingFile)
{
    TempDirectory directory;
    Surface surface;
    StatusCapture status;
    EXPECT_FALSE(parse_wrl_file(directory.file("none.wrl"), surface));
    EXPECT_EQ(status.messages, std::vector<std::string>{
                                   "Could not open wrl file: none.wrl: No such file or directory"});

    // Nothing that is no regular file is read: not an endless device, not a FIFO without a
    // writer (which would block), not a directory.
    const std::string fifo = directory.file("fifo.wrl");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo, directory.path()}) {
        status.messages.clear();
        EXPECT_FALSE(parse_wrl_file(path, surface)) << path;
        EXPECT_EQ(status.messages, std::vector<std::string>{"Could not open wrl file: " +
                                                            path.substr(path.rfind('/') + 1) +
                                                            ": not a regular file"})
            << path;
    }
}

TEST(WrlSurfaceReader, DamagedFilesFailCleanly)
{
    TempDirectory directory;
    const std::string original = typical_wrl_file(octahedron(), "# OPEN_LANDCURVE \"c\" 2\n# 1\n");
    std::mt19937 random(777);
    std::vector<std::string> variants;
    for (std::size_t length = 0; length < original.size(); length += 7)
        variants.push_back(original.substr(0, length));
    for (int k = 0; k < 200; ++k) {
        std::string damaged = original;
        damaged[random() % damaged.size()] = static_cast<char>(random() % 256);
        variants.push_back(damaged);
    }
    StatusCapture status;
    for (const std::string& variant : variants) {
        Surface surface;
        if (parse_wrl_file(directory.write("damaged.wrl", variant), surface)) {
            EXPECT_EQ(surface.positions.size(), static_cast<std::size_t>(surface.vertex_count));
            for (const Triangle& t : surface.triangles)
                for (const std::int64_t corner : t.vertex)
                    EXPECT_TRUE(corner >= 0 && corner < surface.vertex_count);
        } else {
            EXPECT_EQ(surface.vertex_count, 0);
        }
    }
}
