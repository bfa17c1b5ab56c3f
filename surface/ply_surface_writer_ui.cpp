#include "app/frame.h"
#include "surface/ply_surface_writer.h"

#include <wx/notebook.h>
#include <wx/slider.h>

void MyFrame::OnHRSave(wxCommandEvent&) { save_hr_surface(*this); }

void MyFrame::OnLRSave(wxCommandEvent&)
{
    LrSaveChoice choice;
    choice.registration_type = current_registration_type();
    choice.registration_page = control_notebook->GetSelection() == 0;
    choice.shape_model_loaded = ssm_component_slider->IsEnabled();
    choice.ssm_mode = ssm_mode_slider->GetValue();
    choice.ssm_component = ssm_component_slider->GetValue();
    save_lr_surface(*this, choice);
}
