// "Load surfaces": the file dialog, and the load sequence that fits the view, the vertex grid,
// the registration and the shape model to a new pair.
#include "analysis/surface_geometry.h"
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_file.h"
#include "registration/registration_type.h"
#include "surface/file_refusal.h"
#include "surface/load_surfaces.h"
#include "surface/output_surface_names.h"
#include "surface/pair_read_ahead.h"
#include "surface/status_log.h"
#include "utilities/shape_model.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"
#include "view/view_maths.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Paths as the file system spells them; names as UTF-8 text.
std::string file_system_path(const wxString& path) { return std::string(path.fn_str()); }

} // namespace

void MyFrame::show_registration_page()
{
    const int page = control_notebook->GetSelection();
    if (page == 0)
        return;
    control_notebook->ChangeSelection(0);
    wxBookCtrlEvent event(wxEVT_NOTEBOOK_PAGE_CHANGED, id_notebook, 0, page);
    event.SetEventObject(control_notebook);
    OnPageChanged(event);
}

void MyFrame::OnSurfaceOpen(wxCommandEvent&)
{
    // A batch run goes on through the dialogs' event loops and would register the new pair
    // unasked: it ends first.
    if (batch_running)
        press_start(false);
    if (!may_discard_work(load_question))
        return;
    show_registration_page();
    wxFileDialog dialog(this, "Open surface files", wxGetCwd(), "", "PLY and WRL files|*.ply;*.wrl",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE | wxFD_CHANGE_DIR);
    if (dialog.ShowModal() != wxID_OK)
        return;
    wxArrayString paths, names;
    dialog.GetPaths(paths);
    dialog.GetFilenames(names);
    std::vector<std::string> outputs;
    if (paths.size() == 1) {
        const wxString directory = wxFileName(paths[0]).GetPath();
        const std::string partner =
            find_canonical_partner(directory.empty() ? "." : file_system_path(directory), &outputs);
        if (!partner.empty()) {
            const wxString found(partner.c_str(), *wxConvFileName);
            paths.Add(found);
            names.Add(wxFileName(found).GetFullName());
        }
    }
    if (paths.size() != 2 || names.size() != 2) {
        const char* message = "Must select two surface files to load";
        if (paths.size() == 1 && !outputs.empty()) {
            std::sort(outputs.begin(), outputs.end());
            log_status(std::string(message) + ": the canonical files there are " +
                       only_outputs_note(outputs));
        } else {
            log_status(message);
        }
        return;
    }
    clear_surfaces();
    batch_running = false;
    delete wxLog::SetActiveTarget(new wxLogGui);
    if (batch_log.IsOpened())
        batch_log.Close();
    if (load_surface_files(paths[0], paths[1], names[0], names[1], false)) {
        SetStatusText(
            wxString::FromUTF8(lr_surface->name + " (LR) and " + hr_surface->name + " (HR)"), 1);
        main_canvas->Refresh();
    } else {
        clear_surfaces();
    }
}

bool MyFrame::load_surface_files(const wxString& path1, const wxString& path2,
                                 const wxString& name1, const wxString& name2, bool fixed_order)
{
    const std::string file1 = file_system_path(path1);
    const std::string file2 = file_system_path(path2);
    // A command-line batch's first pair may have been read and analysed already.
    const bool read_ahead = fixed_order && take_pair_read_ahead(*this, file1, file2,
                                                                name1.utf8_string(),
                                                                name2.utf8_string());
    if (!read_ahead && !parse_surface_pair(*this, file1, file2, name1.utf8_string(),
                                           name2.utf8_string(), fixed_order))
        return false;

    log_status("Analyzing first surface's geometry");
    if (!read_ahead)
        analyse_surface_geometry(*lr_surface);
    list_dirty[dirty_lr_plain] = true;
    log_status("Analyzing second surface's geometry");
    if (!read_ahead)
        analyse_surface_geometry(*hr_surface);
    build_display_list(list_hr_plain);
    build_display_list(list_hr_curvature);

    fit_lattice_and_lad_radius(*this);
    main_canvas->zoom = fit_zoom(lr_surface->max_radius, hr_surface->max_radius,
                                 main_canvas->client_width, main_canvas->client_height);
    main_canvas->view_rotation = loading_view(*this);
    build_vertex_grid();

    std::string registration_refusal;
    const int registration = load_registration_file(*this, &registration_refusal);
    restore_current_transform();
    update_deformed_positions();
    if (shows_deformed_shape(current_registration_type()))
        lr_surface->shown = ShownShape::deformed;
    reset_lr_vertex_state(*this);
    reproject_landmarks(*lr_surface);
    reproject_landmarks(*hr_surface);
    pair_landmarks();
    pair_landcurves();
    const bool error_shading = shading_radiobox->GetSelection() == shading_registration_error;
    if (error_shading)
        establish_matches_and_display_alignment_error();

    std::string ssm_refusal;
    if (load_ssm_file(*this, ssm_refusal))
        show_shape_model_controls();

    const std::string closing =
        registration == -1 ? refusal_message(surfaces_loaded_message(registration),
                                             registration_file_path(*lr_surface, *hr_surface),
                                             registration_refusal)
                           : surfaces_loaded_message(registration);
    if (error_shading) {
        establish_matches_and_display_alignment_error();
        if (registration == -1)
            log_status(closing);
    } else {
        log_status(closing);
    }
    // Last, so that the status line keeps them after an interactive load: a job may rely on
    // the model the refusal names.
    const std::string side_warning = femur_messages(*lr_surface, *hr_surface);
    if (!side_warning.empty())
        log_status(side_warning);
    if (!ssm_refusal.empty())
        log_status(ssm_refusal);
    return true;
}
