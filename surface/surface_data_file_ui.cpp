// "Load surface data" and "Save LR data": the file dialog and the display lists around the core
// reader and writer.
#include "app/app.h"
#include "app/frame.h"
#include "surface/status_log.h"
#include "surface/surface_data_file.h"
#include "view/display_list_kind.h"
#include "view/gl_canvas.h"

#include <wx/filedlg.h>
#include <wx/filefn.h>

#include <GL/gl.h>

namespace {

// The data file dialog opens with the filter chosen last time.
int remembered_data_filter = 0;

} // namespace

bool MyFrame::load_data_file(const wxString& path, const wxString& name, int target)
{
    const DataFileLoad load = ::load_data_file(*this, std::string(path.fn_str()),
                                               std::string(name.fn_str()), target);
    if (!load.loaded)
        return false;
    if (!load.deleted_lists.empty() && main_canvas->context_was_current() &&
        main_canvas->make_current())
        for (const std::uint32_t list : load.deleted_lists)
            glDeleteLists(list, 1);
    // A change of units restarts the colouring of every data list, which rebuilds an existing
    // HR data list already.
    const bool hr_list_existed = hr_surface->data_list != 0;
    if (load.units_changed)
        refresh_data_lists();
    if (load.build_hr_data_list && !(load.units_changed && hr_list_existed))
        build_display_list(list_hr_data);
    return true;
}

void MyFrame::OnBinOpen(wxCommandEvent&)
{
    if (lr_surface->vertex_count == 0) {
        log_status("Need LR and HR surfaces");
        return;
    }
    wxFileDialog dialog(this, "Open bin file", wxGetCwd(), "",
                        "zq thickness file|*_thickness.bin|zq density file|*_density.bin|surface "
                        "data file|*_dat.bin",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_CHANGE_DIR);
    dialog.SetFilterIndex(remembered_data_filter);
    if (dialog.ShowModal() != wxID_OK)
        return;
    remembered_data_filter = dialog.GetFilterIndex();
    if (load_data_file(dialog.GetPath(), dialog.GetFilename(), data_target_either))
        main_canvas->Refresh();
}

void MyFrame::OnDataSave(wxCommandEvent&) { save_lr_data(*this); }
