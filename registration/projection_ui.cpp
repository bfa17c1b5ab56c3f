// Projection onto the surfaces of the loaded pair.
#include "app/frame.h"
#include "registration/projection.h"
#include "registration/reprojection.h"

Landmark MyFrame::project_onto_surface(const Surface& surface, const Point3& point) const
{
    return ::project_onto_surface(*this, surface, point);
}

void MyFrame::reproject_landmarks(Surface& surface) { ::reproject_landmarks(*this, surface); }
