#include "app/app.h"

#include "app/assert_output.h"
#include "app/frame.h"
#include "view/gl_canvas.h"

#include "surface/pair_read_ahead.h"
#include "utilities/batch_outcome.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

// The toolkit's own application macro also checks at start-up that the program and the library
// were built with the same options.
wxIMPLEMENT_APP_NO_MAIN(MyApp);
wxIMPLEMENT_DYNAMIC_CLASS(MyApp, wxApp);

MyFrame* main_frame = nullptr;
MyGLCanvas* main_canvas = nullptr;

MyApp::MyApp() { wxSetAssertHandler(write_assert_to_stderr); }

bool MyApp::OnInit()
{
    // GTK has set the locale from the environment by now; number text keeps its decimal point.
    std::setlocale(LC_NUMERIC, "C");
    // The first pair of a command-line batch is read while the window is built. Not before:
    // the locale is settled now, and nothing changes it beside the reading.
    if (argc == 2)
        start_reading_ahead(argv[1].utf8_string());

    auto* frame = new MyFrame(nullptr, "Kelvorand: bone registration and mapping",
                              wxDefaultPosition, wxDefaultSize, wxDEFAULT_FRAME_STYLE);
    main_frame = frame;
    frame->Show(true);
    SetTopWindow(frame);
    if (argc == 2)
        Bind(wxEVT_IDLE, &MyApp::OnStartupIdle, this);
    return true;
}

void MyApp::OnStartupIdle(wxIdleEvent&)
{
    // Until the view is ready each paint, or the wait's time-out, wakes this handler up again.
    if (!main_canvas->finish_gl_set_up())
        return;
    Unbind(wxEVT_IDLE, &MyApp::OnStartupIdle, this);
    const wxString batch_file = argv[1];
    const std::string refusal = parse_batch_file(*main_frame, batch_file);
    if (refusal.empty())
        return;
    // Nobody may be watching the window of a command-line batch: it ends, saying why.
    std::fprintf(stderr, "%s: %s\n", refusal.c_str(), batch_file.utf8_str().data());
    main_frame->Destroy();
    finish_reading_ahead();
    std::exit(exit_batch_not_started);
}

void MyApp::bind_run_idle()
{
    Unbind(wxEVT_IDLE, &MyApp::OnIdle, this);
    Bind(wxEVT_IDLE, &MyApp::OnIdle, this);
}

void MyApp::unbind_run_idle() { Unbind(wxEVT_IDLE, &MyApp::OnIdle, this); }
