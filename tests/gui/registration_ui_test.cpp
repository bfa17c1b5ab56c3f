// A registration run through the frame: the search-range units, the registration choice, the
// matching controls and Start with the idle-driven iterations.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/gui/gui_test_support.h"
#include "tests/registration/pair_fixture.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/tglbtn.h>

using gui_test::frame;

namespace {

class Registration : public gui_test::FrameTest {
protected:
    // The bone as HR and the bone turned a little as LR, loaded the way the loader leaves them.
    static void load_moved_bone()
    {
        MyFrame& f = frame();
        Matrix4 turn;
        make_transform(turn, 1.0, -0.5, 0.8, 2.0, -1.5, 1.0);
        const Mesh bone = procedural_bone(0);
        load_pair(f, transformed_mesh(bone, turn), bone);
        f.build_vertex_grid();
        f.rigid_transform = f.similarity_transform = f.affine_transform = f.aspect_transform =
            identity_matrix();
        f.current_transform = identity_matrix();
    }

    static void choose_type(int type)
    {
        frame().registration_choice->SetSelection(type);
        gui_test::send_command(frame().registration_choice, wxEVT_CHOICE, type);
    }

    static void press_start_button()
    {
        frame().start_toggle->SetValue(true);
        gui_test::send_command(frame().start_toggle, wxEVT_TOGGLEBUTTON, 1);
    }

    static bool wait_for_stop()
    {
        return gui_test::pump_until([] { return !frame().start_toggle->GetValue(); },
                                    std::chrono::seconds(60));
    }

    static double mean_error()
    {
        MyFrame& f = frame();
        f.lr_surface->match_range2 = -1.0;
        f.establish_matches_and_display_alignment_error();
        double sum = 0.0;
        int count = 0;
        const double r2 = f.search_range2();
        for (const double d2 : f.lr_surface->match_distance2)
            if (r2 > d2) {
                sum += std::sqrt(d2);
                ++count;
            }
        return count > 0 ? sum / count : 1e10;
    }
};

} // namespace

TEST_F(Registration, GridUnitsRelabelAndRescaleTheSearchRangeSlider)
{
    MyFrame& f = frame();
    struct Case {
        double size; // largest extent, mm
        const char* label;
        int maximum;
        int value; // slider value after the grid was built (100 before)
    };
    const Case cases[] = {
        {100.0, "Search range (x0.1 mm)", 242, 100},
        {10.0, "Search range (x0.01 mm)", 242, 100},
        {30.0, "Search range (x0.1 mm)", 72, 72}, // the value is pulled down to the maximum
        {10000.0, "Search range (x10 mm)", 242, 100},
    };
    for (const Case& c : cases) {
        gui_test::reset_frame();
        const Mesh grid = flat_grid(c.size, 4);
        load_pair(f, grid, grid);
        f.build_vertex_grid();
        EXPECT_EQ(f.search_range_label->GetLabel(), c.label) << c.size;
        EXPECT_EQ(f.search_range_slider->GetMax(), c.maximum) << c.size;
        EXPECT_EQ(f.search_range_slider->GetValue(), c.value) << c.size;
    }
}

TEST_F(Registration, ChoiceSelectsTheShownShapeAndReportsInErrorShading)
{
    MyFrame& f = frame();
    load_moved_bone();
    choose_type(similarity_ffd);
    EXPECT_EQ(f.lr_surface->shown, ShownShape::deformed);
    EXPECT_EQ(f.current_ffd_grid, &f.similarity_ffd_grid);
    EXPECT_EQ(gui_test::status_text(0), "");

    f.shading_radiobox->SetSelection(shading_registration_error);
    choose_type(affine);
    EXPECT_EQ(f.lr_surface->shown, ShownShape::as_read);
    EXPECT_TRUE(gui_test::status_text(0).StartsWith("Registration error is "))
        << gui_test::status_text(0);
}

TEST_F(Registration, StartRegistersOneIterationPerIdleEventUntilTheCount)
{
    MyFrame& f = frame();
    load_moved_bone();
    const double before = mean_error();
    f.iterations_slider->SetValue(8);
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    EXPECT_EQ(f.iteration_counter, -1);
    EXPECT_EQ(gui_test::run_idle_binding_count(), 0);
    // Releasing shows the final error for the counter the run reached.
    EXPECT_TRUE(gui_test::status_text(0).StartsWith("Iteration 8, error is "))
        << gui_test::status_text(0);
    EXPECT_TRUE(gui_test::status_text(0).EndsWith(" points"));
    EXPECT_TRUE(f.registration_unsaved);
    EXPECT_LT(mean_error(), before / 4);
    EXPECT_EQ(f.rigid_transform.m, f.current_transform.m);

    // "Reset" puts the default pose (the identity for this pair) back.
    f.SetStatusText("", 0);
    gui_test::send_command(f.FindWindow(id_reset), wxEVT_BUTTON, 0);
    EXPECT_EQ(f.rigid_transform.m, identity_matrix().m);
    EXPECT_TRUE(gui_test::status_text(0).StartsWith("Registration error is "));
}

TEST_F(Registration, AutoSequenceDrivesTheSlidersDuringARun)
{
    MyFrame& f = frame();
    load_moved_bone();
    f.auto_sequence_checkbox->SetValue(true);
    gui_test::send_command(f.auto_sequence_checkbox, wxEVT_CHECKBOX, 1);
    EXPECT_EQ(f.fussy_slider->GetValue(), 15);
    EXPECT_EQ(f.search_range_slider->GetValue(), 60);

    f.iterations_slider->SetValue(3);
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    // Before iteration 2 the schedule set 50 and 10; the stop unticks the box and leaves them.
    EXPECT_EQ(f.search_range_slider->GetValue(), 50);
    EXPECT_EQ(f.fussy_slider->GetValue(), 10);
    EXPECT_FALSE(f.auto_sequence_checkbox->GetValue());
    // Some vertices were flagged fussy; moving "Fussy %" to 0 clears every flag at once.
    const auto& flags = f.lr_surface->fussy;
    EXPECT_GT(std::count(flags.begin(), flags.end(), 1), 0);
    f.fussy_slider->SetValue(0);
    wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, id_fussy, 0);
    f.fussy_slider->GetEventHandler()->ProcessEvent(event);
    EXPECT_EQ(std::count(flags.begin(), flags.end(), 1), 0);
}

TEST_F(Registration, WithoutSurfacesARunEndsAtOnce)
{
    MyFrame& f = frame();
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    EXPECT_EQ(gui_test::status_text(0), "No surfaces to register");
    EXPECT_EQ(gui_test::run_idle_binding_count(), 0);
    EXPECT_FALSE(f.registration_unsaved);
}

// With nothing loaded there is no pose to reset or carry over: both buttons say so and change
// no transform, and no registration becomes unsaved for Quit or a load to ask about.
TEST_F(Registration, WithoutSurfacesResetAndAspectToSimilarityChangeNothing)
{
    MyFrame& f = frame();
    Matrix4 stretched;
    make_transform(stretched, 1.0, 2.0, 3.0, 10.0, 20.0, 30.0);
    for (int e : {0, 1, 2})
        stretched[e] *= 2.0; // not a similarity: a carried-over pose would differ
    for (const int button : {id_reset, id_aspect_to_similarity}) {
        for (const int type : {similarity, similarity_ffd, similarity_tps, aspect}) {
            SCOPED_TRACE(testing::Message() << "button " << button << ", type " << type);
            choose_type(type);
            f.aspect_transform = stretched;
            const Matrix4 similarity_before = f.similarity_transform;
            gui_test::send_command(f.FindWindow(button), wxEVT_BUTTON, 0);
            EXPECT_EQ(gui_test::status_text(0), "No surfaces to register");
            EXPECT_FALSE(f.registration_unsaved);
            EXPECT_EQ(f.similarity_transform.m, similarity_before.m);
            EXPECT_EQ(f.aspect_transform.m, stretched.m);
        }
    }
}

TEST_F(Registration, LocalAffineRunDeformsTheLrShapeAndResetTakesItBack)
{
    MyFrame& f = frame();
    load_moved_bone();
    f.lad_radius = 10.0;
    choose_type(affine_lad);
    const double before = mean_error();
    f.iterations_slider->SetValue(4);
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    EXPECT_TRUE(gui_test::status_text(0).StartsWith("Iteration 4, error is "))
        << gui_test::status_text(0);
    EXPECT_TRUE(f.result_unsaved[result_affine_lad]);
    EXPECT_EQ(f.affine_transform.m, identity_matrix().m) << "the family pose stays";
    EXPECT_LT(mean_error(), before / 2);
    const Surface& lr = *f.lr_surface;
    EXPECT_NE(lr.aff_lad_positions[0].x, lr.positions[0].x);
    EXPECT_EQ(lr.deformed_positions[0].x, lr.aff_lad_positions[0].x);

    gui_test::send_command(f.FindWindow(id_reset), wxEVT_BUTTON, 0);
    EXPECT_EQ(lr.aff_lad_positions[0].x, lr.positions[0].x);
    EXPECT_EQ(f.lad_refresh_counter, 0);
}

TEST_F(Registration, AnFfdRunDeformsOnlyItsOwnFamilysGrid)
{
    MyFrame& f = frame();
    load_moved_bone();
    const FfdGrid lattice = f.aspect_ffd_grid;
    choose_type(aspect_ffd);
    const double before = mean_error();
    f.iterations_slider->SetValue(3);
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    EXPECT_TRUE(gui_test::status_text(0).StartsWith("Iteration 3, error is "))
        << gui_test::status_text(0);
    EXPECT_LT(mean_error(), before);
    EXPECT_EQ(f.current_ffd_grid, &f.aspect_ffd_grid);
    EXPECT_NE(f.aspect_ffd_grid.values, lattice.values);
    EXPECT_EQ(f.similarity_ffd_grid.values, lattice.values);
    EXPECT_EQ(f.affine_ffd_grid.values, lattice.values);
    EXPECT_EQ(f.aspect_transform.m, identity_matrix().m); // the pose is not fitted
    EXPECT_EQ(f.lr_surface->shown, ShownShape::deformed);

    // Back to "Aspect": the LR surface that is saved and mapped is the shape as read again.
    choose_type(aspect);
    const Surface& lr = *f.lr_surface;
    EXPECT_EQ(lr.shown, ShownShape::as_read);
    ASSERT_EQ(lr.deformed_positions.size(), lr.positions.size());
    for (std::size_t i = 0; i < lr.positions.size(); ++i)
        ASSERT_EQ(squared_distance(lr.deformed_positions[i], lr.positions[i]), 0.0) << i;
}

TEST_F(Registration, ThinPlateSplineRunCarriesTheLandmarksOntoTheirPartners)
{
    // Six vertices named alike on the turned and the original bone: the spline undoes the
    // turn, so the warped LR surface lies on the HR one. A landmark added twice then stops the
    // next run at its first step, and the reason stays in the status line.
    MyFrame& f = frame();
    load_moved_bone();
    const std::size_t n = f.lr_surface->positions.size();
    for (std::size_t k = 0; k < 6; ++k) {
        const std::size_t v = k * (n - 1) / 5;
        Landmark landmark;
        landmark.name = std::to_string(v);
        landmark.position = f.lr_surface->positions[v];
        f.lr_surface->landmarks.push_back(landmark);
        landmark.position = f.hr_surface->positions[v];
        f.hr_surface->landmarks.push_back(landmark);
    }
    f.pair_landmarks();
    choose_type(similarity_tps);
    const double before = mean_error();
    f.iterations_slider->SetValue(2);
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    EXPECT_TRUE(gui_test::status_text(0).StartsWith("Iteration 2, error is "));
    EXPECT_TRUE(f.result_unsaved[result_similarity_tps]);
    EXPECT_GT(before, 0.5);
    EXPECT_LT(mean_error(), 1e-6);

    f.lr_surface->landmarks.push_back(f.lr_surface->landmarks[0]);
    f.lr_surface->landmarks.back().name = "again";
    f.hr_surface->landmarks.push_back(f.hr_surface->landmarks[1]);
    f.hr_surface->landmarks.back().name = "again";
    f.pair_landmarks();
    const std::vector<Point3> warped = f.lr_surface->sim_tps_positions;
    press_start_button();
    ASSERT_TRUE(wait_for_stop());
    EXPECT_EQ(gui_test::status_text(0), "Repeated LR landmarks");
    EXPECT_EQ(gui_test::run_idle_binding_count(), 0);
    EXPECT_TRUE(same_points(f.lr_surface->sim_tps_positions, warped));
}
