#include "surface/annotation.h"

#include "surface/c_locale.h"
#include "tests/fixtures/german_locale.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

std::string describe_point(const Landmark& point)
{
    if (point.vertex_index != -1)
        return "@" + std::to_string(point.vertex_index);
    return c_format("%g %g %g", point.position.x, point.position.y, point.position.z);
}

// The annotations of a surface as one line of text, for tables of expected results.
std::string describe(const Surface& surface)
{
    std::string text;
    auto add = [&text](const std::string& item) { text += (text.empty() ? "" : "; ") + item; };
    if (surface.lad_radius_hint != -1.0)
        add(c_format("H %g", surface.lad_radius_hint));
    for (const Landmark& landmark : surface.landmarks)
        add("L \"" + landmark.name + "\" " + describe_point(landmark));
    for (const Landcurve& curve : surface.landcurves) {
        std::string points;
        for (const Landmark& point : curve.control_points)
            points += (points.empty() ? "" : ", ") + describe_point(point);
        add(std::string(curve.closed ? "C" : "O") + " \"" + curve.name + "\" [" + points + "]");
    }
    for (const Landmark& semilandmark : surface.semilandmarks)
        add("S " + describe_point(semilandmark));
    return text;
}

std::string read_lines(const std::vector<std::string>& lines, AnnotationOrder order)
{
    Surface surface;
    AnnotationReader reader;
    for (const std::string& line : lines)
        read_annotation_line(reader, surface, line, order);
    return describe(surface);
}

} // namespace

TEST(Annotation, LineCases)
{
    struct Case {
        const char* why;
        std::vector<std::string> lines;
        std::string expected;
        AnnotationOrder order = AnnotationOrder::ply;
    };
    const Case cases[] = {
        {"a LAD hint", {"LAD sphere radius hint 2.5"}, "H 2.5"},
        {"nothing may follow the LAD hint's number", {"LAD sphere radius hint 2.5 mm"}, ""},
        {"a name with blanks, three coordinates and a normal",
         {"LANDMARK \"tip of the head\" 1.5 -2 3e1 0 0 1"},
         "L \"tip of the head\" 1.5 -2 30"},
        {"a single number is a vertex index", {"LANDMARK \"a\" 12"}, "L \"a\" @12"},
        {"a vertex index is truncated toward zero", {"LANDMARK \"a\" 12.9"}, "L \"a\" @12"},
        {"two numbers are a vertex index too", {"LANDMARK \"a\" 4 5"}, "L \"a\" @4"},
        {"a huge index stays outside every surface instead of wrapping",
         {"LANDMARK \"a\" 1e30"},
         "L \"a\" @9223372036854775807"},
        {"without a quote the first token is the keyword itself", {"LANDMARK 1 2 3 0 0 1"}, ""},
        {"one quote gives an empty name and the numbers after it",
         {"LANDMARK \"1 2 3"},
         "L \"\" 1 2 3"},
        {"numbers that are not finite are no numbers", {"LANDMARK \"a\" nan 1 2"}, ""},
        {"a coordinate beyond the float range is no number",
         {"LANDMARK \"a\" 1 1e154 2"},
         "L \"a\" @1"},
        {"nor is such a LAD hint", {"LAD sphere radius hint 1e200"}, ""},
        {"only blanks separate numbers: a tab glues two into one token",
         {"LANDMARK \"a\" 1 2\t3 4"},
         "L \"a\" @1"},
        {"names are kept as UTF-8 bytes",
         {"LANDMARK \"t\xC3\xAAte f\xC3\xA9mur\" 1 2 3"},
         "L \"t\xC3\xAAte f\xC3\xA9mur\" 1 2 3"},
        {"a curve of three points",
         {"OPEN_LANDCURVE \"ridge\" 3", "1 2 3 0 0 1", "4 5 6 0 0 1", "7"},
         "O \"ridge\" [1 2 3, 4 5 6, @7]"},
        {"CLOSED in the header closes the curve",
         {"CLOSED_LANDCURVE \"rim\" 2", "1 1 1", "2 2 2"},
         "C \"rim\" [1 1 1, 2 2 2]"},
        {"a curve whose points do not all arrive is dropped",
         {"OPEN_LANDCURVE \"ridge\" 3", "1 2 3", "4 5 6"},
         ""},
        {"a line that is no point does not count as one",
         {"OPEN_LANDCURVE \"r\" 2", "1 2 3", "no point", "4 5 6"},
         "O \"r\" [1 2 3, 4 5 6]"},
        {"a header of one point starts no collection", {"OPEN_LANDCURVE \"r\" 1", "1 2 3"}, ""},
        {"a header of one point also drops a pending collection",
         {"OPEN_LANDCURVE \"a\" 3", "1 1 1", "OPEN_LANDCURVE \"b\" 1", "2 2 2", "3 3 3"},
         ""},
        {"a new header restarts the gathering",
         {"OPEN_LANDCURVE \"a\" 2", "1 1 1", "OPEN_LANDCURVE \"b\" 2", "2 2 2", "3 3 3"},
         "O \"b\" [2 2 2, 3 3 3]"},
        {"a semilandmark inside a curve is no curve point",
         {"OPEN_LANDCURVE \"a\" 2", "1 1 1", "SEMILANDMARK 5 5 5 0 0 1", "2 2 2"},
         "O \"a\" [1 1 1, 2 2 2]; S 5 5 5"},
        {"a line naming both keywords is a semilandmark",
         {"SEMILANDMARK 1 2 3 LANDMARK"},
         "S 1 2 3"},
        {"a curve named with LANDMARK is read as a landmark line",
         {"OPEN_LANDCURVE \"LANDMARK ridge\" 2", "1 1 1", "2 2 2"},
         "L \"LANDMARK ridge\" @2"},
        {"a trailing carriage return keeps the last number",
         {"LANDMARK \"a\" 1 2 3\r", "LAD sphere radius hint 4\r", "OPEN_LANDCURVE \"c\" 2\r",
          "1 1 1\r", "2 2 2\r"},
         "H 4; L \"a\" 1 2 3; O \"c\" [1 1 1, 2 2 2]"},
        {"curve points may stand behind a VRML comment sign",
         {"# OPEN_LANDCURVE \"c\" 2", "# 1 1 1 0 0 1", "#2 2 2"},
         "O \"c\" [1 1 1, 2 2 2]",
         AnnotationOrder::wrl},
        {"the PLY order tries the LAD hint first",
         {"LANDMARK \"LAD sphere radius hint\" 1"},
         "",
         AnnotationOrder::ply},
        {"the WRL order tries the landmark first",
         {"LANDMARK \"LAD sphere radius hint\" 1"},
         "L \"LAD sphere radius hint\" @1",
         AnnotationOrder::wrl},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read_lines(c.lines, c.order), c.expected) << c.why;
}

// Curve points and plain lines go on to the WRL geometry tests; annotations do not.
TEST(Annotation, WrlLinesThatAreDone)
{
    Surface surface;
    AnnotationReader reader;
    auto done = [&](const char* line) {
        return read_annotation_line(reader, surface, line, AnnotationOrder::wrl);
    };
    EXPECT_TRUE(done("LANDMARK \"a\" 1 2 3"));
    EXPECT_TRUE(done("OPEN_LANDCURVE \"c\" 2"));
    EXPECT_FALSE(done("1 2 3"));
    EXPECT_TRUE(done("SEMILANDMARK 1 2 3"));
    EXPECT_TRUE(done("LAD sphere radius hint 1"));
    EXPECT_FALSE(done("point ["));
}

TEST(Annotation, VertexIndicesResolveToVertexPositions)
{
    Surface surface;
    surface.positions = {{1, 1, 1}, {2, 2, 2}};
    AnnotationReader reader;
    for (const char* line :
         {"LANDMARK \"in\" 1", "LANDMARK \"out\" 2", "LANDMARK \"neg\" -5",
          "LANDMARK \"xyz\" 7 8 9", "OPEN_LANDCURVE \"c\" 2", "0", "1e30", "SEMILANDMARK 1"})
        read_annotation_line(reader, surface, line, AnnotationOrder::ply);
    resolve_annotation_vertices(surface);
    ASSERT_EQ(surface.landmarks.size(), 4u);
    EXPECT_EQ(surface.landmarks[0].position.x, 2.0);
    EXPECT_EQ(surface.landmarks[1].position.x, 0.0);
    EXPECT_EQ(surface.landmarks[1].vertex_index, 2); // the index stays as read
    EXPECT_EQ(surface.landmarks[2].position.y, 0.0);
    EXPECT_EQ(surface.landmarks[3].position.z, 9.0);
    ASSERT_EQ(surface.landcurves.size(), 1u);
    for (const auto* points :
         {&surface.landcurves[0].control_points, &surface.landcurves[0].points}) {
        EXPECT_EQ((*points)[0].position.z, 1.0);
        EXPECT_EQ((*points)[1].position.z, 0.0);
    }
    EXPECT_EQ(surface.semilandmarks[0].position.y, 2.0);
}

// The written lines, in a locale whose decimal separator is a comma, read back as written.
TEST(Annotation, WrittenLinesReadBack)
{
    const GermanLocale german;
    if (!german.active())
        GTEST_SKIP() << "no German locale";
    const Point3 normal{0, 0, 1};
    EXPECT_EQ(lad_hint_annotation(2.34), "LAD sphere radius hint 2.3");
    EXPECT_EQ(landmark_annotation("a b", {1, 2.5, 3}, normal),
              "LANDMARK \"a b\" 1.000000 2.500000 3.000000 0.000000 0.000000 1.000000");
    EXPECT_EQ(landcurve_header_annotation("c", true, 2), "CLOSED_LANDCURVE \"c\" 2");
    EXPECT_EQ(landcurve_header_annotation("c", false, 0), "OPEN_LANDCURVE \"c\" 0");
    EXPECT_EQ(curve_point_annotation({-1, 0, 0}, normal),
              "-1.000000 0.000000 0.000000 0.000000 0.000000 1.000000");
    EXPECT_EQ(semilandmark_annotation({4, 5, 6}, normal),
              "SEMILANDMARK 4.000000 5.000000 6.000000 0.000000 0.000000 1.000000");
    const std::vector<std::string> lines = {lad_hint_annotation(1.25),
                                            landmark_annotation("p", {1, 2, 3}, normal),
                                            landcurve_header_annotation("c", false, 2),
                                            curve_point_annotation({1, 1, 1}, normal),
                                            curve_point_annotation({2, 2, 2}, normal),
                                            semilandmark_annotation({4, 5, 6}, normal)};
    EXPECT_EQ(read_lines(lines, AnnotationOrder::ply),
              "H 1.2; L \"p\" 1 2 3; O \"c\" [1 1 1, 2 2 2]; S 4 5 6");
}

TEST(Annotation, NamesThatWouldReadBackAsAnotherKindAreRefused)
{
    struct NameCase {
        const char* name;
        bool landmark_allowed;
        bool curve_allowed;
    };
    const NameCase cases[] = {
        {"Medial epicondyle", true, true},
        {"", true, true},                         // reads back as an empty name
        {"CLOSED door", true, false},             // an open curve would come back closed
        {"closed door", true, true},              // the keywords are upper case
        {"Knob SEMILANDMARK", false, false},      // would read as a semilandmark
        {"Ridge LANDMARK", false, false},         // a curve would read as a landmark
        {"rim_LANDCURVE", false, false},          // would start a curve
        {"LAD sphere radius hint", false, false}, // would read as the hint
        {"two\nlines", false, false},             // ends the line
        {"tab\there", false, false},              // control characters are refused
        {"del\x7f", false, false},
        {"caf\xc3\xa9 \"quoted\" #1", true, true}, // quotes and '#' read back
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(annotation_name_allowed(c.name, false), c.landmark_allowed);
        EXPECT_EQ(annotation_name_allowed(c.name, true), c.curve_allowed);
    }
}

TEST(Annotation, LinesThatWouldNotReadBackAsTheirItemsAreFound)
{
    const Point3 normal{0, 0, 1};
    // The lines of one landmark and one two-point curve as the writers build them.
    const auto lines_of = [&](const Surface& items) {
        std::vector<std::string> lines;
        for (const Landmark& landmark : items.landmarks)
            lines.push_back(landmark_annotation(landmark.name, landmark.position, normal));
        for (const Landcurve& curve : items.landcurves) {
            lines.push_back(landcurve_header_annotation(curve.name, curve.closed, 2));
            for (const Landmark& point : curve.control_points)
                lines.push_back(curve_point_annotation(point.position, normal));
        }
        return lines;
    };
    struct ReadBackCase {
        const char* why;
        std::string landmark_name;
        std::string curve_name;
        bool closed;
        double coordinate;
        bool reads_back;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ReadBackCase cases[] = {
        {"plain names", "tip", "ridge", false, 1.0, true},
        {"a closed curve", "tip", "rim", true, 1.0, true},
        {"a landmark that reads as a semilandmark", "Knob SEMILANDMARK", "ridge", false, 1.0,
         false},
        {"an open curve that reads as a landmark", "tip", "Ridge LANDMARK", false, 1.0, false},
        {"an open curve that reads as closed", "tip", "CLOSED door", false, 1.0, false},
        {"a landmark that reads as a curve", "x_LANDCURVE", "ridge", false, 1.0, true},
        {"a name with a line break", "two\nlines", "ridge", false, 1.0, false},
        {"a point that is no number", "tip", "ridge", false, nan, false},
    };
    for (const ReadBackCase& c : cases) {
        SCOPED_TRACE(c.why);
        Surface items;
        items.landmarks.resize(1);
        items.landmarks[0].name = c.landmark_name;
        items.landmarks[0].position = {c.coordinate, 2, 3};
        items.landcurves.resize(1);
        items.landcurves[0].name = c.curve_name;
        items.landcurves[0].closed = c.closed;
        items.landcurves[0].control_points = {Landmark{}, Landmark{}};
        EXPECT_EQ(annotation_lines_read_back(lines_of(items), items), c.reads_back);
    }
}
