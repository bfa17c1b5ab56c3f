// Helpers for GUI tests. The test program starts the real application (MyApp, MyFrame, the view)
// once under Xvfb; tests drive it by building events and handing them to controls or handlers,
// answer dialogs with wx/testing.h, and pump the event loop here when they need paints or idle
// events. Any wx assert aborts the program; a modal dialog no test expected is cancelled and
// fails the test.
//
// Releasing "Start" (press_start(false), or any stop) makes a new on-screen log the active
// target and deletes the previous one, as the program does after a batch: do not keep a log
// target of the test's own (such as a StatusCapture on the stack) active across a stop; read
// the status line with status_text() instead.
#pragma once

#include <gtest/gtest.h>
#include <wx/debug.h>
#include <wx/event.h>
#include <wx/msgdlg.h>
#include <wx/string.h>
#include <wx/testing.h>

#include <chrono>
#include <functional>

class MyFrame;
class MyGLCanvas;
class wxWindow;

namespace gui_test {

MyFrame& frame();
MyGLCanvas& canvas();

// The assert handler the program installed for itself; the tests replace it with one that
// aborts.
extern wxAssertHandler_t program_assert_handler;

// Dispatches the pending toolkit events, then one idle round (the application's idle handlers
// run once).
void pump_once();
// Pumps until condition() holds or the timeout has passed (longer in a sanitized build, and
// never before the loop has had a round for every 5 ms of it); returns condition().
bool pump_until(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Pumps until the view has completed its OpenGL set-up; returns false on time-out.
bool wait_for_gl_ready();

// Puts the frame and the view back as the program starts, so no test depends on what an
// earlier one left: no run, no batch and no stored jobs, the "Registration" page, fresh empty
// surfaces (clearing alone keeps a pair's geometry and centring) with identity poses, every
// control at its start value (set through its handler where it has one, and the search range
// slider with its start scale and label), the view unturned at zoom 1 on black with filled
// polygons, and an empty status field 0.
void reset_frame();

// A fixture whose every test starts from, and leaves behind, the window's start state.
class FrameTest : public testing::Test {
protected:
    void SetUp() override { reset_frame(); }
    void TearDown() override { reset_frame(); }
};

// Text of status field `field` of the main window.
wxString status_text(int field = 0);

// How often MyApp::OnIdle is bound to the application's idle event right now.
int run_idle_binding_count();

// Builds a command event of `type` for `control` (its id, the integer `value`) and lets the
// control's event handler process it, so it reaches the frame through its event table the way
// a user's click does. Set the control's value first: SetValue sends no event.
void send_command(wxWindow* control, wxEventType type, int value);

// Answers a message dialog with `answer` and remembers its message and caption.
class MessageAnswer : public wxExpectModalBase<wxMessageDialog, MessageAnswer> {
public:
    MessageAnswer(int given_answer, wxString* seen_message, wxString* seen_caption)
        : answer(given_answer), message(seen_message), caption(seen_caption)
    {
    }

protected:
    int OnInvoked(wxMessageDialog* dialog) const override
    {
        *message = dialog->GetMessage();
        *caption = dialog->GetTitle();
        return answer;
    }

private:
    int answer;
    wxString* message;
    wxString* caption;
};

} // namespace gui_test
