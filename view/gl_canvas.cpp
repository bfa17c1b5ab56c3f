#include "view/gl_canvas.h"

#include "surface/surface.h"

#include <wx/dcclient.h>

#include <GL/gl.h>

namespace {

// RGBA, double-buffered, with a depth buffer.
const int canvas_attributes[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 16, 0};

} // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(MyGLCanvas, wxGLCanvas)
    EVT_SIZE(MyGLCanvas::OnSize)
    EVT_ERASE_BACKGROUND(MyGLCanvas::OnEraseBackground)
    EVT_PAINT(MyGLCanvas::OnPaint)
    EVT_LEFT_DOWN(MyGLCanvas::OnMouse)
    EVT_LEFT_UP(MyGLCanvas::OnMouse)
    EVT_LEFT_DCLICK(MyGLCanvas::OnMouse)
    EVT_MIDDLE_DOWN(MyGLCanvas::OnMouse)
    EVT_MIDDLE_UP(MyGLCanvas::OnMouse)
    EVT_MIDDLE_DCLICK(MyGLCanvas::OnMouse)
    EVT_RIGHT_DOWN(MyGLCanvas::OnMouse)
    EVT_RIGHT_UP(MyGLCanvas::OnMouse)
    EVT_RIGHT_DCLICK(MyGLCanvas::OnMouse)
    EVT_MOUSE_AUX1_DOWN(MyGLCanvas::OnMouse)
    EVT_MOUSE_AUX1_UP(MyGLCanvas::OnMouse)
    EVT_MOUSE_AUX1_DCLICK(MyGLCanvas::OnMouse)
    EVT_MOUSE_AUX2_DOWN(MyGLCanvas::OnMouse)
    EVT_MOUSE_AUX2_UP(MyGLCanvas::OnMouse)
    EVT_MOUSE_AUX2_DCLICK(MyGLCanvas::OnMouse)
    EVT_MOTION(MyGLCanvas::OnMouse)
    EVT_LEAVE_WINDOW(MyGLCanvas::OnMouse)
    EVT_ENTER_WINDOW(MyGLCanvas::OnMouse)
    EVT_MOUSEWHEEL(MyGLCanvas::OnMouse)
    EVT_KEY_DOWN(MyGLCanvas::OnKey)
wxEND_EVENT_TABLE()
// clang-format on

MyGLCanvas::MyGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& position,
                       const wxSize& size, long style, const wxString& name)
    : wxGLCanvas(parent, id, canvas_attributes, position, size, style, name), paint_timeout(this)
{
    SetBackgroundColour(*wxBLACK);
    Bind(wxEVT_TIMER, &MyGLCanvas::OnPaintTimeout, this, paint_timeout.GetId());
}

bool MyGLCanvas::make_current()
{
    if (!context)
        context = std::make_unique<wxGLContext>(this);
    if (!context->IsOK() || !SetCurrent(*context))
        return false;
    context_made_current = true;
    return true;
}

bool display_list_exists(std::uint32_t id) { return id != 0 && glIsList(id) == GL_TRUE; }

void MyGLCanvas::delete_display_lists(Surface& surface)
{
    std::uint32_t* const ids[] = {&surface.shading_list,     &surface.selection_list,
                                  &surface.error_list,       &surface.abs_error_list,
                                  &surface.signed_error_list, &surface.data_list,
                                  &surface.curvature_list};
    if (context_made_current && make_current()) {
        for (std::uint32_t* id : ids)
            if (display_list_exists(*id))
                glDeleteLists(*id, 1);
    }
    for (std::uint32_t* id : ids)
        *id = 0;
}

void MyGLCanvas::OnSize(wxSizeEvent&) { viewport_set = false; }

void MyGLCanvas::OnEraseBackground(wxEraseEvent&) {}

void MyGLCanvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    // The picture the update's first paint drew is still on the window.
    if (painting_once && painted_once)
        return;
    // Code waiting for this paint (a run's redraw wait, the start-up's wait for the GL set-up)
    // runs on idle events: the loop is woken up, or it might sleep on.
    const bool awaited = redraw_pending || !gl_ready;
    redraw_pending = false;
    paint_overdue = false;
    if (awaited) {
        paint_timeout.Stop();
        wxWakeUpIdle();
    }
    if (!make_current())
        return;
    const double began = paint_clock_seconds();
    if (viewport_set)
        gl_ready = true;
    else
        init_gl_view();
    draw_view();
    SwapBuffers();
    ++paint_count;
    painted_once = true;
    paint_budget.painted(began, paint_clock_seconds());
}
