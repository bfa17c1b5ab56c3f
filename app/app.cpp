#include "app/app.h"

#include "app/frame.h"
#include "view/gl_canvas.h"

#include <clocale>
#include <iostream>

// The toolkit's own application macro also checks at start-up that the program and the library
// were built with the same options.
wxIMPLEMENT_APP_NO_MAIN(MyApp);

MyFrame* main_frame = nullptr;
MyGLCanvas* main_canvas = nullptr;

void write_assert_to_stderr(const wxString& file, int line, const wxString& function,
                            const wxString& condition, const wxString& message)
{
    std::cerr << file.utf8_string() << ":" << line << ": " << function.utf8_string()
              << ": assertion \"" << condition.utf8_string() << "\" failed";
    if (!message.empty())
        std::cerr << ": " << message.utf8_string();
    std::cerr << std::endl;
}

MyApp::MyApp() { wxSetAssertHandler(write_assert_to_stderr); }

bool MyApp::OnInit()
{
    // GTK has set the locale from the environment by now; number text keeps its decimal point.
    std::setlocale(LC_NUMERIC, "C");

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
    if (!main_canvas->gl_ready) {
        main_frame->Refresh(true, nullptr);
        main_frame->Update();
        return;
    }
    Unbind(wxEVT_IDLE, &MyApp::OnStartupIdle, this);
    parse_batch_file(*main_frame, argv[1]);
}

void MyApp::bind_run_idle()
{
    Unbind(wxEVT_IDLE, &MyApp::OnIdle, this);
    Bind(wxEVT_IDLE, &MyApp::OnIdle, this);
}

void MyApp::unbind_run_idle() { Unbind(wxEVT_IDLE, &MyApp::OnIdle, this); }
