#include "surface/wrl_surface_reader.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"
#include "tests/fixtures/wrl_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
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

// Block rules, each case a whole file with the counts it must give (0 vertices: the read fails).
TEST(WrlSurfaceReader, BlockCases)
{
    struct Case {
        const char* why;
        std::string file;
        std::int64_t vertices;
        std::int64_t triangles;
    };
    const Case cases[] = {
        {"the smallest file", triangle_points + triangle_face, 3, 1},
        {"CR LF line ends and tabs",
         "point [\r\n0\t0 0\r\n1 0 0\r\n0 1 0\r\n]\r\n"
         "coordIndex [\r\n0,\t1, 2\r\n]\r\n",
         3, 1},
        {"a vertex on the line of the closing bracket is not read",
         "point [\n0 0 0\n1 0 0\n0 1 0\n0 0 1 ]\n" + triangle_face, 3, 1},
        {"of two vertices on one line only the first is read",
         "point [\n0 0 0, 9 9 9\n1 0 0\n0 1 0\n]\n" + triangle_face, 3, 1},
        {"a line that is no vertex ends the block",
         "point [\n0 0 0\n1 0 0\n0 1 0\n0 1\n7 7 7\n]\n" + triangle_face, 3, 1},
        {"a keyword glued to letters starts no block",
         "Viewpoint [\n0 0 0\n]\n" + triangle_points + triangle_face, 3, 1},
        {"point as a word of its own starts a block, even in a comment",
         "# the point list:\n0 0 0\n1 0 0\n0 1 0\nend\n" + triangle_face, 3, 1},
        {"the normals of a vector block are replaced by computed ones",
         triangle_points + "vector [\n5 5 5\n]\n" + triangle_face, 3, 1},
        {"an empty line ends a triangle block and keeps what was read",
         triangle_points + "coordIndex [\n0 1 2\n\n2 1 0\n]\n", 3, 1},
        {"an empty point block is passed over", "point [\n]\n" + triangle_points + triangle_face, 3,
         1},
        {"only the first point block with vertices is used",
         triangle_points + "point [\n0 0 0\n1 1 1\n2 2 2\n3 3 3\n]\n" + triangle_face, 3, 1},
        {"only the first triangle block is used",
         triangle_points + triangle_face + "coordIndex [\n9 9 9\n0 1 2\n]\n", 3, 1},
        {"an index beyond the vertices fails the file",
         triangle_points + "coordIndex [\n0 1 99\n]\n", 0, 0},
        {"a triangle block before the vertices fails the file", triangle_face + triangle_points, 0,
         0},
        {"a coordinate that is not a number fails the file",
         "point [\n0 0 0\nnan 0 0\n0 1 0\n]\n" + triangle_face, 0, 0},
        {"a coordinate whose products would overflow fails the file",
         "point [\n0 0 0\n1e154 0 0\n0 1 0\n]\n" + triangle_face, 0, 0},
        {"a coordinate beyond the float range fails the file",
         "point [\n0 0 0\n1 0 0\n0 -3.5e38 0\n]\n" + triangle_face, 0, 0},
        {"no triangles", triangle_points, 0, 0},
        {"no vertices", triangle_face, 0, 0},
        {"an empty file", "", 0, 0},
    };
    TempDirectory directory;
    const Mesh before = tetrahedron();
    for (const Case& c : cases) {
        const std::string path = directory.write("case.wrl", c.file);
        Surface surface;
        fill_surface(surface, before);
        StatusCapture status;
        const bool ok = parse_wrl_file(path, surface);
        EXPECT_EQ(ok, c.vertices > 0) << c.why;
        if (ok) {
            EXPECT_TRUE(status.messages.empty()) << c.why;
            EXPECT_EQ(surface.vertex_count, c.vertices) << c.why;
            EXPECT_EQ(surface.positions.size(), static_cast<std::size_t>(c.vertices)) << c.why;
            EXPECT_EQ(surface.selected.size(), static_cast<std::size_t>(c.vertices)) << c.why;
            EXPECT_EQ(surface.triangle_count, c.triangles) << c.why;
            // The one triangle (0, 0, 0), (1, 0, 0), (0, 1, 0) faces +z.
            EXPECT_EQ(surface.normals[0].z, 1.0) << c.why;
            EXPECT_EQ(surface.positions[2].y, 1.0) << c.why;
        } else {
            EXPECT_EQ(status.messages, std::vector<std::string>{"Could not parse wrl file"})
                << c.why;
            // The surface read into keeps what it held.
            EXPECT_EQ(surface.vertex_count, 4) << c.why;
            EXPECT_EQ(surface.positions.size(), 4u) << c.why;
        }
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
    EXPECT_EQ(status.messages, std::vector<std::string>{"Could not open wrl file"});

    // Nothing that is no regular file is read: not an endless device, not a FIFO without a
    // writer (which would block), not a directory.
    const std::string fifo = directory.file("fifo.wrl");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo, directory.path()}) {
        status.messages.clear();
        EXPECT_FALSE(parse_wrl_file(path, surface)) << path;
        EXPECT_EQ(status.messages, std::vector<std::string>{"Could not open wrl file"}) << path;
    }
}

TEST(WrlSurfaceReader, DamagedFilesFailCleanly)
{
    TempDirectory directory;
    const std::string original =
        typical_wrl_file(octahedron(), "# OPEN_LANDCURVE \"c\" 2\n# 1\n");
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
