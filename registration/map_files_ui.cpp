// "Save LR-HR map": the vertex map and the mapped landmarks of the current registration.
#include "app/app.h"
#include "app/frame.h"
#include "registration/map_files.h"
#include "surface/status_log.h"
#include "view/gl_canvas.h"

#include <wx/choice.h>

void MyFrame::OnResSave(wxCommandEvent&) { save_map(); }

bool MyFrame::save_map()
{
    if (lr_surface->vertex_count == 0) {
        log_status("Need LR and HR surfaces");
        return false;
    }
    const int type = registration_choice->GetSelection();
    const double r2 = search_range2();
    if (r2 > lr_surface->match_range2)
        establish_matches();
    main_canvas->make_current();
    const bool saved = save_lr_hr_map(*this, type, r2);
    Refresh();
    return saved;
}
