// Helpers shared by the tests of the 3D view.
#pragma once

#include <wx/image.h>

struct Mesh;
class wxCheckBox;

namespace gui_test {

// Waits for the view's OpenGL set-up, puts the frame back as it starts (reset_frame) and waits
// for a paint that sets the viewport for the view's size. Returns false on time-out.
bool reset_view();

// Ticks or unticks a box as a click does, through its handler, so its twin on the other page
// follows.
void tick(wxCheckBox* box, bool ticked);

// Puts the meshes into the LR and HR surfaces, with normals and no centring, and marks every LR
// display list out of date as loading does: a paint while the surfaces were empty may have
// compiled them.
void show_surfaces(const Mesh& lr, const Mesh& hr);

// Moves the splitter's sash so that the view is `width` pixels wide and waits for the paint
// that sets the viewport for it. Returns false on time-out.
bool set_view_width(int width);

// Requests a paint of the view, waits until it has run, and returns the view's client area as
// the display shows it (read from the window, not from GL). An invalid image on time-out.
wxImage painted_window();

} // namespace gui_test
