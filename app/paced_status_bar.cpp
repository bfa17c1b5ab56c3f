#include "app/paced_status_bar.h"

PacedStatusBar::PacedStatusBar(wxWindow* parent, wxWindowID id, long style, const wxString& name)
    : wxStatusBar(parent, id, style, name)
{
}

void PacedStatusBar::DoUpdateStatusText(int field)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_repaint_ >= repaint_interval) {
        last_repaint_ = now;
        wxStatusBar::DoUpdateStatusText(field); // invalidates the field and repaints it now
        return;
    }
    wxRect rect;
    if (GetFieldRect(field, rect))
        Refresh(true, &rect);
}
