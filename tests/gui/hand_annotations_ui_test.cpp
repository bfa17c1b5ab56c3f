// Landmarks and landcurves defined with the mouse are not lost: a name that would read back as
// something else is asked again, a pick made on one pair never lands on the next, and work not
// yet saved is asked about at Quit.
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "surface/annotation.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/view_input.h"
#include "tests/gui/view_test_support.h"
#include "tests/registration/pair_fixture.h"
#include "view/gl_canvas.h"
#include "view/landmark_definition.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/uiaction.h>

using gui_test::canvas;
using gui_test::click;
using gui_test::frame;
using gui_test::NameAnswer;
using gui_test::NameDialogSeen;
using gui_test::press_key;
using gui_test::shift;

namespace {

class HandAnnotations : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(reset()); }
    void TearDown() override { reset(); }

    static bool reset()
    {
        if (!gui_test::reset_view())
            return false;
        frame().picked_points.clear();
        frame().landcurve_state = landcurve_not_defining;
        return true;
    }

    // Spheres about the origin, the LR one in front, landmarks shown.
    static void show_spheres()
    {
        load_pair(frame(), icosphere(3, 20), icosphere(3, 10));
        frame().list_dirty.fill(true);
        canvas().zoom = 5.0;
        gui_test::tick(frame().landmarks_checkbox, true);
    }

    static int centre_x() { return canvas().client_width / 2; }
    static int centre_y() { return canvas().client_height / 2; }

    // A landmark picked at the centre (on the LR sphere), its dialog answered with `name`.
    static void define_landmark(const wxString& name)
    {
        NameDialogSeen seen;
        wxTEST_DIALOG(click(centre_x(), centre_y(), shift), NameAnswer(wxID_OK, name, &seen));
    }

    // Two points on the LR sphere collected with C.
    static void pick_landcurve_points()
    {
        press_key('C');
        click(centre_x(), centre_y(), shift);
        click(centre_x() + 20, centre_y(), shift);
        ASSERT_EQ(frame().picked_points.size(), 2u);
    }

    static void quit_answering(int answer, wxString* message)
    {
        wxString caption;
        wxCommandEvent quit(wxEVT_MENU, id_quit);
        wxTEST_DIALOG(frame().ProcessWindowEvent(quit),
                      gui_test::MessageAnswer(answer, message, &caption));
        EXPECT_EQ(caption, "Landmarks not saved");
    }
};

} // namespace

TEST_F(HandAnnotations, ANameThatWouldReadBackAsSomethingElseIsAskedAgain)
{
    MyFrame& f = frame();
    show_spheres();
    NameDialogSeen refused, again;
    wxTEST_DIALOG(click(centre_x(), centre_y(), shift),
                  NameAnswer(wxID_OK, "Knob SEMILANDMARK", &refused),
                  NameAnswer(wxID_OK, "Knob", &again));
    EXPECT_EQ(again.default_value, "Knob SEMILANDMARK"); // the refused text, to be corrected
    EXPECT_TRUE(again.message.StartsWith(refused_name_message(false))) << again.message;
    EXPECT_TRUE(again.message.EndsWith(refused.message)) << again.message;
    ASSERT_EQ(f.lr_surface->landmarks.size(), 1u);
    EXPECT_EQ(f.lr_surface->landmarks[0].name, "Knob");

    // CLOSED is refused for a curve only; a refused name then cancelled makes nothing.
    pick_landcurve_points();
    wxTEST_DIALOG(press_key('O'), NameAnswer(wxID_OK, "CLOSED door", &refused),
                  NameAnswer(wxID_CANCEL, "", &again));
    EXPECT_TRUE(f.lr_surface->landcurves.empty());
    EXPECT_EQ(gui_test::status_text(), wxString(refused_name_message(true)));
    pick_landcurve_points();
    wxTEST_DIALOG(press_key('O'), NameAnswer(wxID_OK, "Ridge\tLANDMARK", &refused),
                  NameAnswer(wxID_OK, "Ridge", &again));
    ASSERT_EQ(f.lr_surface->landcurves.size(), 1u);
    EXPECT_EQ(f.lr_surface->landcurves[0].name, "Ridge");
    define_landmark("CLOSED door");
    EXPECT_EQ(f.lr_surface->landmarks.back().name, "CLOSED door");
}

TEST_F(HandAnnotations, APickNamedWhileTheSurfacesChangeIsDropped)
{
    MyFrame& f = frame();
    show_spheres();
    // A batch loads its next pair while the dialog is open.
    const auto next_pair = [] { load_pair(frame(), icosphere(2, 20), icosphere(2, 10)); };
    NameDialogSeen seen;
    wxTEST_DIALOG(click(centre_x(), centre_y(), shift),
                  NameAnswer(wxID_OK, "tip", &seen, next_pair));
    EXPECT_TRUE(f.lr_surface->landmarks.empty());
    EXPECT_TRUE(f.hr_surface->landmarks.empty());
    EXPECT_EQ(gui_test::status_text(), "Landmark dropped: the surfaces changed while it was named");
    EXPECT_FALSE(f.hand_annotations_unsaved());

    show_spheres();
    pick_landcurve_points();
    wxTEST_DIALOG(press_key('O'), NameAnswer(wxID_OK, "ridge", &seen, next_pair));
    EXPECT_TRUE(f.lr_surface->landcurves.empty());
    EXPECT_TRUE(f.hr_surface->landcurves.empty());
    EXPECT_EQ(gui_test::status_text(),
              "Landcurve dropped: the surfaces changed while it was named");
    EXPECT_EQ(f.landcurve_state, landcurve_not_defining);
    EXPECT_TRUE(f.picked_points.empty());

    // Clearing counts as a change too.
    show_spheres();
    wxTEST_DIALOG(click(centre_x(), centre_y(), shift),
                  NameAnswer(wxID_OK, "tip", &seen, [] { frame().clear_surfaces(); }));
    EXPECT_TRUE(f.lr_surface->landmarks.empty());
}

TEST_F(HandAnnotations, UnsavedHandWorkIsAskedAboutAtQuitUntilItsSurfaceIsSaved)
{
    MyFrame& f = frame();
    TempDirectory dir;
    show_spheres();
    f.lr_surface->name = "lr";
    f.lr_surface->path_stem = dir.file("lr");
    f.hr_surface->name = "hr";
    f.hr_surface->path_stem = dir.file("hr");
    f.lr_surface->selected.assign(f.lr_surface->selected.size(), 1);
    define_landmark("tip");
    EXPECT_TRUE(f.lr_hand_annotations_unsaved);
    EXPECT_FALSE(f.hr_hand_annotations_unsaved);

    wxString message;
    quit_answering(wxID_CANCEL, &message);
    EXPECT_EQ(message, "Landmarks or landcurves defined by hand not saved.\nReally quit?");
    EXPECT_TRUE(f.IsShown());
    EXPECT_EQ(f.lr_surface->landmarks.size(), 1u);

    // Saving the other surface leaves the question; saving the one that holds it ends it.
    wxCommandEvent save_hr(wxEVT_MENU, id_save_hr_surface);
    f.ProcessWindowEvent(save_hr);
    EXPECT_TRUE(f.hand_annotations_unsaved());
    // Alt-L typed on the view, which holds the focus, reaches the menu.
    f.registration_choice->SetSelection(rigid);
    f.Raise();
    canvas().SetFocus();
    wxUIActionSimulator keyboard;
    keyboard.Char('l', wxMOD_ALT);
    EXPECT_TRUE(gui_test::pump_until([] {
        return gui_test::status_text() == "LR surface file saved";
    })) << gui_test::status_text();
    EXPECT_FALSE(canvas().wireframe);
    EXPECT_FALSE(f.hand_annotations_unsaved());

    // A curve on the HR surface (in front once the LR one is hidden).
    gui_test::tick(f.lr_checkbox, false);
    pick_landcurve_points();
    NameDialogSeen seen;
    wxTEST_DIALOG(press_key('O'), NameAnswer(wxID_OK, "rim", &seen));
    ASSERT_EQ(f.hr_surface->landcurves.size(), 1u);
    EXPECT_TRUE(f.hr_hand_annotations_unsaved);
    quit_answering(wxID_CANCEL, &message);
    EXPECT_TRUE(f.IsShown());
    f.ProcessWindowEvent(save_hr);
    EXPECT_EQ(gui_test::status_text(), "HR surface file saved");
    EXPECT_FALSE(f.hand_annotations_unsaved());
}
