// The "Map" button: HR data onto the registered LR surface, or, without HR data, the landmark
// transfer.
#include "app/app.h"
#include "app/frame.h"
#include "registration/data_mapping.h"
#include "surface/mean_edge_lengths.h"
#include "surface/status_log.h"
#include "view/gl_canvas.h"

#include <wx/msgdlg.h>
#include <wx/slider.h>

double MyFrame::search_range2() const
{
    const double range = static_cast<double>(search_range_slider->GetValue()) / range_units;
    return range * range;
}

void MyFrame::OnMap(wxCommandEvent&)
{
    const double r2 = search_range2();
    main_canvas->make_current();
    if (hr_surface->data_list == 0) {
        if (lr_surface->semilandmarks.empty() && lr_surface->curve_point_pair_count == 0) {
            log_status("Need HR data or landmarks to map");
            return;
        }
        log_status("Mapping landmarks");
        const bool curves = resample_paired_landcurves(false);
        const bool semilandmarks = transfer_semilandmarks(false);
        if (curves || semilandmarks)
            reproject_landmarks(*hr_surface);
        log_status("Landmarks mapped");
        Refresh();
        return;
    }
    double e_hr = 0.0;
    double e_lr = 0.0;
    if (!batch_running &&
        compute_mean_edge_lengths(*hr_surface, *lr_surface, current_transform, e_hr, e_lr)) {
        const std::string question =
            undersampling_question(hr_surface->smoothing_steps, e_hr, e_lr);
        if (!question.empty()) {
            wxMessageDialog dialog(this, wxString::FromUTF8(question), "Undersampling",
                                   wxOK | wxCANCEL | wxICON_ERROR);
            if (dialog.ShowModal() == wxID_CANCEL)
                return;
        }
    }
    log_status("Data mapped");
    if (r2 > lr_surface->match_range2)
        establish_matches();
    map_hr_data(*this, r2);
    display_FWHM_estimates();
    Refresh();
}
