// The view's mouse and keys on the real window: wheel, clicks and drags on the view and the
// legend, picks that probe the surfaces and define landmarks, keys that define landcurves and
// switch the drawing. Events are built here and handed to the view's handlers.
#include "app/app.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/view_input.h"
#include "tests/gui/view_test_support.h"
#include "tests/registration/pair_fixture.h"
#include "view/gl_canvas.h"
#include "view/landmark_definition.h"
#include "view/mouse_maths.h"
#include "view/shading_mode.h"
#include "view/view_maths.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobox.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <cmath>

using gui_test::alt;
using gui_test::canvas;
using gui_test::click;
using gui_test::ctrl;
using gui_test::drag_to;
using gui_test::frame;
using gui_test::mouse_event;
using gui_test::NameAnswer;
using gui_test::NameDialogSeen;
using gui_test::no_keys;
using gui_test::press_key;
using gui_test::send;
using gui_test::shift;
using gui_test::wheel;

namespace {

class MouseAndKeys : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(reset()); }
    void TearDown() override { reset(); }

    static bool reset()
    {
        MyFrame& f = frame();
        if (!gui_test::reset_view())
            return false;
        f.mouse_radiobox->SetSelection(mouse_viewpoint);
        f.registration_choice->SetSelection(rigid);
        gui_test::tick(f.landmarks_checkbox, false);
        canvas().label_mode = 0;
        canvas().zoom = 1.0;
        f.picked_points.clear();
        f.landcurve_state = landcurve_not_defining;
        f.registration_unsaved = false;
        f.range_units = 10.0; // as before the grid of show_spheres
        return true;
    }

    // Spheres about the origin, which the view shows at its centre, 5 pixels per millimetre;
    // loaded as loading leaves them, with the vertex grid that projection onto HR needs.
    static void show_spheres(double lr_radius, double hr_radius)
    {
        load_pair(frame(), icosphere(3, lr_radius), icosphere(3, hr_radius));
        frame().list_dirty.fill(true);
        canvas().zoom = 5.0;
    }

    static int centre_x() { return canvas().client_width / 2; }
    static int centre_y() { return canvas().client_height / 2; }
};

} // namespace

TEST_F(MouseAndKeys, WheelZoomsTheViewOrChangesTheColoursOverTheLegend)
{
    MyFrame& f = frame();
    const double zoom = canvas().zoom;
    wheel(300, 300, -1);
    EXPECT_NEAR(canvas().zoom, zoom * 1.05, 1e-12);
    wheel(300, 300, 1);
    wheel(300, 300, 1);
    EXPECT_NEAR(canvas().zoom, zoom / 1.05, 1e-12);

    wheel(10, 100, -1);
    EXPECT_NEAR(f.colour_gain, 1.1, 1e-12);
    wheel(10, 100, 1);
    wheel(10, 100, 1);
    EXPECT_NEAR(f.colour_gain, 1.0 / 1.1, 1e-12);
    wheel(10, 100, -1, alt);
    EXPECT_NEAR(f.colour_offset, 0.05, 1e-12);
    wheel(10, 100, 1, alt);
    wheel(10, 100, 1, alt);
    EXPECT_NEAR(f.colour_offset, -0.05, 1e-12);
    EXPECT_NEAR(canvas().zoom, zoom / 1.05, 1e-12);
}

TEST_F(MouseAndKeys, WheelScalesTheLrSurfaceExceptUnderRigid)
{
    MyFrame& f = frame();
    show_spheres(10, 20);
    canvas().zoom = 1.0;
    f.mouse_radiobox->SetSelection(mouse_lr_surface);
    make_translation(f.current_transform, 1, 2, 3);
    const Matrix4 pose = f.current_transform;
    wheel(300, 300, -1);
    EXPECT_EQ(f.current_transform.m, pose.m);
    EXPECT_FALSE(f.registration_unsaved);

    f.registration_choice->SetSelection(similarity);
    wheel(300, 300, -1);
    EXPECT_NEAR(f.current_transform[0], 1.05, 1e-12);
    EXPECT_NEAR(f.current_transform[10], 1.05, 1e-12);
    EXPECT_EQ(f.current_transform[12], 1.0);
    EXPECT_EQ(f.similarity_transform.m, f.current_transform.m);
    EXPECT_TRUE(f.registration_unsaved);
    EXPECT_EQ(canvas().zoom, 1.0);
}

TEST_F(MouseAndKeys, ClicksCycleTheColourMapOrMirrorTheLrSurface)
{
    MyFrame& f = frame();
    const int start = f.colour_map;
    for (int i = 1; i <= 7; ++i) {
        click(5, 140);
        EXPECT_EQ(f.colour_map == start, i == 7) << i;
    }

    show_spheres(10, 20);
    Matrix4 mirror = identity_matrix();
    mirror[0] = -1.0;
    f.lr_surface->mirror = mirror;
    click(300, 300);
    EXPECT_EQ(f.current_transform.m, identity_matrix().m); // the view mode mirrors nothing

    f.mouse_radiobox->SetSelection(mouse_lr_surface);
    // A press and a release at another place is no click.
    send(mouse_event(wxEVT_LEFT_DOWN, 300, 300));
    send(mouse_event(wxEVT_LEFT_UP, 301, 300));
    EXPECT_EQ(f.current_transform.m, identity_matrix().m);
    // Nor is a probe with ctrl held.
    click(centre_x(), centre_y(), ctrl);
    EXPECT_EQ(f.current_transform.m, identity_matrix().m);
    EXPECT_FALSE(f.registration_unsaved);

    click(300, 300);
    EXPECT_EQ(f.current_transform.m, mirror.m);
    EXPECT_EQ(f.rigid_transform.m, mirror.m);
    EXPECT_TRUE(f.registration_unsaved);
    click(300, 300);
    EXPECT_EQ(f.current_transform.m, identity_matrix().m);
}

TEST_F(MouseAndKeys, DragsTurnTheViewOrMoveTheLrSurface)
{
    MyFrame& f = frame();
    send(mouse_event(wxEVT_LEFT_DOWN, 100, 100));
    drag_to(103, 104);
    // 3 pixels right and 4 down: 5 degrees about (4, 3, 0).
    const Matrix4 expected = rotation_about_axis(5.0, {4, 3, 0});
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(canvas().view_rotation[i], expected[i], 1e-12) << i;
    // The next step is measured from the last one: no further movement, no further turn.
    drag_to(103, 104);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(canvas().view_rotation[i], expected[i], 1e-12) << i;
    EXPECT_EQ(f.current_transform.m, identity_matrix().m);

    show_spheres(10, 20);
    canvas().view_rotation = identity_matrix();
    canvas().zoom = 2.0;
    f.mouse_radiobox->SetSelection(mouse_lr_surface);
    send(mouse_event(wxEVT_RIGHT_DOWN, 100, 100));
    drag_to(106, 96, true);
    EXPECT_EQ(canvas().view_rotation.m, identity_matrix().m);
    EXPECT_NEAR(f.current_transform[12], 3.0, 1e-12);
    EXPECT_NEAR(f.current_transform[13], 2.0, 1e-12);
    EXPECT_EQ(f.rigid_transform.m, f.current_transform.m);
    EXPECT_TRUE(f.registration_unsaved);
}

TEST_F(MouseAndKeys, WithNothingLoadedTheLrSurfaceModeChangesNothing)
{
    MyFrame& f = frame();
    f.mouse_radiobox->SetSelection(mouse_lr_surface);
    f.registration_choice->SetSelection(similarity);
    send(mouse_event(wxEVT_LEFT_DOWN, 100, 100));
    drag_to(110, 104);
    send(mouse_event(wxEVT_RIGHT_DOWN, 100, 100));
    drag_to(106, 96, true);
    wheel(300, 300, -1);
    click(300, 300);
    EXPECT_EQ(f.current_transform.m, identity_matrix().m);
    EXPECT_EQ(f.similarity_transform.m, identity_matrix().m);
    EXPECT_EQ(canvas().view_rotation.m, identity_matrix().m);
    EXPECT_EQ(canvas().zoom, 1.0);
    EXPECT_FALSE(f.registration_unsaved);
}

TEST_F(MouseAndKeys, ProbeReportsTheNearestShownSurface)
{
    MyFrame& f = frame();
    show_spheres(10, 20);
    click(centre_x(), centre_y(), ctrl);
    EXPECT_TRUE(gui_test::status_text().StartsWith("HR  vertex ")) << gui_test::status_text();

    gui_test::tick(f.hr_checkbox, false);
    click(centre_x(), centre_y(), ctrl);
    EXPECT_TRUE(gui_test::status_text().StartsWith("LR  vertex ")) << gui_test::status_text();

    // A drag with ctrl held probes too, and a miss clears the status line.
    f.SetStatusText("earlier text", 0);
    wxMouseEvent beside = mouse_event(wxEVT_MOTION, centre_x() + 200, centre_y(), ctrl);
    beside.m_leftDown = true;
    send(beside);
    EXPECT_EQ(gui_test::status_text(), "");

    // The HR surface is not picked in the error shadings.
    gui_test::tick(f.hr_checkbox, true);
    gui_test::tick(f.lr_checkbox, false);
    f.shading_radiobox->SetSelection(shading_registration_error);
    gui_test::send_command(f.shading_radiobox, wxEVT_RADIOBOX, shading_registration_error);
    f.SetStatusText("earlier text", 0);
    click(centre_x(), centre_y(), ctrl);
    EXPECT_EQ(gui_test::status_text(), "");
    gui_test::tick(f.lr_checkbox, true);
    click(centre_x(), centre_y(), ctrl);
    EXPECT_TRUE(gui_test::status_text().StartsWith("Registration error "))
        << gui_test::status_text();
    EXPECT_TRUE(f.lr_surface->landmarks.empty());
}

TEST_F(MouseAndKeys, ShiftClickNamesALandmarkOnTheSurfaceInFront)
{
    MyFrame& f = frame();
    show_spheres(20, 10); // the LR surface in front
    gui_test::tick(f.landmarks_checkbox, true);
    f.hr_surface->landmarks.push_back(Landmark{});
    f.hr_surface->landmarks[0].name = "tip";
    const unsigned before = canvas().landmark_counter;
    NameDialogSeen seen;
    wxTEST_DIALOG(click(centre_x(), centre_y(), shift), NameAnswer(wxID_OK, "tip", &seen));
    EXPECT_EQ(seen.message, "LR landmark name");
    EXPECT_EQ(seen.caption, "Name landmark");
    EXPECT_EQ(seen.default_value, wxString::Format("Landmark %u", before + 1));
    ASSERT_EQ(f.lr_surface->landmarks.size(), 1u);
    EXPECT_EQ(f.hr_surface->landmarks.size(), 1u);
    const Landmark& tip = f.lr_surface->landmarks[0];
    EXPECT_EQ(tip.name, "tip");
    // Paired by name with the HR landmark at once.
    EXPECT_EQ(tip.partner, 0);
    EXPECT_EQ(f.hr_surface->landmarks[0].partner, 0);
    EXPECT_EQ(tip.vertex_index, -1);
    // The front of the LR sphere, facing the viewer.
    EXPECT_NEAR(tip.position.z, 20.0, 0.5);
    EXPECT_NEAR(std::hypot(tip.position.x, tip.position.y), 0.0, 0.5);
    EXPECT_TRUE(gui_test::status_text().StartsWith("LR  vertex ")) << gui_test::status_text();

    // A cancelled dialog makes nothing, but its number is used up.
    wxTEST_DIALOG(click(centre_x(), centre_y(), shift), NameAnswer(wxID_CANCEL, "", &seen));
    EXPECT_EQ(seen.default_value, wxString::Format("Landmark %u", before + 2));
    EXPECT_EQ(f.lr_surface->landmarks.size(), 1u);
}

TEST_F(MouseAndKeys, ShiftClickWithLandmarksHiddenOnlyExplainsAndProbes)
{
    MyFrame& f = frame();
    show_spheres(10, 20);
    const unsigned before = canvas().landmark_counter;
    wxString message, caption;
    wxTEST_DIALOG(click(centre_x(), centre_y(), shift),
                  gui_test::MessageAnswer(wxID_OK, &message, &caption));
    EXPECT_EQ(caption, "Cannot define landmark");
    EXPECT_EQ(message, "Before defining landmarks, check that the \"Show landmarks\" checkbox "
                       "is selected");
    EXPECT_TRUE(gui_test::status_text().StartsWith("HR  vertex ")) << gui_test::status_text();
    EXPECT_TRUE(f.hr_surface->landmarks.empty());
    EXPECT_EQ(canvas().landmark_counter, before);
}

TEST_F(MouseAndKeys, LandcurveKeysCollectPointsOnOneSurfaceAndNameTheCurve)
{
    MyFrame& f = frame();
    show_spheres(10, 20);
    gui_test::tick(f.landmarks_checkbox, true);
    f.lr_surface->landcurves.push_back(Landcurve{});
    f.lr_surface->landcurves[0].name = "arc";

    EXPECT_FALSE(press_key('C'));
    EXPECT_EQ(gui_test::status_text(), "Start defining landcurve");
    EXPECT_EQ(f.landcurve_state, landcurve_on_lr);
    // The first point, on the HR surface in front, decides the surface.
    click(centre_x(), centre_y(), shift);
    click(centre_x() + 20, centre_y(), shift);
    EXPECT_EQ(f.landcurve_state, landcurve_on_hr);
    // With the HR surface hidden the LR surface is hit: not on the curve's surface.
    gui_test::tick(f.hr_checkbox, false);
    click(centre_x(), centre_y() + 20, shift);
    ASSERT_EQ(f.picked_points.size(), 2u);

    const unsigned before = canvas().landcurve_counter;
    NameDialogSeen seen;
    wxTEST_DIALOG(press_key('O'), NameAnswer(wxID_OK, "arc", &seen));
    EXPECT_EQ(seen.message, "HR open landcurve name");
    EXPECT_EQ(seen.caption, "Name landcurve");
    EXPECT_EQ(seen.default_value, wxString::Format("Landcurve %u", before + 1));
    EXPECT_EQ(gui_test::status_text(), "Stop defining landcurve");
    ASSERT_EQ(f.hr_surface->landcurves.size(), 1u);
    const Landcurve& arc = f.hr_surface->landcurves[0];
    EXPECT_EQ(arc.name, "arc");
    EXPECT_FALSE(arc.closed);
    EXPECT_EQ(arc.control_points.size(), 2u);
    EXPECT_GT(arc.control_points[1].position.x, arc.control_points[0].position.x + 2.0);
    // Paired by name with the LR curve at once.
    EXPECT_EQ(arc.partner, 0);
    EXPECT_EQ(f.lr_surface->landcurves[0].partner, 0);
    EXPECT_EQ(f.landcurve_state, landcurve_not_defining);
    EXPECT_TRUE(f.picked_points.empty());

    // Fewer than two points: no dialog, no curve.
    press_key('c');
    click(centre_x(), centre_y(), shift); // the LR surface now
    press_key('c');
    EXPECT_EQ(gui_test::status_text(), "Stop defining landcurve");
    EXPECT_EQ(f.lr_surface->landcurves.size(), 1u);
    EXPECT_EQ(f.landcurve_state, landcurve_not_defining);
    EXPECT_EQ(canvas().landcurve_counter, before + 1);

    // With landmarks hidden the keys do nothing and are not passed on.
    gui_test::tick(f.landmarks_checkbox, false);
    EXPECT_FALSE(press_key('C'));
    EXPECT_EQ(f.landcurve_state, landcurve_not_defining);
}

TEST_F(MouseAndKeys, KeysSwitchWireframeBackgroundAndLabels)
{
    MyGLCanvas& c = canvas();
    EXPECT_FALSE(press_key('L'));
    EXPECT_TRUE(c.wireframe);
    EXPECT_FALSE(press_key('l'));
    EXPECT_FALSE(c.wireframe);
    EXPECT_FALSE(press_key('W'));
    EXPECT_TRUE(c.white_background);

    // Labels cycle only while landmarks are shown; otherwise N is passed on.
    EXPECT_TRUE(press_key('N'));
    EXPECT_EQ(c.label_mode, 0);
    gui_test::tick(frame().landmarks_checkbox, true);
    for (const int expected : {1, 2, 0}) {
        EXPECT_FALSE(press_key('N'));
        EXPECT_EQ(c.label_mode, expected);
    }

    EXPECT_TRUE(press_key('X'));
    EXPECT_TRUE(press_key(WXK_F1));
}

TEST_F(MouseAndKeys, KeysHeldWithAModifierArePassedOnToTheMenus)
{
    MyFrame& f = frame();
    MyGLCanvas& c = canvas();
    show_spheres(10, 20);
    gui_test::tick(f.landmarks_checkbox, true);
    for (const int keys : {int{alt}, int{ctrl}, int{gui_test::meta}, alt | shift}) {
        SCOPED_TRACE(keys);
        for (const int code : {'L', 'l', 'W', 'N', 'n', 'C', 'O'})
            EXPECT_TRUE(press_key(code, keys)) << static_cast<char>(code);
        EXPECT_FALSE(c.wireframe);
        EXPECT_FALSE(c.white_background);
        EXPECT_EQ(c.label_mode, 0);
        EXPECT_EQ(f.landcurve_state, landcurve_not_defining);
    }
    // Super shows in no flag of the event: the held key itself counts.
    wxUIActionSimulator keyboard;
    keyboard.KeyDown(WXK_WINDOWS_LEFT);
    ASSERT_TRUE(gui_test::pump_until([] { return wxGetKeyState(WXK_WINDOWS_LEFT); }));
    EXPECT_TRUE(press_key('L'));
    keyboard.KeyUp(WXK_WINDOWS_LEFT);
    ASSERT_TRUE(gui_test::pump_until([] { return !wxGetKeyState(WXK_WINDOWS_LEFT); }));
    EXPECT_FALSE(c.wireframe);
    // Shift alone is no menu key.
    EXPECT_FALSE(press_key('L', shift));
    EXPECT_TRUE(c.wireframe);
}
