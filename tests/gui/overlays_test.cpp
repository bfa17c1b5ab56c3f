// The overlays as the view shows them: scale bar, colour bar, mirror icon, landmark markers
// and their labels, and the text on the Utilities page. Pixels are read from the view as
// drawn, at positions given from the lower-left corner as GL gives them.
#include "app/app.h"
#include "app/frame.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/view_test_support.h"
#include "view/colour_map.h"
#include "view/gl_canvas.h"
#include "view/gldraw.h"
#include "view/overlay_labels.h"
#include "view/shading_mode.h"
#include "view/view_maths.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>

#include <GL/gl.h>

#include <cmath>
#include <functional>
#include <vector>

using gui_test::canvas;
using gui_test::frame;

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Rgb white{255, 255, 255};
const Rgb black{0, 0, 0};

Rgb map_colour(int map, int entry)
{
    const Rgb8 c = colour_map_entry(map, entry);
    return {c[0], c[1], c[2]};
}

void expect_near(const Rgb& actual, const Rgb& expected, int tolerance)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance) << actual << " expected " << expected;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << actual << " expected " << expected;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << actual << " expected " << expected;
}

// The view as drawn, addressed from the lower-left corner.
class Picture {
public:
    Picture() { EXPECT_TRUE(canvas().capture_view(image)); }

    Rgb at(int x, int y) const
    {
        const int row = image.GetHeight() - 1 - y;
        return {image.GetRed(x, row), image.GetGreen(x, row), image.GetBlue(x, row)};
    }
    // Some pixel of the box [x0, x1] x [y0, y1] has this colour.
    bool any(int x0, int x1, int y0, int y1, const Rgb& colour) const
    {
        return any_of(x0, x1, y0, y1, [&](const Rgb& c) { return c == colour; });
    }
    bool any_of(int x0, int x1, int y0, int y1, const std::function<bool(const Rgb&)>& test) const
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (test(at(x, y)))
                    return true;
        return false;
    }

private:
    wxImage image;
};

class Overlays : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gui_test::reset_view()); }
    void TearDown() override { gui_test::reset_view(); }

    // LR: a sphere of radius 10 mm, HR: one of 20 mm, both about the origin at the view's
    // centre. `marker_radius` sets the LR max_radius that sizes the markers.
    static void show_pair(float marker_radius = 10.0f)
    {
        MyFrame& f = frame();
        gui_test::show_surfaces(icosphere(3, 10.0), icosphere(3, 20.0));
        f.lr_surface->max_radius = marker_radius;
        f.hr_surface->max_radius = 20.0f;
        canvas().zoom =
            fit_zoom(10.0, 20.0, canvas().GetClientSize().x, canvas().GetClientSize().y);
        f.build_display_list(list_hr_plain);
    }

    static void set_shading(int mode)
    {
        frame().shading_radiobox->SetSelection(mode);
        gui_test::send_command(frame().shading_radiobox, wxEVT_RADIOBOX, mode);
    }

    static int width() { return canvas().client_width; }
    static int height() { return canvas().client_height; }
};

// The HR vertex nearest to `target`.
std::int64_t nearest_hr_vertex(const Point3& target)
{
    const std::vector<Point3>& p = frame().hr_surface->positions;
    std::size_t best = 0;
    for (std::size_t i = 1; i < p.size(); ++i)
        if (squared_distance(p[i], target) < squared_distance(p[best], target))
            best = i;
    return static_cast<std::int64_t>(best);
}

Landmark at_hr_vertex(std::int64_t v, const std::string& name, std::int32_t partner)
{
    Landmark l;
    l.name = name;
    l.position = frame().hr_surface->positions[static_cast<std::size_t>(v)];
    l.vertex_index = v;
    l.triangle = {v, v, v};
    l.partner = partner;
    return l;
}

// Where the view shows an HR point (identity rotation, HR centred on the origin).
std::pair<int, int> screen(const Point3& p)
{
    const double zoom = canvas().zoom;
    return {static_cast<int>(std::lround(0.5 * canvas().client_width + zoom * p.x)),
            static_cast<int>(std::lround(0.5 * canvas().client_height + zoom * p.y))};
}

} // namespace

TEST_F(Overlays, ScaleBarWithItsLengthInTheContrastColour)
{
    // No surface: no scale bar.
    EXPECT_FALSE(Picture().any(width() / 2 - 2, width() / 2 + 2, 3, 7, white));

    show_pair();
    Picture picture;
    const int w = width();
    EXPECT_TRUE(picture.any(w / 2, w / 2, 4, 6, white));
    EXPECT_TRUE(picture.any(4, 6, 7, 8, white)); // the upturned ends
    EXPECT_TRUE(picture.any(w - 6, w - 4, 7, 8, white));
    EXPECT_TRUE(picture.any(5, 20, 10, 18, white)); // "0.0"
    const ScaleBarLabel label = scale_bar_label(w, canvas().zoom);
    ASSERT_TRUE(label.shown);
    EXPECT_TRUE(picture.any(label.x, w - 5, 10, 18, white));
    // Nothing between the two texts.
    EXPECT_FALSE(picture.any(25, label.x - 3, 9, 20, white));

    canvas().white_background = true;
    Picture on_white;
    EXPECT_TRUE(on_white.any(w / 2, w / 2, 4, 6, black));
    EXPECT_TRUE(on_white.any(label.x, w - 5, 10, 18, black));
}

TEST_F(Overlays, ColourBarRampSwatchesAndLabelsByShading)
{
    show_pair();
    MyFrame& f = frame();
    f.lr_surface->match_range2 = 1e300; // no re-matching
    set_shading(shading_registration_error);
    const int h = height();
    Picture error;
    // Low values at the top: step i of 64 at y = h - 5 - 2i.
    expect_near(error.at(10, h - 6), map_colour(3, 2), 8);
    expect_near(error.at(10, h - 6 - 2 * 62), map_colour(3, 254), 8);
    expect_near(error.at(10, h - 140), map_colour(3, 255), 2);
    // No invalid or unmatched swatch; the labels beside the bar.
    EXPECT_EQ(error.at(10, h - 154), black);
    EXPECT_EQ(error.at(10, h - 168), black);
    EXPECT_TRUE(error.any(20, 60, h - 14, h - 7, white));

    set_shading(shading_absolute_data_error);
    Picture absolute;
    expect_near(absolute.at(10, h - 154), map_colour(3, 0), 2); // invalid
    expect_near(absolute.at(10, h - 168), {64, 64, 64}, 2);     // unmatched
    EXPECT_TRUE(absolute.any(20, 80, h - 172, h - 165, white)); // "unmatched"
    canvas().white_background = true;
    Picture outlined;
    EXPECT_EQ(outlined.at(10, h - 154), white);
    EXPECT_TRUE(outlined.any(5, 15, h - 152, h - 150, black));

    // Curvature: the below-range swatch first, the ramp 14 pixels lower.
    canvas().white_background = false;
    set_shading(shading_gaussian_curvature);
    Picture curvature;
    expect_near(curvature.at(10, h - 8), map_colour(1, 1), 2);
    expect_near(curvature.at(10, h - 20), map_colour(1, 2), 8);
}

TEST_F(Overlays, MirrorIconOnlyForAReflection)
{
    show_pair();
    EXPECT_EQ(Picture().at(7, 33), black);
    frame().current_transform[0] = -1.0;
    Picture mirrored;
    EXPECT_EQ(mirrored.at(7, 33), white);             // left triangle
    EXPECT_EQ(mirrored.at(22, 33), white);            // right triangle
    EXPECT_TRUE(mirrored.any(14, 15, 33, 33, white)); // mirror line
}

TEST_F(Overlays, LandmarkMarkersAndLabelsByLabelMode)
{
    // Markers sized by the LR max_radius: landmark radius 2 mm, semilandmark 1 mm.
    show_pair(200.0f);
    MyFrame& f = frame();
    Surface& hr = *f.hr_surface;
    const std::int64_t front = nearest_hr_vertex({8, 0, 18.3});
    const std::int64_t side = nearest_hr_vertex({-10, -8, 15.1});
    hr.landmarks = {at_hr_vertex(front, "Apex", 0)};
    hr.semilandmarks = {at_hr_vertex(side, "", -1)};
    // A curve known only by its control points is drawn through them, named at its first.
    Landcurve curve;
    curve.name = "Rim";
    for (const Point3& target : {Point3{0, -12, 16}, Point3{2, -12, 15.9}, Point3{4, -12, 15.5}})
        curve.control_points.push_back(at_hr_vertex(nearest_hr_vertex(target), "", -1));
    curve.partner = 0;
    hr.landcurves = {curve};
    gui_test::tick(f.lr_checkbox, false);
    gui_test::tick(f.landmarks_checkbox, true);
    const auto [lx, ly] = screen(hr.positions[static_cast<std::size_t>(front)]);
    const auto [sx, sy] = screen(hr.positions[static_cast<std::size_t>(side)]);
    const auto [cx, cy] = screen(curve.control_points[0].position);

    canvas().label_mode = 0;
    Picture paired;
    const Rgb marker = paired.at(lx, ly);
    EXPECT_GT(marker.g, 150) << marker;
    EXPECT_LT(marker.r, 90) << marker;
    const Rgb curve_marker = paired.at(cx, cy);
    EXPECT_GT(curve_marker.g, 150) << curve_marker;

    struct Case {
        int mode;
        bool name_shown;
        bool index_shown;
    };
    // Names of landmarks and curves from mode 1, semilandmark numbers only in mode 2.
    for (const Case c : {Case{0, false, false}, Case{1, true, false}, Case{2, true, true}}) {
        SCOPED_TRACE(c.mode);
        canvas().label_mode = static_cast<std::uint16_t>(c.mode);
        Picture picture;
        EXPECT_EQ(picture.any(lx + 1, lx + 30, ly + 1, ly + 7, white), c.name_shown);
        EXPECT_EQ(picture.any(sx + 1, sx + 5, sy + 1, sy + 7, white), c.index_shown);
        EXPECT_EQ(picture.any(cx + 1, cx + 20, cy + 1, cy + 7, white), c.name_shown);
    }

    // Without a partner the marker is darker.
    hr.landmarks[0].partner = -1;
    canvas().label_mode = 0;
    const Rgb unpaired = Picture().at(lx, ly);
    EXPECT_LT(unpaired.g, marker.g - 60) << unpaired;
}

TEST_F(Overlays, MatchAndDisplacementLinesOverTheSurfaces)
{
    show_pair();
    MyFrame& f = frame();
    Surface& lr = *f.lr_surface;
    // Every LR vertex matched to the front-most HR vertex, well within the range.
    const std::int64_t front = nearest_hr_vertex({0, 0, 20});
    lr.match_index.assign(lr.match_index.size(), front);
    lr.match_distance2.assign(lr.match_distance2.size(), 0.0);
    lr.match_range2 = 1e300;
    const auto [fx, fy] = screen(frame().hr_surface->positions[static_cast<std::size_t>(front)]);
    gui_test::tick(f.matches_checkbox, true);
    EXPECT_TRUE(Picture().any(fx - 1, fx + 1, fy - 1, fy + 1, white));
    lr.fussy.assign(lr.fussy.size(), 1);
    EXPECT_TRUE(Picture().any(fx - 1, fx + 1, fy - 1, fy + 1, Rgb{255, 0, 255}));
    gui_test::tick(f.matches_checkbox, false);

    // Each LR vertex shown half as far out again: red at the start, green at the end.
    lr.deformed_positions = lr.positions;
    for (Point3& p : lr.deformed_positions)
        p = 1.5 * p;
    lr.shown = ShownShape::deformed;
    gui_test::tick(f.lr_checkbox, false);
    gui_test::tick(f.hr_checkbox, false);
    const auto [cx, cy] = screen({0, 0, 0});
    const int mid = static_cast<int>(std::lround(12.5 * canvas().zoom));
    const auto yellowish = [](const Rgb& c) { return c.r > 60 && c.g > 60 && c.b < 40; };
    EXPECT_FALSE(Picture().any_of(cx + mid - 3, cx + mid + 3, cy - 3, cy + 3, yellowish));
    gui_test::tick(f.displacements_checkbox, true);
    EXPECT_TRUE(Picture().any_of(cx + mid - 3, cx + mid + 3, cy - 3, cy + 3, yellowish));
}

// Debug-level messages, which the program's status line never shows.
class DebugCapture : public wxLog {
public:
    std::vector<wxString> messages;

protected:
    void DoLogRecord(wxLogLevel level, const wxString& text, const wxLogRecordInfo&) override
    {
        if (level == wxLOG_Debug)
            messages.push_back(text);
    }
};

TEST_F(Overlays, GlyphsAdvanceTheRasterPositionAndUnknownOnesDrawNothing)
{
    ASSERT_TRUE(canvas().make_current());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const auto raster_x_after = [](int font, int character) {
        glRasterPos2i(10, 10);
        glutBitmapCharacter(font, character);
        GLdouble position[4];
        glGetDoublev(GL_CURRENT_RASTER_POSITION, position);
        return position[0];
    };
    DebugCapture capture;
    wxLog* previous = wxLog::SetActiveTarget(&capture);
    EXPECT_EQ(raster_x_after(5, 'A'), 17.0);
    EXPECT_EQ(raster_x_after(5, 0xE9), 16.0);
    EXPECT_EQ(raster_x_after(7, 'A'), 24.0);
    EXPECT_EQ(raster_x_after(1, 'i'), 19.0);
    EXPECT_TRUE(capture.messages.empty());
    EXPECT_EQ(raster_x_after(8, 'A'), 10.0);
    EXPECT_EQ(raster_x_after(0, 'A'), 10.0);
    EXPECT_EQ(raster_x_after(5, 0), 10.0);
    EXPECT_EQ(raster_x_after(5, 0x20AC), 10.0);
    wxLog::SetActiveTarget(previous);
    EXPECT_EQ(capture.messages,
              (std::vector<wxString>{"Unknown font in glutBitmapCharacter",
                                     "Unknown font in glutBitmapCharacter",
                                     "Unknown character in glutBitmapCharacter",
                                     "Unknown character in glutBitmapCharacter"}));
    // The caller's unpack settings come back as they were.
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
}

TEST_F(Overlays, UtilitiesPageWithoutShapeModelSaysSo)
{
    frame().control_notebook->ChangeSelection(1);
    Picture picture;
    const int h = height();
    EXPECT_TRUE(picture.any(20, 90, h - 20, h - 12, white));
    EXPECT_FALSE(picture.any(100, 200, h - 20, h - 12, white));
}
