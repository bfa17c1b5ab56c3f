// "Help" and "About".
#include "app/frame.h"
#include "app/program_version.h"

#include <wx/aboutdlg.h>
#include <wx/icon.h>
#include <wx/log.h>

const char help_book_missing_message[] = "Could not load Kelvorand_help.zip, help system inactive";

wxAboutDialogInfo about_box_info()
{
    wxAboutDialogInfo info;
    info.SetName("Kelvorand");
    // The build's version, so that a picture of the box tells which program it was.
    wxString version = wxString("v") + program_version;
    version << "\n" << "05" << " " << "October" << " " << "2023";
    info.SetVersion(version);
    info.SetDescription("The Kelvorand developers\n"
                        "\n"
                        "Kelvorand Bone Morphometry Group\n"
                        "Institute of Skeletal Form\n"
                        "14 Harbour Lane\n"
                        "Eastfield\n"
                        "EF4 2QT\n"
                        "Northland\n"
                        "\n"
                        "kelvorand@example.org");
    info.SetIcon(program_icon());
    info.SetCopyright("(C) The Kelvorand developers 2023");
    info.SetWebSite("https://kelvorand.example.org", "https://kelvorand.example.org");
    return info;
}

void MyFrame::OnHelp(wxCommandEvent&)
{
    if (help_book_loaded)
        help_controller.Display("Kelvorand.html");
    else
        wxLogStatus("%s", help_book_missing_message);
}

void MyFrame::OnAbout(wxCommandEvent&) { wxAboutBox(about_box_info()); }
