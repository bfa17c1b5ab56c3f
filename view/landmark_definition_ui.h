// The naming dialog of landmarks and landcurves defined with the mouse.
#pragma once

#include <wx/string.h>

#include <string>

class wxWindow;

// Asks in a text-entry dialog (prompt, caption, proposed name) for the name of a new landmark
// (curve false) or landcurve until the answer is a name the surface files carry as itself
// (annotation_name_allowed). A refused name is explained in the status line and at the head of
// the dialog, which asks again with the refused text. False when the dialog was cancelled.
bool ask_annotation_name(wxWindow* parent, const wxString& prompt, const wxString& caption,
                         const wxString& proposal, bool curve, std::string& name);
