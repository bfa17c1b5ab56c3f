// Run control, page changes, clearing all working state, the start-up batch and exit.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/gui/gui_test_support.h"
#include "view/gl_canvas.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/testing.h>
#include <wx/tglbtn.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

using gui_test::frame;
using gui_test::run_idle_binding_count;

namespace {

// Every test starts idle on the "Registration" page with empty surfaces.
class Shell : public gui_test::FrameTest {
protected:
    static void press_start_button(bool pressed)
    {
        frame().start_toggle->SetValue(pressed);
        gui_test::send_command(frame().start_toggle, wxEVT_TOGGLEBUTTON, pressed);
    }

    static void load_pair()
    {
        fill_surface(*frame().lr_surface, icosphere(1, 10.0));
        fill_surface(*frame().hr_surface, icosphere(2, 10.0));
    }
};

// Answers the quit question and remembers what it asked.
using QuitQuestion = gui_test::MessageAnswer;

} // namespace

TEST_F(Shell, StartBindsTheIterationOnceAndStopUnbindsIt)
{
    MyFrame& f = frame();
    press_start_button(true);
    EXPECT_EQ(f.start_toggle->GetLabel(), "Stop");
    EXPECT_EQ(f.iteration_counter, 0);
    EXPECT_EQ(run_idle_binding_count(), 1);

    // Pressing again from code while running (a batch does) must not bind a second time.
    f.iteration_counter = 7;
    f.press_start(true);
    EXPECT_TRUE(f.start_toggle->GetValue());
    EXPECT_EQ(f.iteration_counter, 0);
    EXPECT_EQ(run_idle_binding_count(), 1);

    f.auto_sequence_checkbox->SetValue(true);
    f.fussy_slider->SetValue(15);
    f.batch_running = true;
    press_start_button(false);
    EXPECT_EQ(f.start_toggle->GetLabel(), "Start");
    EXPECT_EQ(run_idle_binding_count(), 0);
    EXPECT_EQ(f.iteration_counter, -1);
    EXPECT_FALSE(f.batch_running);
    EXPECT_FALSE(f.auto_sequence_checkbox->GetValue());
    EXPECT_EQ(f.fussy_slider->GetValue(), 15); // the schedule's sliders stay where they are
    f.fussy_slider->SetValue(0);

    // A stop when nothing runs is harmless.
    f.press_start(false);
    EXPECT_EQ(run_idle_binding_count(), 0);
    EXPECT_FALSE(f.start_toggle->GetValue());
}

TEST_F(Shell, StopBeforeAnyIterationLeavesTheStatusLine)
{
    MyFrame& f = frame();
    load_pair();
    f.SetStatusText("Loaded two surfaces", 0);
    press_start_button(true);
    press_start_button(false);
    EXPECT_EQ(gui_test::status_text(0), "Loaded two surfaces");
}

TEST_F(Shell, UtilitiesPageEndsTheRunAndRestoresTheSelectionsOnReturn)
{
    MyFrame& f = frame();
    load_pair();
    f.current_transform[12] = 5.0;
    f.mouse_radiobox->SetSelection(1);
    f.shading_radiobox->SetSelection(2);
    f.press_start(true);
    f.SetStatusText("Iteration 3", 0);

    f.control_notebook->SetSelection(1);
    EXPECT_EQ(run_idle_binding_count(), 0);
    EXPECT_FALSE(f.start_toggle->GetValue());
    EXPECT_EQ(f.mouse_radiobox->GetSelection(), 0);
    EXPECT_EQ(f.shading_radiobox->GetSelection(), 0);
    EXPECT_EQ(f.current_transform[12], 0.0);
    EXPECT_EQ(f.lr_surface->shown, ShownShape::deformed);
    EXPECT_EQ(gui_test::status_text(0), "");

    f.list_dirty[dirty_lr_plain] = false;
    f.control_notebook->SetSelection(0);
    EXPECT_EQ(f.mouse_radiobox->GetSelection(), 1);
    EXPECT_EQ(f.shading_radiobox->GetSelection(), 2);
    EXPECT_EQ(f.lr_surface->shown, ShownShape::as_read); // "Rigid" shows the surface as read
    EXPECT_TRUE(f.list_dirty[dirty_lr_plain]);
    EXPECT_EQ(gui_test::status_text(0), "");

    // Coming back to "Registration error" shading reports the error again (this pair has no
    // vertex grid, so nothing matches).
    f.shading_radiobox->SetSelection(3);
    f.control_notebook->SetSelection(1);
    f.control_notebook->SetSelection(0);
    EXPECT_EQ(f.shading_radiobox->GetSelection(), 3);
    EXPECT_EQ(gui_test::status_text(0), "No points within ICP distance threshold");
    f.mouse_radiobox->SetSelection(0);
    f.shading_radiobox->SetSelection(0);
}

TEST_F(Shell, UtilitiesPageShowsTheShapeModelMean)
{
    MyFrame& f = frame();
    load_pair();
    const auto count = static_cast<std::size_t>(f.lr_surface->vertex_count);
    f.ssm_mode_count = 1;
    f.ssm_mean.assign(3 * count, 0.5f);
    f.ssm_component_slider->Enable();
    f.ssm_component_slider->SetValue(40);

    f.control_notebook->SetSelection(1);
    EXPECT_EQ(f.ssm_component_slider->GetValue(), 0);
    EXPECT_EQ(f.lr_surface->deformed_positions[count - 1].z, 0.5);
    EXPECT_EQ(f.lr_surface->positions[count - 1].z, icosphere(1, 10.0).positions.back().z);
}

TEST_F(Shell, PageEventsWhileTheFrameIsBuiltAreIgnored)
{
    MyFrame& f = frame();
    wxChoice* choice = f.registration_choice;
    f.registration_choice = nullptr;
    wxBookCtrlEvent event(wxEVT_NOTEBOOK_PAGE_CHANGED, id_notebook, 1, 0);
    f.current_transform[12] = 3.0;
    f.OnPageChanged(event);
    f.registration_choice = choice;
    EXPECT_EQ(f.current_transform[12], 3.0);
}

TEST_F(Shell, ClearingDeletesDisplayListsEvenRightAfterAResize)
{
    MyFrame& f = frame();
    ASSERT_TRUE(gui_test::wait_for_gl_ready());
    load_pair();
    ASSERT_TRUE(gui_test::canvas().make_current());
    const GLuint first = glGenLists(14);
    ASSERT_NE(first, 0u);
    GLuint id = first;
    for (Surface& s : f.surfaces) {
        for (std::uint32_t* list :
             {&s.shading_list, &s.selection_list, &s.error_list, &s.abs_error_list,
              &s.signed_error_list, &s.data_list, &s.curvature_list}) {
            glNewList(id, GL_COMPILE);
            glEndList();
            *list = id++;
        }
    }
    // Between a size event and the next paint the viewport is not set.
    gui_test::canvas().viewport_set = false;
    f.clear_surfaces();

    ASSERT_TRUE(gui_test::canvas().make_current());
    for (GLuint list = first; list < first + 14; ++list)
        EXPECT_FALSE(glIsList(list)) << list;
    for (const Surface& s : f.surfaces) {
        EXPECT_EQ(s.shading_list + s.selection_list + s.error_list + s.abs_error_list +
                      s.signed_error_list + s.data_list + s.curvature_list,
                  0u);
        EXPECT_EQ(s.vertex_count, 0);
        EXPECT_TRUE(s.positions.empty());
    }
    EXPECT_EQ(gui_test::status_text(1), "No surfaces loaded");
}

TEST_F(Shell, ClearingRemovesTheShapeModelAndItsChoiceItem)
{
    MyFrame& f = frame();
    struct Case {
        int selected;
        int selected_after;
    };
    for (const Case c : {Case{11, 0}, Case{5, 5}}) {
        f.ssm_mode_count = 3;
        f.ssm_component_slider->Enable();
        f.ssm_mode_slider->Enable();
        f.animate_toggle->Enable();
        f.ssm_component_slider->SetValue(-20);
        f.ssm_mode_slider->SetValue(3);
        f.registration_choice->Append("Similarity + SSM", reinterpret_cast<void*>(11));
        f.registration_choice->SetSelection(c.selected);

        f.clear_surfaces();
        EXPECT_EQ(f.registration_choice->GetCount(), 11u);
        EXPECT_EQ(f.registration_choice->GetSelection(), c.selected_after);
        EXPECT_EQ(f.ssm_mode_count, 0);
        EXPECT_EQ(f.ssm_component_slider->GetValue(), 0);
        EXPECT_EQ(f.ssm_mode_slider->GetValue(), 1);
        EXPECT_FALSE(f.ssm_component_slider->IsEnabled());
        EXPECT_FALSE(f.ssm_mode_slider->IsEnabled());
        EXPECT_FALSE(f.animate_toggle->IsEnabled());
    }
    f.registration_choice->SetSelection(0);
}

TEST_F(Shell, ClearingStopsAnInteractiveRunButNotABatch)
{
    MyFrame& f = frame();
    f.press_start(true);
    f.registration_unsaved = true;
    f.clear_surfaces();
    EXPECT_EQ(run_idle_binding_count(), 0);
    EXPECT_FALSE(f.start_toggle->GetValue());
    EXPECT_FALSE(f.registration_unsaved);

    f.press_start(true);
    f.batch_running = true;
    f.clear_surfaces();
    EXPECT_EQ(run_idle_binding_count(), 1);
    EXPECT_TRUE(f.start_toggle->GetValue());
    EXPECT_EQ(f.iteration_counter, -1); // the next job sets it again
}

TEST_F(Shell, QuitAsksAboutAnUnsavedRegistrationAndCancelKeepsTheWindow)
{
    MyFrame& f = frame();
    f.registration_unsaved = true;
    load_pair();
    wxString message, caption;
    wxCommandEvent quit(wxEVT_MENU, id_quit);
    wxTEST_DIALOG(f.ProcessWindowEvent(quit), QuitQuestion(wxID_CANCEL, &message, &caption));
    EXPECT_EQ(message, "Current registration not saved.\nReally quit?");
    EXPECT_EQ(caption, "Registration not saved");
    EXPECT_TRUE(f.IsShown());
    EXPECT_FALSE(f.IsBeingDeleted());
    EXPECT_TRUE(f.registration_unsaved);
    EXPECT_NE(f.lr_surface->vertex_count, 0);
}

using ShellDeathTest = Shell;

struct CloseCase {
    const char* what;
    bool unsaved;
    bool hand_defined; // a landmark defined by hand, not saved
    bool batch;
    bool can_veto;
    int answer; // wxID_NONE: no question may be asked
};

// Closes the frame as in `c`; returns only when the process did not end.
void close_frame(const CloseCase& c)
{
    MyFrame& f = frame();
    f.registration_unsaved = c.unsaved;
    f.hr_hand_annotations_unsaved = c.hand_defined;
    f.batch_running = c.batch;
    wxCloseEvent close(wxEVT_CLOSE_WINDOW, f.GetId());
    close.SetEventObject(&f);
    close.SetCanVeto(c.can_veto);
    wxString message, caption;
    if (c.answer == wxID_NONE)
        f.ProcessWindowEvent(close); // an unexpected question is cancelled: no exit
    else
        wxTEST_DIALOG(f.ProcessWindowEvent(close), QuitQuestion(c.answer, &message, &caption));
    std::fprintf(stderr, "still running\n");
    std::_Exit(3);
}

// Starts up as with a batch file that cannot be opened, the view not yet set up; returns only
// when the process did not end.
void start_up_with_missing_batch_file()
{
    MyApp& app = wxGetApp();
    const char* arguments[] = {"kelvorand", "/nonexistent/jobs.run"};
    app.argc = 2;
    app.argv.Init(2, const_cast<char**>(arguments));
    gui_test::canvas().gl_ready = false;
    gui_test::canvas().viewport_set = false;
    app.Bind(wxEVT_IDLE, &MyApp::OnStartupIdle, &app);
    wxIdleEvent idle;
    app.OnStartupIdle(idle); // not ready yet: stays bound, no batch
    if (gui_test::status_text(0) == "Could not open batch file") {
        std::fprintf(stderr, "the batch started before the view was set up\n");
        std::_Exit(3);
    }
    gui_test::pump_until([] { return false; });
    std::fprintf(stderr, "still running\n");
    std::_Exit(3);
}

TEST_F(ShellDeathTest, AStartupBatchWaitsForTheViewAndEndsTheProcessWhenItCannotStart)
{
    // Nobody may be watching the window: the reason goes to standard error with the file.
    EXPECT_EXIT(start_up_with_missing_batch_file(), testing::ExitedWithCode(1),
                "Could not open batch file: /nonexistent/jobs.run");
}

TEST_F(ShellDeathTest, CloseEndsTheProcessWithStatusZero)
{
    const CloseCase cases[] = {
        {"saved", false, false, false, true, wxID_NONE},
        {"unsaved, answered OK", true, false, false, true, wxID_OK},
        {"unsaved during a batch", true, false, true, true, wxID_NONE},
        {"unsaved, session ending", true, false, false, false, wxID_NONE},
        {"hand-defined landmark, answered OK", false, true, false, true, wxID_OK},
        {"hand-defined landmark during a batch", false, true, true, true, wxID_NONE},
        {"hand-defined landmark, session ending", false, true, false, false, wxID_NONE},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(close_frame(c), testing::ExitedWithCode(0), "");
    }
}
