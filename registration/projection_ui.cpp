// Projection onto the surfaces of the loaded pair.
#include "app/frame.h"
#include "registration/reprojection.h"

void MyFrame::reproject_landmarks(Surface& surface) { ::reproject_landmarks(*this, surface); }
