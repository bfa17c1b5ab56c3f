// The "SSM" box of the "Utilities" page: the mode and component sliders that show the shape
// model, and "Animate and save", which walks through the modes and saves a picture per step.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "surface/c_locale.h"
#include "utilities/shape_model.h"
#include "view/gl_canvas.h"

#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/tglbtn.h>
#include <wx/utils.h>

#include <cstdint>

namespace {

// Animation runs of this process: the number of the latest run (pictures carry it, so a second
// run does not overwrite the first), whether one is running, and a request to stop it.
int animation_run = 0;
bool animation_running = false;
bool animation_stop = false;

constexpr int utilities_page = 1;
constexpr int first_component = -100;
constexpr int last_component = 100;
constexpr int component_step = 10;

} // namespace

void MyFrame::show_shape_model_controls()
{
    if (!ssm_component_slider->IsEnabled()) {
        ssm_component_slider->Enable();
        ssm_mode_slider->Enable();
        animate_toggle->Enable();
        registration_choice->Append(registration_type_labels[similarity_ssm],
                                    reinterpret_cast<void*>(std::intptr_t{similarity_ssm}));
    }
    ssm_mode_slider->SetRange(ssm_mode_slider->GetMin(), static_cast<int>(ssm_mode_count));
}

void MyFrame::show_ssm_mean()
{
    ssm_component_slider->SetValue(0);
    if (show_shape_model_mean(*this))
        Refresh(true);
}

void MyFrame::OnSSMComponent(wxScrollEvent& event)
{
    if (!ssm_component_slider->IsEnabled())
        return;
    if (show_shape_on_mode(*this, ssm_mode_slider->GetValue(), event.GetPosition()))
        Refresh(true);
}

void MyFrame::OnSSMMode(wxScrollEvent&)
{
    // A position on another mode would mean nothing: back to the mean, where all modes meet.
    if (ssm_component_slider->GetValue() != 0)
        show_ssm_mean();
}

void MyFrame::OnSSMAnimate(wxCommandEvent&)
{
    if (animation_running) {
        // Pressed again while the run yields: the run ends at its next check.
        animation_stop = true;
        return;
    }
    ++animation_run;
    animation_running = true;
    animate_toggle->SetValue(true);

    // Every check sees what the events handled meanwhile changed: another page, a model with
    // fewer modes, or no model at all end the run.
    const int last_mode = ssm_mode_slider->GetValue();
    for (int mode = 1; mode <= last_mode && !animation_stop; ++mode) {
        for (int component = first_component; component <= last_component;
             component += component_step) {
            if (control_notebook->GetSelection() != utilities_page ||
                ssm_mode_slider->GetMax() < mode || !ssm_component_slider->IsEnabled())
                animation_stop = true;
            if (!animation_stop) {
                ssm_mode_slider->SetValue(mode);
                if (ssm_component_slider->GetValue() != 0)
                    show_ssm_mean();
                ssm_component_slider->SetValue(component);
                wxScrollEvent step(wxEVT_SCROLL_THUMBTRACK, id_ssm_component, component);
                step.SetEventObject(ssm_component_slider);
                OnSSMComponent(step);
                main_canvas->redraw_pending = true;
            }
            while (main_canvas->redraw_pending && !animation_stop) {
                main_canvas->update_frame_painting_view_once(*this);
                wxTheApp->Yield(true);
                if (control_notebook->GetSelection() != utilities_page)
                    animation_stop = true;
                else if (main_canvas->redraw_pending)
                    wxMilliSleep(1); // no paint yet: leave the processor to the display
            }
            if (animation_stop)
                break;
            const std::string name =
                lr_surface->path_stem + "-ssm_" +
                c_format("%d_%d_%d", animation_run, ssm_mode_slider->GetValue(),
                         ssm_component_slider->GetValue()) +
                ".png";
            main_canvas->save_canvas_image(wxString::FromUTF8(name), wxBITMAP_TYPE_PNG);
        }
    }
    animation_running = false;
    animation_stop = false;
    animate_toggle->SetValue(false);
}
