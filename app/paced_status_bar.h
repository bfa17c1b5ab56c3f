// The main window's status bar, which repaints a new text at once only when it last did so
// long enough ago.
//
// The toolkit's status bar repaints its field synchronously for every text (a round trip to the
// window system and a redraw, about a millisecond), and a run logs a line per iteration. Texts
// that follow one another faster than anyone can read them are left to the event loop, which
// paints the latest at its next redraw; a text after a pause, such as the one that announces a
// long step, still shows at once.
#pragma once

#include <wx/statusbr.h>

#include <chrono>

class PacedStatusBar : public wxStatusBar {
public:
    PacedStatusBar(wxWindow* parent, wxWindowID id, long style, const wxString& name);

    // Texts within this time of the last immediate repaint wait for the event loop.
    static constexpr std::chrono::milliseconds repaint_interval{100};

protected:
    void DoUpdateStatusText(int field) override;

private:
    std::chrono::steady_clock::time_point last_repaint_{};
};
