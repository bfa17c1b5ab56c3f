#include "view/landmark_definition_ui.h"

#include "surface/annotation.h"
#include "surface/status_log.h"

#include <wx/textdlg.h>

bool ask_annotation_name(wxWindow* parent, const wxString& prompt, const wxString& caption,
                         const wxString& proposal, bool curve, std::string& name)
{
    wxString message = prompt;
    wxString value = proposal;
    for (;;) {
        wxTextEntryDialog dialog(parent, message, caption, value, wxOK | wxCANCEL | wxCENTRE);
        if (dialog.ShowModal() != wxID_OK)
            return false;
        value = dialog.GetValue();
        name = value.utf8_string();
        if (annotation_name_allowed(name, curve))
            return true;
        const std::string refusal = refused_name_message(curve);
        log_status(refusal);
        message = wxString::FromUTF8(refusal) + "\n" + prompt;
    }
}
