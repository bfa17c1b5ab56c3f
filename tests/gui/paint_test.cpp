// What the view shows: background, surfaces by shading mode, colours, translucency, mirrored
// poses, and the display lists behind them. Pixels are read from the view as drawn.
#include "app/app.h"
#include "app/frame.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/view_test_support.h"
#include "view/colour_map.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"
#include "view/vertex_colour.h"
#include "view/view_maths.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <set>

using gui_test::canvas;
using gui_test::frame;

namespace {

struct Rgb {
    int r, g, b;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// The colour that the three lights give a surface point facing the viewer, for a material of
// diffuse colour d (0..1 per channel): diffuse 0.6 + 2 x 0.3 cos(54.7 degrees), specular 0.1 x
// (0.2 + 2 x 0.1 cos^10 of the half-angle of the oblique lights).
Rgb lit_facing_viewer(double r, double g, double b)
{
    const double diffuse = 0.6 + 2.0 * 0.3 / std::sqrt(3.0);
    const double half = (1.0 + 1.0 / std::sqrt(3.0)) /
                        std::sqrt(2.0 / 3.0 + std::pow(1.0 + 1.0 / std::sqrt(3.0), 2.0));
    const double specular = 0.1 * (0.2 + 2.0 * 0.1 * std::pow(half, 10.0));
    const auto channel = [&](double d) {
        return static_cast<int>(std::lround(255.0 * std::min(1.0, d * diffuse + specular)));
    };
    return {channel(r), channel(g), channel(b)};
}

Rgb lit_map_entry(int map, int entry)
{
    const Rgb8 c = colour_map_entry(map, entry);
    return lit_facing_viewer(c[0] / 255.0, c[1] / 255.0, c[2] / 255.0);
}

void expect_near(const Rgb& actual, const Rgb& expected, int tolerance = 6)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance) << actual << " expected " << expected;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << actual << " expected " << expected;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << actual << " expected " << expected;
}

// Recompiles the list of `kind` as the coloured lists were first filled: the diffuse material
// of both faces set at every corner, the reference for the colour-material filling.
void compile_with_corner_materials(DisplayListKind kind)
{
    MyFrame& f = frame();
    const std::vector<Rgba> colours =
        vertex_colours(kind, *f.lr_surface, *f.hr_surface, f.colour_settings());
    const Surface& surface = draws_hr_surface(kind) ? *f.hr_surface : *f.lr_surface;
    const GLfloat ambient[] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat specular[] = {0.1f, 0.1f, 0.1f, surface_alpha};
    const GLfloat hr_diffuse[] = {0.2f, 0.9f, 0.2f, surface_alpha};
    const GLfloat lr_diffuse[] = {0.9f, 0.2f, 0.2f, surface_alpha};
    ASSERT_TRUE(canvas().make_current());
    glNewList(display_list_id(surface, kind), GL_COMPILE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, draws_hr_surface(kind) ? hr_diffuse : lr_diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 10.0f);
    const std::vector<Point3>& positions = surface.shown_positions();
    const std::vector<Point3>& normals = surface.shown_normals();
    glBegin(GL_TRIANGLES);
    for (const Triangle& triangle : surface.triangles)
        for (const std::int64_t v : triangle.vertex) {
            const auto i = static_cast<std::size_t>(v);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, colours.at(i).data());
            glNormal3d(normals[i].x, normals[i].y, normals[i].z);
            glVertex3d(positions[i].x, positions[i].y, positions[i].z);
        }
    glEnd();
    glEndList();
}

class View : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gui_test::reset_view()); }
    void TearDown() override { gui_test::reset_view(); }

    // LR: a sphere of radius 10 mm, HR: one of 20 mm, both about the origin, which the view
    // shows at its centre; the HR lists that loading builds.
    static void show_pair()
    {
        MyFrame& f = frame();
        gui_test::show_surfaces(icosphere(3, 10.0), icosphere(3, 20.0));
        f.lr_surface->max_radius = 10.0f;
        f.hr_surface->max_radius = 20.0f;
        canvas().zoom =
            fit_zoom(10.0, 20.0, canvas().GetClientSize().x, canvas().GetClientSize().y);
        f.build_display_list(list_hr_plain);
        f.build_display_list(list_hr_curvature);
    }

    static void set_shading(int mode)
    {
        frame().shading_radiobox->SetSelection(mode);
        gui_test::send_command(frame().shading_radiobox, wxEVT_RADIOBOX, mode);
    }

    static wxImage picture()
    {
        wxImage image;
        EXPECT_TRUE(canvas().capture_view(image));
        return image;
    }

    static Rgb pixel(const wxImage& image, int x, int y)
    {
        return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
    }

    static Rgb centre(const wxImage& image)
    {
        return pixel(image, image.GetWidth() / 2, image.GetHeight() / 2);
    }
};

} // namespace

TEST_F(View, BackgroundIsBlackOrWhiteAndNothingElseWithoutSurfaces)
{
    wxImage image = picture();
    ASSERT_TRUE(image.IsOk());
    EXPECT_EQ(image.GetWidth(), canvas().GetClientSize().x);
    EXPECT_EQ(image.GetHeight(), canvas().GetClientSize().y);
    expect_near(centre(image), {0, 0, 0}, 0);
    expect_near(pixel(image, 0, 0), {0, 0, 0}, 0);
    EXPECT_EQ(canvas().contrast_colour(), (std::array<float, 3>{1, 1, 1}));

    canvas().white_background = true;
    image = picture();
    expect_near(centre(image), {255, 255, 255}, 0);
    expect_near(pixel(image, image.GetWidth() - 1, image.GetHeight() - 1), {255, 255, 255}, 0);
    EXPECT_EQ(canvas().contrast_colour(), (std::array<float, 3>{0, 0, 0}));
}

TEST_F(View, PlainSurfacesAreTranslucentSoTheInnerOneShowsThrough)
{
    show_pair();
    const Rgb both = centre(picture());
    // Green HR sphere in front, the red LR sphere inside it showing through.
    EXPECT_GT(both.g, 90) << both;
    EXPECT_GT(both.r, 80) << both;

    gui_test::tick(frame().lr_checkbox, false);
    const Rgb hr_only = centre(picture());
    EXPECT_LT(hr_only.r, 60) << hr_only;
    // Half strength over the black background: well below the opaque green.
    EXPECT_GT(hr_only.g, 90) << hr_only;
    EXPECT_LT(hr_only.g, lit_facing_viewer(0.2, 0.9, 0.2).g - 30) << hr_only;

    gui_test::tick(frame().hr_checkbox, false);
    expect_near(centre(picture()), {0, 0, 0}, 0);
}

TEST_F(View, DataValueTakesItsColourFromTheMap)
{
    show_pair();
    MyFrame& f = frame();
    // 1.5 in a range of 0 to 6 is a quarter of the ramp: entry 65 of the map.
    f.data_min = 0.0;
    f.data_max = 6.0;
    f.hr_surface->data.assign(f.hr_surface->data.size(), 1.5);
    f.build_display_list(list_hr_data);
    f.colour_map = 0;
    f.colour_gain = 3.0;
    f.colour_offset = 0.5;
    // The shading switch selects map 3 and resets gain and offset; no LR data: LR not drawn.
    set_shading(shading_surface_data);
    EXPECT_EQ(f.colour_map, 3);
    EXPECT_EQ(f.colour_gain, 1.0);
    EXPECT_EQ(f.colour_offset, 0.0);
    const Rgb data = centre(picture());
    expect_near(data, lit_map_entry(3, 65));

    // A vertex without data takes the map's no-data colour.
    f.hr_surface->sigma.assign(f.hr_surface->sigma.size(), missing_value);
    f.refresh_data_lists();
    expect_near(centre(picture()), lit_map_entry(3, 0));
}

// The coloured lists let the diffuse material follow a colour per corner; the pictures are
// those of the material set at every corner, pixel for pixel: opaque with both surfaces and
// the colour bar, opaque LR only, and translucent.
TEST_F(View, ColouredListsShowWhatCornerMaterialsShow)
{
    show_pair();
    MyFrame& f = frame();
    for (Surface* surface : {f.lr_surface, f.hr_surface})
        for (std::size_t i = 0; i < surface->curvature.size(); ++i)
            surface->curvature[i] = 0.06 * std::sin(0.7 * static_cast<double>(i));
    // Matches that stay (no re-matching) at distances over the whole ramp and beyond.
    f.lr_surface->match_range2 = 1e300;
    for (std::size_t i = 0; i < f.lr_surface->match_distance2.size(); ++i)
        f.lr_surface->match_distance2[i] = f.search_range2() * static_cast<double>(i % 12) / 10.0;
    const auto pixels = [](const wxImage& image) {
        const unsigned char* data = image.GetData();
        return std::vector<unsigned char>(data, data + 3 * image.GetWidth() * image.GetHeight());
    };
    struct Case {
        ShadingMode mode;
        std::vector<DisplayListKind> kinds;
    };
    const Case cases[] = {
        {shading_gaussian_curvature, {list_lr_curvature, list_hr_curvature}},
        {shading_registration_error, {list_lr_registration_error}},
        // Without data: translucent, every vertex in the no-data colour.
        {shading_absolute_data_error, {list_lr_absolute_data_error}},
    };
    for (const Case& c : cases) {
        set_shading(c.mode);
        for (const DisplayListKind kind : c.kinds)
            f.build_display_list(kind);
        const std::vector<unsigned char> built = pixels(picture());
        for (const DisplayListKind kind : c.kinds)
            compile_with_corner_materials(kind);
        const std::vector<unsigned char> reference = pixels(picture());
        EXPECT_TRUE(built == reference) << "shading " << c.mode;
        // The pictures hold the surfaces, in many colours where the values vary.
        std::set<int> colours;
        for (std::size_t i = 0; i + 2 < built.size(); i += 3)
            colours.insert(built[i] << 16 | built[i + 1] << 8 | built[i + 2]);
        EXPECT_GT(colours.size(), c.mode == shading_absolute_data_error ? 2u : 50u)
            << "shading " << c.mode;
    }
}

TEST_F(View, CurvatureAndSignedErrorSelectTheDivergingMap)
{
    show_pair();
    MyFrame& f = frame();
    set_shading(shading_gaussian_curvature);
    EXPECT_EQ(f.colour_map, 1);
    // Zero curvature is the middle of the ramp; the curvature lists are opaque, so the LR
    // sphere inside stays hidden.
    expect_near(centre(picture()), lit_map_entry(1, 128));
    set_shading(shading_signed_data_error);
    EXPECT_EQ(f.colour_map, 1);
    set_shading(shading_absolute_data_error);
    EXPECT_EQ(f.colour_map, 3);
}

TEST_F(View, ErrorModesShowOnlyTheLrSurface)
{
    show_pair();
    MyFrame& f = frame();
    // Every LR vertex unmatched: the above-range colour.
    f.lr_surface->match_range2 = 1e300;
    set_shading(shading_registration_error);
    expect_near(centre(picture()), lit_map_entry(3, 255));
    EXPECT_FALSE(f.list_dirty[dirty_registration_error]);

    gui_test::tick(f.lr_checkbox, false);
    expect_near(centre(picture()), {0, 0, 0}, 0);

    // Without data the data-error modes are translucent; the HR surface is still not drawn.
    gui_test::tick(f.lr_checkbox, true);
    set_shading(shading_absolute_data_error);
    expect_near(centre(picture()), {0, 0, 0}, 0);
}

TEST_F(View, MirroredPoseIsLitLikeTheUnmirroredOne)
{
    show_pair();
    MyFrame& f = frame();
    f.lr_surface->match_range2 = 1e300;
    set_shading(shading_registration_error);
    const Rgb plain = centre(picture());
    make_transform(f.current_transform, 0, 0, 0, 0, 0, 0);
    f.current_transform[0] = -1.0;
    const Rgb mirrored = centre(picture());
    expect_near(mirrored, plain, 2);
    expect_near(mirrored, lit_map_entry(3, 255));
}

TEST_F(View, LrListIsRebuiltWhenMarkedOutOfDate)
{
    show_pair();
    MyFrame& f = frame();
    gui_test::tick(f.hr_checkbox, false);
    f.lr_surface->match_range2 = 1e300;
    set_shading(shading_registration_error);
    expect_near(centre(picture()), lit_map_entry(3, 255));
    // All LR matches at zero distance: the ramp start, once the list is marked out of date.
    f.lr_surface->match_distance2.assign(f.lr_surface->match_distance2.size(), 0.0);
    expect_near(centre(picture()), lit_map_entry(3, 255));
    f.list_dirty[dirty_registration_error] = true;
    expect_near(centre(picture()), lit_map_entry(3, 2));
    EXPECT_FALSE(f.list_dirty[dirty_registration_error]);
}

// A registration-error list built after the search range grew matches again first, so vertices
// beyond the old range but within the new one are coloured by their distance.
TEST_F(View, RegistrationErrorListRematchesWhenTheRangeGrew)
{
    MyFrame& f = frame();
    const TempDirectory directory;
    const std::string lr = directory.file("lr.ply");
    const std::string hr = directory.file("hr.ply");
    // Every LR vertex lies 4 mm inside the HR sphere.
    ASSERT_TRUE(write_ply_file(lr, icosphere(3, 16.0)));
    ASSERT_TRUE(write_ply_file(hr, icosphere(3, 20.0)));
    ASSERT_TRUE(f.load_surface_files(lr, hr, "lr.ply", "hr.ply", true));
    const auto set_range_mm = [&](double mm) {
        f.search_range_slider->SetValue(static_cast<int>(std::lround(mm * f.range_units)));
    };
    set_range_mm(3.0);
    set_shading(shading_registration_error);
    expect_near(centre(picture()), lit_map_entry(3, 255));

    // The slider moved without its handler: only the list is marked out of date.
    set_range_mm(6.0);
    f.list_dirty[dirty_registration_error] = true;
    const Rgb matched = centre(picture());
    EXPECT_DOUBLE_EQ(f.lr_surface->match_range2, f.search_range2() + 1e-8);
    EXPECT_FALSE(f.list_dirty[dirty_registration_error]);
    // (4 / 6)^2 of the ramp.
    const Rgba expected = colour_from_map(3, 16.0 / 36.0, 1.0f);
    expect_near(matched, lit_facing_viewer(expected[0], expected[1], expected[2]), 10);
}

TEST_F(View, UtilitiesPageWithoutModelShowsNoSurfaces)
{
    show_pair();
    frame().control_notebook->ChangeSelection(1);
    expect_near(centre(picture()), {0, 0, 0}, 0);
    frame().control_notebook->ChangeSelection(0);
    EXPECT_GT(centre(picture()).g, 90);
}

TEST_F(View, ResizeRedoesTheViewportAndKeepsZoomAndRotation)
{
    show_pair();
    const int old_width = canvas().client_width;
    const double zoom = canvas().zoom;
    ASSERT_TRUE(gui_test::set_view_width(old_width - 37));
    EXPECT_EQ(canvas().client_width, old_width - 37);
    EXPECT_EQ(canvas().zoom, zoom);
    const wxImage image = picture();
    EXPECT_EQ(image.GetWidth(), canvas().client_width);
    EXPECT_GT(centre(image).g, 90);
    gui_test::set_view_width(old_width);
}

// The toolkit delivers two paints of the view in a refresh and update of the whole frame; the
// second would draw the same picture again, which on a large pair takes as long as a run step.
TEST_F(View, AFrameUpdateMadeAtOncePaintsTheViewOnce)
{
    show_pair();
    for (int update = 0; update < 2; ++update) {
        canvas().redraw_pending = true;
        const std::uint64_t before = canvas().paint_count;
        canvas().update_frame_painting_view_once(frame());
        EXPECT_EQ(canvas().paint_count - before, 1u) << "update " << update;
        EXPECT_FALSE(canvas().redraw_pending);
    }
    // A later update of the frame paints the view again.
    const std::uint64_t before = canvas().paint_count;
    frame().Refresh(true);
    frame().Update();
    EXPECT_GE(canvas().paint_count - before, 1u);
}

TEST_F(View, WaitsForAPaintDoNotWaitOnAWindowThatCannotShowOne)
{
    // Shown: the repaint is made during the request and the wait is over.
    canvas().redraw_pending = true;
    EXPECT_TRUE(canvas().finish_pending_redraw());
    EXPECT_FALSE(canvas().redraw_pending);

    // Hidden, no paint can come: neither the redraw wait nor the start-up wait for the GL set-up
    // waits for one; the set-up is made without a paint.
    frame().Hide();
    EXPECT_FALSE(canvas().can_paint());
    canvas().redraw_pending = true;
    EXPECT_TRUE(canvas().finish_pending_redraw());
    EXPECT_FALSE(canvas().redraw_pending);
    canvas().gl_ready = false;
    canvas().viewport_set = false;
    EXPECT_TRUE(canvas().finish_gl_set_up());
    EXPECT_TRUE(canvas().gl_ready);
    EXPECT_TRUE(canvas().viewport_set);
    frame().Show();
    EXPECT_TRUE(gui_test::pump_until([] { return canvas().can_paint(); }));
}
