#include "tests/gui/view_test_support.h"

#include "app/frame.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/gui/gui_test_support.h"
#include "view/gl_canvas.h"

#include <wx/bitmap.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/splitter.h>

namespace gui_test {

namespace {

// Pumps until a paint has set the viewport for the view's current client size (a size event
// clears viewport_set; client_width and client_height follow the size only at that paint).
bool wait_for_viewport()
{
    return pump_until([] {
        MyGLCanvas& c = canvas();
        c.Refresh(false);
        return c.viewport_set && c.client_width == c.GetClientSize().x &&
               c.client_height == c.GetClientSize().y;
    });
}

} // namespace

bool reset_view()
{
    if (!wait_for_gl_ready())
        return false;
    reset_frame();
    return wait_for_viewport();
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
    return wait_for_viewport();
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
