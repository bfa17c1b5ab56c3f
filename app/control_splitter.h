// The main window's splitter: the view on the left takes every change of the window's width,
// and the control panel on the right keeps the width it was given, or the user dragged the sash
// to. A window system that ignores the window's size hints (a tiling desktop, a manager that
// shrinks the window) may make the window narrower than the panel: the panel then gives way,
// and gets its width back as soon as the window is wide enough again.
#pragma once

#include <wx/splitter.h>

class ControlSplitter : public wxSplitterWindow {
public:
    explicit ControlSplitter(wxWindow* parent);

    // Splits with view on the left and panel on the right, panel_width pixels wide.
    void split(wxWindow* view, wxWindow* panel, int panel_width);
    // The width the panel has whenever the window leaves room for it beside the smallest view.
    int panel_width() const { return kept_panel_width; }

private:
    void OnSize(wxSizeEvent& event);
    void OnSashChanged(wxSplitterEvent& event);
    // Moves the sash so that the panel has its width, or as much of it as the view leaves.
    void give_panel_its_width();

    int kept_panel_width = 0;
    // The sash moves because the window's size changed, not because the user dragged it.
    bool following_size = false;

    wxDECLARE_EVENT_TABLE();
};
