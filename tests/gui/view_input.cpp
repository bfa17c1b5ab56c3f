#include "tests/gui/view_input.h"

#include "tests/gui/gui_test_support.h"
#include "view/gl_canvas.h"

#include <wx/stattext.h>

namespace gui_test {

int NameAnswer::OnInvoked(wxTextEntryDialog* dialog) const
{
    seen->caption = dialog->GetTitle();
    seen->default_value = dialog->GetValue();
    seen->message.clear();
    for (const wxWindow* child : dialog->GetChildren())
        if (const auto* text = dynamic_cast<const wxStaticText*>(child))
            seen->message += text->GetLabel();
    if (meanwhile)
        meanwhile();
    if (answer == wxID_OK)
        dialog->SetValue(name);
    return answer;
}

wxMouseEvent mouse_event(wxEventType type, int x, int y, int keys)
{
    wxMouseEvent event(type);
    event.m_x = x;
    event.m_y = y;
    event.SetControlDown((keys & ctrl) != 0);
    event.SetShiftDown((keys & shift) != 0);
    event.SetAltDown((keys & alt) != 0);
    return event;
}

void send(wxMouseEvent event) { canvas().OnMouse(event); }

void click(int x, int y, int keys)
{
    send(mouse_event(wxEVT_LEFT_DOWN, x, y, keys));
    send(mouse_event(wxEVT_LEFT_UP, x, y, keys));
}

void drag_to(int x, int y, bool right)
{
    wxMouseEvent event = mouse_event(wxEVT_MOTION, x, y);
    event.m_leftDown = !right;
    event.m_rightDown = right;
    send(event);
}

void wheel(int x, int y, int notches, int keys)
{
    wxMouseEvent event = mouse_event(wxEVT_MOUSEWHEEL, x, y, keys);
    event.m_wheelDelta = 120;
    event.m_wheelRotation = 120 * notches;
    send(event);
}

bool press_key(int code, int keys)
{
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = code;
    event.SetControlDown((keys & ctrl) != 0);
    event.SetShiftDown((keys & shift) != 0);
    event.SetAltDown((keys & alt) != 0);
    event.SetMetaDown((keys & meta) != 0);
    canvas().OnKey(event);
    return event.GetSkipped();
}

} // namespace gui_test
