// Mouse and key events built for the view and handed to its handlers, and the answer to the
// dialogs that name new landmarks and landcurves.
#pragma once

#include <wx/event.h>
#include <wx/testing.h>
#include <wx/textdlg.h>

#include <functional>
#include <utility>

namespace gui_test {

// What a naming dialog showed.
struct NameDialogSeen {
    wxString message;
    wxString caption;
    wxString default_value;
};

// Answers a text-entry dialog with `answer`, typing `name` first when it is wxID_OK, after
// calling `meanwhile` (when set) as other events would while the dialog is open.
class NameAnswer : public wxExpectModalBase<wxTextEntryDialog, NameAnswer> {
public:
    NameAnswer(int answer, const wxString& name, NameDialogSeen* seen,
               std::function<void()> meanwhile = {})
        : answer(answer), name(name), seen(seen), meanwhile(std::move(meanwhile))
    {
    }

protected:
    int OnInvoked(wxTextEntryDialog* dialog) const override;

private:
    int answer;
    wxString name;
    NameDialogSeen* seen;
    std::function<void()> meanwhile;
};

// Keys held with a mouse event or a key.
enum Held : int { no_keys = 0, ctrl = 1, shift = 2, alt = 4, meta = 8 };

wxMouseEvent mouse_event(wxEventType type, int x, int y, int keys = no_keys);

// Hands the event to the view's mouse handler.
void send(wxMouseEvent event);

// A press and a release of the left button at one place.
void click(int x, int y, int keys = no_keys);

// A motion to (x, y) with the left or right button held.
void drag_to(int x, int y, bool right = false);

// One wheel turn of `notches` (negative: towards the user) at (x, y).
void wheel(int x, int y, int notches, int keys = no_keys);

// Hands a key press to the view's key handler; returns whether the key was passed on.
bool press_key(int code, int keys = no_keys);

} // namespace gui_test
