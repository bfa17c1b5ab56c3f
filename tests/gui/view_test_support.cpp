#include "tests/gui/view_test_support.h"

#include "app/frame.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/gui/gui_test_support.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <wx/bitmap.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/splitter.h>

namespace gui_test {

bool reset_view()
{
    if (!wait_for_gl_ready())
        return false;
    MyFrame& f = frame();
    f.batch_running = false;
    f.control_notebook->ChangeSelection(0);
    f.clear_surfaces();
    f.shading_radiobox->SetSelection(shading_plain);
    send_command(f.shading_radiobox, wxEVT_RADIOBOX, shading_plain);
    tick(f.hr_checkbox, true);
    tick(f.lr_checkbox, true);
    f.current_transform = identity_matrix();
    f.SetStatusText("", 0);
    MyGLCanvas& c = canvas();
    c.white_background = false;
    c.wireframe = false;
    c.view_rotation = identity_matrix();
    return true;
}

void tick(wxCheckBox* box, bool ticked)
{
    box->SetValue(ticked);
    send_command(box, wxEVT_CHECKBOX, ticked ? 1 : 0);
}

void show_surfaces(const Mesh& lr, const Mesh& hr)
{
    MyFrame& f = frame();
    fill_surface_with_normals(*f.lr_surface, lr);
    fill_surface_with_normals(*f.hr_surface, hr);
    // Clearing keeps a surface's geometry: a pair loaded by an earlier test would otherwise
    // leave its centring behind and move these meshes off the view's centre.
    for (Surface* surface : {f.lr_surface, f.hr_surface}) {
        surface->centroid = {};
        surface->from_centred = identity_matrix();
        surface->to_centred = identity_matrix();
    }
    f.list_dirty.fill(true);
}

bool set_view_width(int width)
{
    auto* splitter = dynamic_cast<wxSplitterWindow*>(canvas().GetParent());
    if (splitter == nullptr)
        return false;
    splitter->SetSashPosition(width);
    // The size event clears viewport_set; the next paint sets the viewport for the new size.
    return pump_until([] {
        canvas().Refresh(false);
        return canvas().viewport_set && canvas().client_width == canvas().GetClientSize().x;
    });
}

wxImage painted_window()
{
    canvas().redraw_pending = true;
    canvas().Refresh(false);
    if (!pump_until([] { return !canvas().redraw_pending; }))
        return wxImage();
    pump_once();
    const wxSize size = canvas().GetClientSize();
    wxBitmap bitmap(size.x, size.y, 24);
    {
        wxMemoryDC memory(bitmap);
        wxClientDC window(&canvas());
        if (!memory.Blit(0, 0, size.x, size.y, &window, 0, 0))
            return wxImage();
    }
    return bitmap.ConvertToImage();
}

} // namespace gui_test
