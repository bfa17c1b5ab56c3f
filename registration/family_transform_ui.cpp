// The family poses of the current registration type: "Aspect->Similarity", storing, restoring
// and the mouse wheel's scaling.
#include "app/frame.h"
#include "registration/family_transform.h"
#include "registration/registration_iteration.h"
#include "surface/status_log.h"

void MyFrame::store_current_transform()
{
    ::store_current_transform(*this, current_registration_type());
}

void MyFrame::restore_current_transform()
{
    ::restore_current_transform(*this, current_registration_type());
}

void MyFrame::aspect_to_similarity()
{
    // Nothing loaded (a batch job whose surfaces did not load): no pose to carry over, and no
    // registration that could go unsaved.
    if (lr_surface->vertex_count == 0)
        return;
    if (::aspect_to_similarity(*this, current_registration_type()) && shows_registration_error())
        establish_matches_and_display_alignment_error();
}

void MyFrame::OnAspectToSimilarity(wxCommandEvent&)
{
    if (lr_surface->vertex_count == 0) {
        log_status(no_surfaces_to_register_message);
        return;
    }
    aspect_to_similarity();
    Refresh();
}

void MyFrame::scale_current_transform(double factor)
{
    if (!scale_linear_part(*this, factor))
        return;
    if (shows_registration_error())
        establish_matches_and_display_alignment_error(); // with the matches of the last matching
    store_current_transform();
}
