// Helpers shared by the tests of the 3D view.
#pragma once

#include <wx/image.h>

namespace gui_test {

// The view as after start-up, with empty surfaces: "Registration" page, no run or batch,
// "Plain" shading, both surfaces ticked, identity pose and view rotation, black background,
// filled polygons, status field 0 empty. Returns false when the view never got its GL set-up.
bool reset_view();

// Moves the splitter's sash so that the view is `width` pixels wide and waits for the paint
// that sets the viewport for it. Returns false on time-out.
bool set_view_width(int width);

// Requests a paint of the view, waits until it has run, and returns the view's client area as
// the display shows it (read from the window, not from GL). An invalid image on time-out.
wxImage painted_window();

} // namespace gui_test
