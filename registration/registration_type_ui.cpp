// The "Registration" choice and "Reset".
#include "app/frame.h"
#include "registration/registration_iteration.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "surface/status_log.h"
#include "view/shading_mode.h"

#include <wx/choice.h>
#include <wx/radiobox.h>

int MyFrame::current_registration_type() const { return registration_choice->GetSelection(); }

bool MyFrame::shows_registration_error() const
{
    return shading_radiobox->GetSelection() == shading_registration_error;
}

void MyFrame::OnRegistrationType(wxCommandEvent& event)
{
    if (!select_registration_type(*this, event.GetInt()))
        return;
    if (shows_registration_error())
        establish_matches_and_display_alignment_error();
    else
        SetStatusText("", 0);
    Refresh();
}

void MyFrame::OnReset(wxCommandEvent&)
{
    // Nothing loaded: there is no pose to reset, and no registration that could go unsaved.
    if (lr_surface->vertex_count == 0) {
        log_status(no_surfaces_to_register_message);
        return;
    }
    reset_registration(*this, current_registration_type());
    establish_matches_and_display_alignment_error();
    Refresh();
}
