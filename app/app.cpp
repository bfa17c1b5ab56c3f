#include "app/app.h"

#include "app/frame.h"

wxIMPLEMENT_APP_NO_MAIN(MyApp);

MyFrame* main_frame = nullptr;
MyGLCanvas* main_canvas = nullptr;

bool MyApp::OnInit() { return true; }

void MyApp::OnIdle(wxIdleEvent&) {}

void MyApp::OnStartupIdle(wxIdleEvent&) {}
