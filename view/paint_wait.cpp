// Waiting for a paint from idle handlers: a wait asks for the paint and returns to the event
// loop, which the paint (or a time-out) wakes up again. A paint that cannot come, on a hidden
// or iconified window, is not waited for. Also the frame update made at once that paints the
// view a single time.
#include "view/gl_canvas.h"

#include <wx/app.h>
#include <wx/toplevel.h>

namespace {

// How long a paint the toolkit did not make at once may keep a wait going.
constexpr int paint_timeout_milliseconds = 250;

} // namespace

bool MyGLCanvas::can_paint() const
{
    const auto* top =
        dynamic_cast<const wxTopLevelWindow*>(wxGetTopLevelParent(const_cast<MyGLCanvas*>(this)));
    const wxSize size = GetClientSize();
    return IsShownOnScreen() && (top == nullptr || !top->IsIconized()) && size.x > 0 && size.y > 0;
}

bool MyGLCanvas::finish_pending_redraw()
{
    if (!redraw_pending)
        return true;
    if (!can_paint()) {
        redraw_pending = false;
        return true;
    }
    Refresh(false);
    Update();
    if (!redraw_pending)
        return true;
    if (!paint_timeout.IsRunning())
        paint_timeout.StartOnce(paint_timeout_milliseconds);
    return false;
}

void MyGLCanvas::update_frame_painting_view_once(wxWindow& frame)
{
    painting_once = true;
    painted_once = false;
    frame.Refresh(true);
    frame.Update();
    painting_once = false;
}

bool MyGLCanvas::finish_gl_set_up()
{
    if (gl_ready)
        return true;
    if (can_paint() && !paint_overdue) {
        // The first paint sets the view up, a later one finds it done.
        Refresh(false);
        Update();
        if (!gl_ready && !paint_timeout.IsRunning())
            paint_timeout.StartOnce(paint_timeout_milliseconds);
        return gl_ready;
    }
    if (make_current()) {
        init_gl_view();
        gl_ready = viewport_set;
    }
    // A window not yet realised takes no context: the time-out brings the next try.
    if (!gl_ready && !paint_timeout.IsRunning())
        paint_timeout.StartOnce(paint_timeout_milliseconds);
    return gl_ready;
}

void MyGLCanvas::OnPaintTimeout(wxTimerEvent&)
{
    // The paint waited for did not come: the waits give up on it and go on.
    paint_overdue = true;
    redraw_pending = false;
    wxWakeUpIdle();
}
