// The OpenGL view on the left of the main window. It owns the one GL context, made on the
// first paint, and the flags that tell other code whether GL work is possible yet.
#pragma once

#include "surface/matrix4.h"
#include "view/paint_budget.h"

#include <wx/glcanvas.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <array>
#include <cstdint>
#include <memory>

class MyFrame;
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
    // What the paints of the view take; a run step may skip its repaint by it.
    PaintBudget paint_budget;
    // Paints that drew the view, since the canvas was made.
    std::uint64_t paint_count = 0;

    // A paint requested now can come: the canvas is shown, its top-level window is not
    // iconified, and it has a client area.
    bool can_paint() const;
    // One step of a wait on redraw_pending that never blocks: asks for the repaint and lets the
    // toolkit make it at once. True when the wait is over: the paint ran, or none can come
    // (redraw_pending is then cleared). False while the paint is due later; that paint wakes
    // the event loop up, and so does a time-out after which the wait gives up on it.
    bool finish_pending_redraw();
    // Refreshes the whole frame (erasing the background) and updates it at once, painting the
    // view once. In such an update the toolkit delivers the view's paint twice, once as part
    // of the frame and once for the view's own window, and nothing can change in between.
    void update_frame_painting_view_once(wxWindow& frame);
    // One step of the start-up wait for the GL set-up, as above: true once gl_ready is set.
    // Where no paint can come, or the paints asked for are overdue, the context is made current
    // and the view set up without a paint.
    bool finish_gl_set_up();

    // Makes the context current on this canvas, creating it first. Returns false while the
    // window cannot take a context yet (not realised).
    bool make_current();
    // A context has been made current at least once, so display lists may exist.
    bool context_was_current() const { return context_made_current; }
    // Deletes the surface's display lists that exist and sets all seven ids to 0. Lists exist
    // only after a context was made current; a size event in between does not change that.
    void delete_display_lists(Surface& surface);

    // Viewport and projection for the current client size (pixels, origin lower left); the
    // first call of the process also sets the lights and the fixed GL state.
    void init_gl_view();

    // Draws the whole view into the back buffer with the context current and the viewport
    // set, without swapping: the background, the surfaces the shading mode shows (rebuilding
    // an out-of-date LR list first) and the overlays.
    void draw_view();
    // White on the black background, black on the white one: overlay lines and text.
    std::array<float, 3> contrast_colour() const;

    // The picture of the view, top row first, 8-bit RGB of the client size: the scene drawn
    // into the back buffer and read there before the swap (the front buffer of some GL stacks
    // reads back black once swapped). False when the view cannot take a GL context or has no
    // pixels.
    bool capture_view(wxImage& image);
    // Writes the picture of the view to file_name as PNG, JPEG, BMP or TIFF. False when the
    // view cannot take a GL context, has no pixels, the type is not one of those four, or the
    // file could not be written (then the status line says so).
    bool save_canvas_image(const wxString& file_name, wxBitmapType type);

    // Overlays, drawn by draw_view with the context current; each leaves lighting and the
    // depth test enabled. Displacements in the LR frame; matches and landmarks in the HR
    // centred frame; the rest in screen space (pixels from the lower-left corner).
    void draw_displacements();
    void draw_matches();
    void draw_landmarks();
    void draw_colour_bar(int kind);
    void draw_mirror_icon();
    void draw_scale_bar();
    // A 10 x 6 pixel swatch of the colour bar's legend at `row` (2 pixels per row below the
    // top), filled in the current colour or only outlined.
    void draw_legend_swatch(int row, bool outline);

    void OnSize(wxSizeEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnPaintTimeout(wxTimerEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);

    int client_width = 0;
    int client_height = 0;
    Matrix4 view_rotation = identity_matrix();
    double zoom = 1.0;             // pixels per millimetre
    bool wireframe = false;        // surfaces drawn as lines
    bool white_background = false; // with black overlay lines and text
    std::uint16_t label_mode = 0;  // LabelMode

    // Pointer positions in window pixels (origin top-left): the last button press, and the last
    // press, drag step or pick, from which the next drag step is measured.
    std::array<std::int64_t, 2> mouse_press_position{};
    std::array<std::int64_t, 2> mouse_last_position{};
    // The numbers in the proposed names of new landmarks and landcurves; each grows before its
    // naming dialog and never falls.
    std::uint32_t landmark_counter = 0;
    std::uint32_t landcurve_counter = 0;

private:
    // The text shown instead of the scene on the "Utilities" page without a shape model.
    void draw_no_model_text();

    // The paths of a mouse event (mouse_ui.cpp).
    void handle_mouse(MyFrame& frame, const wxMouseEvent& event);
    void pick(MyFrame& frame, const wxMouseEvent& event);
    void drag(MyFrame& frame, const wxMouseEvent& event);
    void click(MyFrame& frame, const wxMouseEvent& event);
    void turn_wheel(MyFrame& frame, const wxMouseEvent& event);
    // C or O (closed: C): starts a landcurve, or finishes the one being defined (keys_ui.cpp).
    void start_or_finish_landcurve(MyFrame& frame, bool closed);

    std::unique_ptr<wxGLContext> context;
    bool context_made_current = false;
    // Armed by a wait whose paint did not come at once; stopped by the paint.
    wxTimer paint_timeout;
    // The time-out passed without a paint.
    bool paint_overdue = false;
    // A frame update that paints the view once is running, and has painted it.
    bool painting_once = false;
    bool painted_once = false;

    wxDECLARE_EVENT_TABLE();
};

// True when id names an existing display list of the current context (0 never does).
bool display_list_exists(std::uint32_t id);
