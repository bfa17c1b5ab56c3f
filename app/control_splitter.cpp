#include "app/control_splitter.h"

#include <algorithm>

// clang-format off
wxBEGIN_EVENT_TABLE(ControlSplitter, wxSplitterWindow)
    EVT_SIZE(ControlSplitter::OnSize)
    EVT_SPLITTER_SASH_POS_CHANGED(wxID_ANY, ControlSplitter::OnSashChanged)
wxEND_EVENT_TABLE()
// clang-format on

ControlSplitter::ControlSplitter(wxWindow* parent)
    : wxSplitterWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                       wxSP_LIVE_UPDATE | wxCLIP_CHILDREN, "splitter")
{
}

void ControlSplitter::split(wxWindow* view, wxWindow* panel, int panel_width)
{
    kept_panel_width = panel_width;
    following_size = true;
    SplitVertically(view, panel, -panel_width); // negative: counted from the right
    following_size = false;
}

void ControlSplitter::OnSize(wxSizeEvent& event)
{
    following_size = true;
    wxSplitterWindow::OnSize(event); // the sash gravity gives the change to the view
    give_panel_its_width();
    following_size = false;
}

void ControlSplitter::OnSashChanged(wxSplitterEvent& event)
{
    if (!following_size && IsSplit())
        kept_panel_width = GetClientSize().GetWidth() - GetSashSize() - event.GetSashPosition();
    event.Skip();
}

void ControlSplitter::give_panel_its_width()
{
    const int width = GetClientSize().GetWidth();
    if (!IsSplit() || width <= 0 || kept_panel_width <= 0)
        return;
    const int sash = std::max(width - GetSashSize() - kept_panel_width, GetMinimumPaneSize());
    if (sash != GetSashPosition())
        SetSashPosition(sash);
}
