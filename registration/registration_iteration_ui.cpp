// The idle-driven registration run and the controls that steer matching during it: "Auto
// sequence", "Match rims", the search range and "Fussy %".
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/family_transform.h"
#include "registration/registration_iteration.h"
#include "surface/status_log.h"
#include "utilities/batch_file.h"
#include "view/gl_canvas.h"
#include "view/screenshot.h"

#include <wx/checkbox.h>
#include <wx/slider.h>

#include <algorithm>

namespace {

// Sets slider to position and hands handler the thumb-track event a user's drag would send.
void scroll_slider(MyFrame& frame, wxSlider* slider, int id, int position,
                   void (MyFrame::*handler)(wxScrollEvent&))
{
    slider->SetValue(position);
    wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, id, slider->GetValue());
    event.SetEventObject(slider);
    (frame.*handler)(event);
}

// What follows the end of a run: the next job of a batch, the end of a command-line batch (the
// window closes) or the released "Start" toggle. True when the next job was started: its
// preparation has painted the view (or left the paint due, for the next step to wait for).
bool go_on_after_run(MyFrame& frame, bool command_line_batch)
{
    if (frame.batch_running)
        frame.end_batch_job();
    if (frame.batch_running && frame.batch_job_index < frame.batch_job_count - 1) {
        ++frame.batch_job_index;
        frame.start_next_batch_job();
        return true;
    }
    // A close the user cancels (the quit question after an interactive run) releases "Start"
    // as without a batch file; the run would otherwise end again, and ask again, at every step.
    if (!command_line_batch || !frame.Close(false))
        frame.press_start(false);
    return false;
}

// Repaints the view after a step, at once. Only the view: the frame's other windows repaint
// themselves when their values change, and a refresh of the whole frame paints the view twice.
void repaint()
{
    main_canvas->Refresh(false);
    main_canvas->Update();
}

// The view turns by this many degrees about the vertical axis per review step.
constexpr double review_turn_degrees = 4.0;

// One step of the run. False when the step waits for the paint of a job's first picture: that
// paint wakes the event loop up itself.
bool run_step(MyFrame& frame, bool command_line_batch)
{
    const int type = frame.current_registration_type();
    const int lad_search_range = frame.search_range_slider->GetValue();
    const double lad_range_units = frame.range_units;

    if (main_canvas->redraw_pending)
        return main_canvas->finish_pending_redraw();
    if (frame.lr_surface->vertex_count == 0) {
        log_status(no_surfaces_to_register_message);
        frame.batch_outcome.job_failed = true;
        go_on_after_run(frame, command_line_batch);
        return true;
    }
    if (frame.batch_running && frame.batch_outcome.job_refused) {
        // The job said why when it was prepared; it saves nothing.
        go_on_after_run(frame, command_line_batch);
        return true;
    }

    const bool review = current_job_is_review(frame);
    if (frame.iterations_slider->GetValue() <= 0) {
        if (review && !main_canvas->save_canvas_image(wxString::FromUTF8(screenshot_file_name(
                                                          *frame.lr_surface, *frame.hr_surface)),
                                                      wxBITMAP_TYPE_PNG))
            frame.batch_outcome.job_failed = true;
    } else if (review) {
        Matrix4 turn;
        make_transform(turn, 0, 0, 0, 0, review_turn_degrees, 0);
        main_canvas->view_rotation = product(turn, main_canvas->view_rotation);
        ++frame.iteration_counter;
    } else {
        if (frame.auto_sequence_checkbox->GetValue()) {
            const std::int64_t k = frame.iteration_counter;
            scroll_slider(frame, frame.search_range_slider, id_search_range,
                          auto_sequence_search_range(k), &MyFrame::OnSearchRange);
            scroll_slider(frame, frame.fussy_slider, id_fussy, auto_sequence_fussy_percent(k),
                          &MyFrame::OnFussy);
        }
        std::int64_t matched = 0;
        const bool iterated = run_registration_iteration(
            frame, type, frame.match_controls(), frame.iterations_slider->GetValue(),
            lad_search_range, lad_range_units, &matched);
        // A job that matched nothing registered nothing: it still saves what it asks for
        // (the pose it started from), but it has failed.
        if (matched == 0 && frame.batch_running)
            note_job_failure(frame.batch_outcome, "no points within ICP distance threshold");
        if (!iterated) {
            // The model step refused to go on (the status line says why): the job ends unsaved,
            // and a batch goes on with its next job or ends as after its last one, so that an
            // unattended command-line batch never waits for a press that will not come.
            frame.batch_outcome.job_failed = true;
            if (!go_on_after_run(frame, command_line_batch))
                repaint();
            return true;
        }
    }

    const bool job_ends = frame.iterations_slider->GetValue() <= frame.iteration_counter;
    bool next_job_started = false;
    if (job_ends) {
        if (frame.batch_running && !frame.save_batch_job_results())
            frame.batch_outcome.job_failed = true;
        next_job_started = go_on_after_run(frame, command_line_batch);
    }
    // On a large pair the view may take longer to paint than a step to run: an ordinary step
    // leaves it as it is while painting is over its share of the time. The end of a job shows
    // its result, and every turn of a review job is a view of its own. A job that started the
    // next one leaves the view as that job's preparation has just painted it.
    if (next_job_started)
        return true;
    if (job_ends || review || !main_canvas->paint_budget.may_skip(paint_clock_seconds()))
        repaint();
    return true;
}

} // namespace

void MyApp::OnIdle(wxIdleEvent&)
{
    MyFrame& frame = *main_frame;
    // Every step that leaves the run going asks for the next idle event; nothing else would
    // bring one on an idle display. A run that ended has unbound this handler.
    if (run_step(frame, argc == 2) && frame.run_active())
        wxWakeUpIdle();
}

void MyFrame::OnAutoSequence(wxCommandEvent& event)
{
    if (event.GetInt() == 0)
        return;
    scroll_slider(*this, fussy_slider, id_fussy, auto_sequence_fussy_percents.front(),
                  &MyFrame::OnFussy);
    scroll_slider(*this, search_range_slider, id_search_range,
                  auto_sequence_search_ranges.front(), &MyFrame::OnSearchRange);
}

void MyFrame::OnMatchRims(wxCommandEvent&)
{
    mark_error_lists_out_of_date(list_dirty);
    lr_surface->match_range2 = -1.0;
    pair_landcurves();
    if (shows_registration_error())
        establish_matches_and_display_alignment_error();
    Refresh();
}

void MyFrame::OnSearchRange(wxScrollEvent&)
{
    mark_error_lists_out_of_date(list_dirty);
    // With "Fussy %" 0 only a grown range re-matches.
    if (fussy_slider->GetValue() != 0)
        lr_surface->match_range2 = -1.0;
    if (shows_registration_error())
        establish_matches_and_display_alignment_error();
    Refresh();
}

void MyFrame::OnFussy(wxScrollEvent& event)
{
    mark_error_lists_out_of_date(list_dirty);
    lr_surface->match_range2 = -1.0;
    if (shows_registration_error())
        establish_matches_and_display_alignment_error();
    if (event.GetPosition() == 0)
        std::fill(lr_surface->fussy.begin(), lr_surface->fussy.end(), 0);
    Refresh();
}
