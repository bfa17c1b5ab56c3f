#include "app/frame.h"
#include "surface/ply_surface_writer.h"

#include <wx/notebook.h>
#include <wx/slider.h>

// A saved surface holds the landmarks and landcurves defined on it by hand.
void MyFrame::OnHRSave(wxCommandEvent&)
{
    if (save_hr_surface(*this))
        hr_hand_annotations_unsaved = false;
}

void MyFrame::OnLRSave(wxCommandEvent&)
{
    LrSaveChoice choice;
    choice.registration_type = current_registration_type();
    choice.registration_page = control_notebook->GetSelection() == 0;
    choice.shape_model_loaded = ssm_component_slider->IsEnabled();
    choice.ssm_mode = ssm_mode_slider->GetValue();
    choice.ssm_component = ssm_component_slider->GetValue();
    if (save_lr_surface(*this, choice))
        lr_hand_annotations_unsaved = false;
}
