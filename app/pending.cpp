// Handlers and functions that are not built yet: each does nothing visible until its real
// definition replaces it. One group per concept; delete a group when its concept lands.
#include "app/app.h"
#include "app/frame.h"
#include "view/gl_canvas.h"
#include "view/gldraw.h"

#include <wx/log.h>

// Landmark and landcurve pairing.
void MyFrame::pair_landmarks() {}
void MyFrame::pair_landcurves() {}

// Projection onto surfaces.
void MyFrame::reproject_landmarks(Surface&) {}

// Thin-plate spline warp and semilandmark sliding.
bool MyFrame::resample_paired_landcurves(bool) { return false; }
bool MyFrame::transfer_semilandmarks(bool) { return false; }

// Overlays and bitmap text.
void MyGLCanvas::draw_displacements() {}
void MyGLCanvas::draw_matches() {}
void MyGLCanvas::draw_landmarks() {}
void MyGLCanvas::draw_colour_bar(int) {}
void MyGLCanvas::draw_mirror_icon() {}
void MyGLCanvas::draw_scale_bar() {}
void glutBitmapCharacter(int, int) {}
