// The view's mouse: picks with ctrl or shift, drags that move the view or the LR surface, clicks
// and wheel turns on the legend that change the colours, and the wheel's zoom or scaling.
#include "app/app.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "view/gl_canvas.h"
#include "view/mouse_maths.h"
#include "view/shading_mode.h"

#include <wx/checkbox.h>
#include <wx/msgdlg.h>
#include <wx/radiobox.h>

namespace {

// Colour offset added by one notch of the wheel over the legend with alt held.
constexpr double colour_offset_step = 0.05;
// One wheel notch changes the zoom or the scale by 1/20, the colour gain by 1/10.
constexpr double zoom_notch_divisor = 20.0;
constexpr double gain_notch_divisor = 10.0;

bool moves_lr_surface(const MyFrame& frame)
{
    return frame.mouse_radiobox->GetSelection() == mouse_lr_surface;
}

// In the "LR surface" mode with nothing loaded there is nothing to move: the pose stays and no
// registration becomes unsaved.
bool lr_loaded(const MyFrame& frame) { return frame.lr_surface->vertex_count != 0; }

// After the pose changed by hand: the error display follows it and the family slot keeps it.
void keep_moved_pose(MyFrame& frame)
{
    if (frame.shows_registration_error())
        frame.establish_matches_and_display_alignment_error();
    frame.store_current_transform();
}

} // namespace

void MyGLCanvas::OnMouse(wxMouseEvent& event)
{
    // Events that reach the view while the window is still being built change nothing.
    if (main_frame != nullptr)
        handle_mouse(*main_frame, event);
    SetFocus();
}

void MyGLCanvas::handle_mouse(MyFrame& frame, const wxMouseEvent& event)
{
    const std::array<std::int64_t, 2> position{event.GetX(), event.GetY()};
    const bool press = event.ButtonDown();
    // Ctrl or shift turns presses and drags into picks while there is an LR surface.
    const bool picking =
        (event.ControlDown() || event.ShiftDown()) && frame.lr_surface->vertex_count > 0;
    if (picking && (press || event.Dragging())) {
        pick(frame, event);
    } else if (press) {
        mouse_press_position = position;
        mouse_last_position = position;
    } else if (event.Dragging()) {
        drag(frame, event);
    } else if (event.ButtonUp() && position == mouse_press_position) {
        // A release with ctrl or shift held ends a pick; it is no click of its own.
        if (!picking)
            click(frame, event);
    } else if (event.GetWheelRotation() != 0) {
        turn_wheel(frame, event);
    }
}

void MyGLCanvas::pick(MyFrame& frame, const wxMouseEvent& event)
{
    const bool press = event.ButtonDown();
    if (press)
        mouse_press_position = {event.GetX(), event.GetY()};
    Point3 near_point;
    Point3 far_point;
    const bool has_ray =
        pick_ray(client_width, client_height, zoom, view_rotation, frame.hr_surface->to_centred,
                 event.GetX(), event.GetY(), near_point, far_point);
    mouse_last_position = {event.GetX(), event.GetY()};
    const bool landmarks_shown = frame.landmarks_checkbox->GetValue();
    if (press && event.ShiftDown() && !landmarks_shown)
        wxMessageDialog(nullptr,
                        "Before defining landmarks, check that the \"Show landmarks\" checkbox "
                        "is selected",
                        "Cannot define landmark", wxOK | wxICON_INFORMATION)
            .ShowModal();
    if (has_ray)
        frame.intersect_surfaces(press && event.ShiftDown() && landmarks_shown, near_point,
                                 far_point);
}

void MyGLCanvas::drag(MyFrame& frame, const wxMouseEvent& event)
{
    const double dx = static_cast<double>(event.GetX() - mouse_last_position[0]);
    const double dy = static_cast<double>(event.GetY() - mouse_last_position[1]);
    const DragButtons buttons{event.LeftIsDown(), event.MiddleIsDown(), event.RightIsDown()};
    const Matrix4 step = drag_transform(dx, dy, buttons, zoom);
    if (!moves_lr_surface(frame)) {
        view_rotation = view_rotation_after_drag(view_rotation, step);
    } else if (lr_loaded(frame)) {
        frame.current_transform = pose_after_drag(frame.current_transform, view_rotation, step);
        keep_moved_pose(frame);
    }
    mouse_last_position = {event.GetX(), event.GetY()};
    Refresh(true);
}

void MyGLCanvas::click(MyFrame& frame, const wxMouseEvent& event)
{
    if (in_legend_area(event.GetX(), event.GetY())) {
        frame.colour_map = next_colour_map(frame.colour_map);
        frame.refresh_data_lists();
    } else if (moves_lr_surface(frame) && lr_loaded(frame)) {
        // Reflects the LR surface across its own mirror plane.
        frame.current_transform = product(frame.current_transform, frame.lr_surface->mirror);
        keep_moved_pose(frame);
    } else {
        return;
    }
    Refresh(true);
}

void MyGLCanvas::turn_wheel(MyFrame& frame, const wxMouseEvent& event)
{
    const int rotation = event.GetWheelRotation();
    const int delta = event.GetWheelDelta();
    if (in_legend_area(event.GetX(), event.GetY())) {
        if (event.AltDown())
            frame.colour_offset += rotation < 0 ? colour_offset_step : -colour_offset_step;
        else
            frame.colour_gain *= wheel_factor(rotation, delta, gain_notch_divisor);
        frame.refresh_data_lists();
    } else if (!moves_lr_surface(frame)) {
        zoom *= wheel_factor(rotation, delta, zoom_notch_divisor);
    } else if (frame.current_registration_type() != rigid && lr_loaded(frame)) {
        frame.scale_current_transform(wheel_factor(rotation, delta, zoom_notch_divisor));
    }
    Refresh(true);
}
