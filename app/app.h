// The application object: creates the main window and owns the two idle handlers.
#pragma once

#include <wx/app.h>

class MyFrame;
class MyGLCanvas;

class MyApp : public wxApp {
public:
    MyApp();
    bool OnInit() override;
    // One registration iteration or batch step per idle event while a run is active.
    virtual void OnIdle(wxIdleEvent& event);
    // Starts the command-line batch once the view has finished its OpenGL set-up.
    virtual void OnStartupIdle(wxIdleEvent& event);

    // Binds OnIdle to the idle event; binding when it is bound already changes nothing, so
    // a second press of "Start" never runs two iterations per idle event.
    void bind_run_idle();
    // Removes the binding of OnIdle, if any.
    void unbind_run_idle();

    wxDECLARE_DYNAMIC_CLASS(MyApp);
};

wxDECLARE_APP(MyApp);

// The one main window and the one view; set once, never cleared.
extern MyFrame* main_frame;
extern MyGLCanvas* main_canvas;
