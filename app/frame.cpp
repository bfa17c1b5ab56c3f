#include "app/frame.h"

#include "app/app.h"
#include "app/control_ids.h"
#include "app/control_splitter.h"
#include "app/paced_status_bar.h"
#include "app/kelvorand_icon.xpm"
#include "view/gl_canvas.h"

#include <wx/checkbox.h>
#include <wx/display.h>
#include <wx/filename.h>
#include <wx/fs_arc.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statusbr.h>
#include <wx/stdpaths.h>
#include <wx/sysopt.h>

#include <algorithm>

namespace {

// Keeps a double click on the sash from removing the control notebook: a splitter with a
// minimum pane size never unsplits itself.
constexpr int minimum_pane_size = 50;
// The least height of the control notebook, in dialog units: its tabs and a few rows of a page.
constexpr int minimum_page_height = 100;

// The width the notebook needs to show its widest page whole beside a vertical scroll bar, so
// that no page scrolls sideways even when the window is too low for the pages.
int notebook_width_for_pages(const wxNotebook& notebook)
{
    int widest = 0;
    for (std::size_t i = 0; i < notebook.GetPageCount(); ++i) {
        const wxWindow* page = notebook.GetPage(i);
        widest = std::max(widest, page->GetSizer()->CalcMin().GetWidth() +
                                      page->GetWindowBorderSize().GetWidth() +
                                      wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, page));
    }
    return notebook.CalcSizeFromPage(wxSize(widest, 0)).GetWidth();
}

// size, made no larger than the work area of the display that window opens on (the screen
// less the desktop's panels).
wxSize fitted_to_work_area(const wxWindow* window, wxSize size)
{
    size.DecTo(wxDisplay(window).GetClientArea().GetSize());
    return size;
}

} // namespace

wxSize control_size(const wxWindow* window, int width, int height)
{
    wxSize size = window->ConvertDialogToPixels(wxSize(width, height));
    if (size.x > 0)
        size.x += 15;
    return size;
}

wxIcon program_icon() { return wxIcon(kelvorand_icon_xpm); }

MyFrame::MyFrame(wxWindow* parent, const wxString& title, const wxPoint& position,
                 const wxSize& size, long style)
    : wxFrame(parent, wxID_ANY, title, position, size, style, wxFrameNameStr)
{
    SetIcon(program_icon());
    build_menus();

    auto* splitter = new ControlSplitter(this);
    auto* canvas =
        new MyGLCanvas(splitter, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "MyGLCanvas");
    main_canvas = canvas;
    control_notebook =
        new wxNotebook(splitter, id_notebook, wxDefaultPosition, wxDefaultSize, wxNB_TOP);
    control_notebook->AddPage(build_registration_page(control_notebook), "Registration", false);
    control_notebook->AddPage(build_utilities_page(control_notebook), "Utilities", false);

    splitter->SetSashGravity(1.0);
    splitter->SetMinimumPaneSize(minimum_pane_size);
    const wxSize full_size = control_size(this, 545, 460);
    const int full_sash = control_size(this, 425, -1).GetWidth();
    // The notebook gets the width the sash leaves it in the full-size window, or more when a
    // page needs it; on a screen too small for the full size the window takes the work area and
    // the pages scroll.
    const int panel_width = std::max(full_size.GetWidth() - full_sash - splitter->GetSashSize(),
                                     notebook_width_for_pages(*control_notebook));
    SetSize(fitted_to_work_area(this, full_size));
    splitter->split(canvas, control_notebook, panel_width);
    // The window cannot become narrower than the notebook beside the smallest view, which
    // would cut the notebook down (a window system may still do it; the splitter then gives the
    // width back). Its pages scroll, so a few rows of height are enough.
    SetMinClientSize(wxSize(panel_width + splitter->GetSashSize() + minimum_pane_size,
                            control_size(this, -1, minimum_page_height).GetHeight()));

    CreateStatusBar(2, wxSTB_DEFAULT_STYLE, 0);
    const int field_styles[2] = {wxSB_SUNKEN, wxSB_SUNKEN};
    GetStatusBar()->SetStatusStyles(2, field_styles);

    clear_surfaces();

    // The help book holds HTML pages only, whose type the file system knows by their
    // extension; asking the desktop's MIME database instead reads every type and icon it lists,
    // a tenth of a second at every start.
    wxSystemOptions::SetOption("filesys.no-mimetypesmanager", 1);
    wxFileSystem::AddHandler(new wxArchiveFSHandler);
    wxImage::AddHandler(new wxPNGHandler);

    wxFileName book(wxStandardPaths::Get().GetExecutablePath());
    book.SetFullName("Kelvorand_help.zip");
    open_help_book(book.GetFullPath());
}

wxStatusBar* MyFrame::OnCreateStatusBar(int number, long style, wxWindowID id,
                                        const wxString& name)
{
    auto* bar = new PacedStatusBar(this, id, style, name);
    bar->SetFieldsCount(number);
    return bar;
}

bool MyFrame::open_help_book(const wxString& path)
{
    {
        // A missing book is reported once on the status line below, not in an error dialog.
        wxLogNull no_dialog;
        help_book_loaded = help_controller.AddBook(wxFileName(path), false);
    }
    if (!help_book_loaded)
        wxLogStatus("%s", help_book_missing_message);
    return help_book_loaded;
}

void MyFrame::set_twins(wxCheckBox* first, wxCheckBox* second, bool ticked)
{
    first->SetValue(ticked);
    second->SetValue(ticked);
    Refresh(true);
}

void MyFrame::OnShowHR(wxCommandEvent& event)
{
    set_twins(hr_checkbox, hr_surface_checkbox, event.GetInt() != 0);
}

void MyFrame::OnShowLR(wxCommandEvent& event)
{
    set_twins(lr_checkbox, lr_surface_checkbox, event.GetInt() != 0);
}

void MyFrame::OnShowLandmarks(wxCommandEvent& event)
{
    set_twins(landmarks_checkbox, landmarks_checkbox2, event.GetInt() != 0);
}

void MyFrame::OnShowDisplacements(wxCommandEvent&) { Refresh(true); }

void MyFrame::OnShowMatches(wxCommandEvent&) { Refresh(true); }
