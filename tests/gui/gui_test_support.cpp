#include "tests/gui/gui_test_support.h"

#include "app/app.h"
#include "app/frame.h"
#include "view/gl_canvas.h"

#include <wx/evtloop.h>
#include <wx/notebook.h>
#include <wx/statusbr.h>

#include <thread>

namespace gui_test {

wxAssertHandler_t program_assert_handler = nullptr;

MyFrame& frame() { return *main_frame; }

MyGLCanvas& canvas() { return *main_canvas; }

void pump_once()
{
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    while (loop->Pending())
        loop->Dispatch();
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

bool pump_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        pump_once();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool wait_for_gl_ready()
{
    return pump_until([] {
        if (!canvas().gl_ready)
            canvas().Refresh(false);
        return canvas().gl_ready;
    });
}

void reset_frame()
{
    MyFrame& f = frame();
    f.batch_running = false;
    if (f.run_active() || run_idle_binding_count() != 0)
        f.press_start(false);
    if (f.control_notebook->GetSelection() != 0)
        f.control_notebook->SetSelection(0);
    f.clear_surfaces();
    f.SetStatusText("", 0);
}

wxString status_text(int field) { return frame().GetStatusBar()->GetStatusText(field); }

int run_idle_binding_count()
{
    MyApp& app = wxGetApp();
    int count = 0;
    while (app.Unbind(wxEVT_IDLE, &MyApp::OnIdle, &app))
        ++count;
    for (int i = 0; i < count; ++i)
        app.Bind(wxEVT_IDLE, &MyApp::OnIdle, &app);
    return count;
}

void send_command(wxWindow* control, wxEventType type, int value)
{
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(value);
    control->GetEventHandler()->ProcessEvent(event);
}

} // namespace gui_test
