// The "Smooth" button and the smoothing width in the status line.
#include "app/app.h"
#include "app/frame.h"
#include "surface/data_smoothing.h"
#include "surface/mean_edge_lengths.h"
#include "surface/status_log.h"
#include "view/display_list_kind.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <wx/checkbox.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>

const char smooth_needs_data_shading_message[] =
    "Smooth works on the \"Surface data\" shading: select it first";
const char nothing_to_smooth_message[] = "No surface data shown to smooth";

void MyFrame::OnSmooth(wxCommandEvent&)
{
    if (control_notebook->GetSelection() != 0)
        return;
    if (shading_radiobox->GetSelection() != shading_surface_data) {
        log_status(smooth_needs_data_shading_message);
        return;
    }
    bool smoothed = false;
    if (hr_checkbox->IsChecked()) {
        main_canvas->make_current();
        if (hr_surface->data_list != 0) {
            smooth_data(1, *hr_surface);
            build_display_list(list_hr_data);
            list_dirty[dirty_absolute_data_error] = true;
            list_dirty[dirty_signed_data_error] = true;
            smoothed = true;
        }
        Refresh();
    }
    if (lr_checkbox->IsChecked()) {
        smoothed = smoothed || lr_data_loaded;
        smooth_lr_data(*this, 1);
        Refresh();
    }
    // The smoothing width of earlier passes would read as the outcome of this press.
    if (!smoothed) {
        log_status(nothing_to_smooth_message);
        return;
    }
    display_FWHM_estimates();
}

void MyFrame::display_FWHM_estimates()
{
    double e_hr = 0.0;
    double e_lr = 0.0;
    if (!compute_mean_edge_lengths(*this, e_hr, e_lr))
        return;
    const std::string text = fwhm_estimate_text(*hr_surface, *lr_surface, e_hr, e_lr);
    if (!text.empty())
        log_status(text);
}
