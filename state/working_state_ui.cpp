// Clearing all working state, the "Start"/"Stop" run, page changes and exit.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "surface/pair_read_ahead.h"
#include "surface/status_log.h"
#include "utilities/batch_outcome.h"
#include "utilities/shape_model.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/tglbtn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

const char load_question[] = "Really load another surface file?";

namespace {

// The "Mouse" and "Surface shading" selections of the "Registration" page while "Utilities"
// shows.
int remembered_mouse_mode = 0;
int remembered_shading_mode = 0;

// "Similarity + SSM" is the twelfth item while a shape model is loaded.
constexpr unsigned int ssm_item = similarity_ssm;

// Asks whether the unsaved work that `what` names may be given up for `action`; false when the
// user cancels.
bool may_give_up(wxWindow* parent, const wxString& what, const wxString& action,
                 const wxString& caption)
{
    wxMessageDialog question(parent, what + "\n" + action, caption, wxOK | wxCANCEL | wxICON_ERROR);
    return question.ShowModal() != wxID_CANCEL;
}

} // namespace

void MyFrame::clear_surfaces()
{
    SetStatusText("No surfaces loaded", 1);
    // The shape-model controls work only while a model is loaded; the frame's constructor
    // relies on this to start with them disabled.
    ssm_component_slider->SetValue(0);
    ssm_mode_slider->SetValue(1);
    ssm_component_slider->Disable();
    ssm_mode_slider->Disable();
    animate_toggle->Disable();
    if (registration_choice->GetCount() > ssm_item) {
        const int selection = registration_choice->GetSelection();
        registration_choice->Delete(ssm_item);
        registration_choice->SetSelection(selection == static_cast<int>(ssm_item) ? 0 : selection);
    }
    for (Surface& surface : surfaces)
        main_canvas->delete_display_lists(surface);
    clear_working_data();
    if (run_active() && !batch_running)
        press_start(false);
    iteration_counter = -1;
    main_canvas->Refresh(true);
}

void MyFrame::press_start(bool pressed)
{
    start_toggle->SetValue(pressed);
    wxCommandEvent event(wxEVT_TOGGLEBUTTON, id_start);
    event.SetInt(pressed ? 1 : 0);
    OnStartStop(event);
}

void MyFrame::OnStartStop(wxCommandEvent& event)
{
    if (event.GetInt() != 0) {
        iteration_counter = 0;
        start_toggle->SetLabel("Stop");
        if (registration_choice->GetSelection() == similarity_tps &&
            rims_radiobox->GetSelection() == rims_to_rims && !rims_paired)
            pair_landcurves();
        wxGetApp().bind_run_idle();
        return;
    }
    start_toggle->SetLabel("Start");
    wxGetApp().unbind_run_idle();
    if (lr_surface->vertex_count != 0 && iteration_counter > 0)
        establish_matches_and_display_alignment_error();
    if (auto_sequence_checkbox->GetValue())
        auto_sequence_checkbox->SetValue(false);
    // A batch ends on how it went, after the last iteration's line.
    if (batch_running)
        log_status(batch_end_message(batch_outcome, batch_job_index, batch_job_count));
    iteration_counter = -1;
    batch_running = false;
    // The last steps of the run may have left the view unpainted to save time.
    main_canvas->Refresh(false);
    // After a batch the active target is its log chain; status messages go to the window only.
    delete wxLog::SetActiveTarget(new wxLogGui);
    if (batch_log.IsOpened())
        batch_log.Close();
}

void MyFrame::OnPageChanged(wxBookCtrlEvent& event)
{
    if (registration_choice == nullptr)
        return; // the pages are being added while the frame is built
    if (event.GetSelection() != 0) {
        remembered_mouse_mode = mouse_radiobox->GetSelection();
        remembered_shading_mode = shading_radiobox->GetSelection();
        mouse_radiobox->SetSelection(mouse_viewpoint);
        shading_radiobox->SetSelection(shading_plain);
        current_transform = identity_matrix();
        if (ssm_component_slider->IsEnabled()) {
            ssm_component_slider->SetValue(0);
            show_shape_model_mean(*this);
        }
        if (lr_surface->vertex_count != 0)
            lr_surface->shown = ShownShape::deformed;
        if (run_active())
            press_start(false);
        SetStatusText("", 0);
    } else {
        const int type = registration_choice->GetSelection();
        if ((type == rigid || type == similarity || type == affine || type == aspect) &&
            lr_surface->vertex_count != 0)
            lr_surface->shown = ShownShape::as_read;
        shading_radiobox->SetSelection(remembered_shading_mode);
        mouse_radiobox->SetSelection(remembered_mouse_mode);
        restore_current_transform();
        update_deformed_positions();
        if (remembered_shading_mode == shading_registration_error)
            establish_matches_and_display_alignment_error();
        else
            SetStatusText("", 0);
    }
    list_dirty[dirty_lr_plain] = true;
    Refresh(true);
}

bool MyFrame::may_discard_work(const wxString& action)
{
    if (batch_running)
        return true;
    if (registration_unsaved &&
        !may_give_up(this, "Current registration not saved.", action, "Registration not saved"))
        return false;
    return !hand_annotations_unsaved() ||
           may_give_up(this, "Landmarks or landcurves defined by hand not saved.", action,
                       "Landmarks not saved");
}

void MyFrame::OnQuit(wxCommandEvent&) { Close(false); }

void MyFrame::OnClose(wxCloseEvent& event)
{
    // A close that cannot be vetoed (the session ends) must not wait for an answer, nor may the
    // close that ends a batch.
    if (event.CanVeto() && !may_discard_work("Really quit?")) {
        event.Veto();
        return;
    }
    clear_surfaces();
    Destroy();
    // A command-line batch tells by its exit status whether all its jobs went well, and where
    // to read why when some did not.
    const int status = wxGetApp().argc == 2 ? batch_exit_status(batch_outcome) : 0;
    if (status == exit_batch_job_failed)
        std::fprintf(stderr, "%s\n",
                     failed_jobs_summary(batch_outcome.failed_jobs, batch_job_count,
                                         batch_log.GetName().utf8_str().data())
                         .c_str());
    finish_reading_ahead();
    std::exit(status);
}
