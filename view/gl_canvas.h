// The OpenGL view on the left of the main window. It owns the one GL context, made on the
// first paint, and the flags that tell other code whether GL work is possible yet.
#pragma once

#include <wx/glcanvas.h>

#include <memory>

struct Surface;

class MyGLCanvas : public wxGLCanvas {
public:
    MyGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size,
               long style, const wxString& name);

    // Viewport and projection match the current client size; false after every size event.
    bool viewport_set = false;
    // A paint found the GL set-up already done; set once, never cleared.
    bool gl_ready = false;
    // Cleared at the start of every paint; set by code that waits for the next repaint.
    bool redraw_pending = true;

    // Makes the context current on this canvas, creating it first. Returns false while the
    // window cannot take a context yet (not realised).
    bool make_current();
    // A context has been made current at least once, so display lists may exist.
    bool context_was_current() const { return context_made_current; }
    // Deletes the surface's display lists that exist and sets all seven ids to 0. Lists exist
    // only after a context was made current; a size event in between does not change that.
    void delete_display_lists(Surface& surface);

    // Viewport and projection for the current client size (pixels, origin lower left).
    void init_gl_view();

    void OnSize(wxSizeEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);

    int client_width = 0;
    int client_height = 0;

private:
    std::unique_ptr<wxGLContext> context;
    bool context_made_current = false;

    wxDECLARE_EVENT_TABLE();
};
