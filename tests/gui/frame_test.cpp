// The main window as built: menus, controls and their defaults, twin check boxes, the
// splitter, help and About.
#include "app/control_ids.h"
#include "app/frame.h"
#include "app/program_version.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/view_test_support.h"
#include "view/gl_canvas.h"

#include <gtest/gtest.h>

#include <wx/aboutdlg.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/splitter.h>
#include <wx/statusbr.h>
#include <wx/tglbtn.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

using gui_test::frame;

namespace {

std::intptr_t client_code(wxChoice* choice, unsigned int item)
{
    return reinterpret_cast<std::intptr_t>(choice->GetClientData(item));
}

wxString item_labels(wxChoice* choice)
{
    wxString labels;
    for (unsigned int i = 0; i < choice->GetCount(); ++i)
        labels << choice->GetString(i) << "|";
    return labels;
}

// Every test starts from the window as the program starts.
class MainWindow : public testing::Test {
protected:
    void SetUp() override { gui_test::reset_frame(); }
};

} // namespace

TEST_F(MainWindow, TitleStatusBarAndView)
{
    EXPECT_EQ(frame().GetTitle(), "Kelvorand: bone registration and mapping");
    EXPECT_TRUE(frame().IsShown());
    ASSERT_EQ(frame().GetIcons().GetIconCount(), 1u);
    EXPECT_EQ(frame().GetIcons().GetIconByIndex(0).GetWidth(), 128);
    ASSERT_NE(frame().GetStatusBar(), nullptr);
    EXPECT_EQ(frame().GetStatusBar()->GetFieldsCount(), 2);
    EXPECT_EQ(gui_test::status_text(1), "No surfaces loaded");
    EXPECT_EQ(gui_test::canvas().GetName(), "MyGLCanvas");
    EXPECT_TRUE(gui_test::wait_for_gl_ready());
}

TEST_F(MainWindow, StatusTextsInQuickSuccessionAllReachTheScreen)
{
    // The status bar repaints at once only now and then; the texts between wait for the event
    // loop, which must still paint the last of them.
    ASSERT_TRUE(gui_test::wait_for_gl_ready());
    wxStatusBar& bar = *frame().GetStatusBar();
    int paints = 0;
    const auto count_paint = [&paints](wxPaintEvent& event) {
        ++paints;
        event.Skip();
    };
    bar.Bind(wxEVT_PAINT, count_paint);
    for (int i = 0; i < 4; ++i)
        frame().SetStatusText(wxString::Format("Iteration %d", i), 0);
    const int paints_before_last = paints;
    frame().SetStatusText("Iteration 4", 0);
    // Painted with the call, or left to the loop, which paints it.
    EXPECT_TRUE(paints > paints_before_last ||
                gui_test::pump_until([&] { return paints > paints_before_last; }));
    bar.Unbind(wxEVT_PAINT, count_paint);
    EXPECT_EQ(gui_test::status_text(0), "Iteration 4");
}

TEST_F(MainWindow, NumberTextKeepsItsDecimalPointWhateverTheUserLocale)
{
    // The tests run with a German LANG; the toolkit took the locale from it at start-up.
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    EXPECT_STREQ(text, "0.5");
}

TEST_F(MainWindow, MenuItemsWithAcceleratorsAndHelp)
{
    struct Item {
        int id;
        const char* label;
        const char* help;
    };
    const Item items[] = {
        {id_load_surfaces, "Load surfaces\tAlt-N", "Load two surface (.ply|.wrl) files"},
        {id_load_surface_data, "Load surface data\tAlt-T", "Load a surface data (.bin) file"},
        {id_save_registration, "Save registration\tAlt-R", "Save the current registration (.reg)"},
        {id_save_map, "Save LR-HR map\tAlt-M", "Save the LR-HR map (.csv)"},
        {id_save_lr_data, "Save LR data\tAlt-D", "Save the LR data (.bin)"},
        {id_save_lr_surface, "Save LR surface\tAlt-L", "Save the current LR surface (.ply)"},
        {id_save_hr_surface, "Save HR surface\tAlt-H", "Save the current HR surface (.ply)"},
        {id_save_screenshot, "Save screenshot\tAlt-P", "Save a screenshot (.png)"},
        {id_load_batch, "Load and run batch file\tAlt-B", "Load and run a batch (.run) file"},
        {id_quit, "Quit\tAlt-Q", "Terminate this program"},
        {id_help, "Help\tF1", "Display help pages"},
        {id_about, "About\tAlt-A", "About this program"},
    };
    wxMenuBar* bar = frame().GetMenuBar();
    ASSERT_EQ(bar->GetMenuCount(), 2u);
    EXPECT_EQ(bar->GetMenuLabelText(0), "File");
    EXPECT_EQ(bar->GetMenuLabelText(1), "Help");
    EXPECT_EQ(bar->GetMenu(0), frame().file_menu);
    for (const Item& item : items) {
        wxMenuItem* entry = bar->FindItem(item.id);
        ASSERT_NE(entry, nullptr) << item.label;
        EXPECT_EQ(entry->GetItemLabel(), item.label);
        EXPECT_EQ(entry->GetHelp(), item.help);
        EXPECT_EQ(entry->GetKind(), wxITEM_NORMAL);
    }
    // Separators split File into load, save results, save surfaces, batch and quit.
    wxString layout;
    for (const wxMenuItem* entry : frame().file_menu->GetMenuItems())
        layout << (entry->IsSeparator() ? wxString("-") : wxString::Format("%d", entry->GetId()))
               << " ";
    EXPECT_EQ(layout, "6003 6004 - 6006 6008 6009 - 6011 6012 6010 - 6005 - 6000 ");
}

TEST_F(MainWindow, ControlsStartAtTheirDefaults)
{
    MyFrame& f = frame();
    EXPECT_EQ(f.control_notebook->GetId(), id_notebook);
    ASSERT_EQ(f.control_notebook->GetPageCount(), 2u);
    EXPECT_EQ(f.control_notebook->GetPageText(0), "Registration");
    EXPECT_EQ(f.control_notebook->GetPageText(1), "Utilities");
    EXPECT_EQ(f.control_notebook->GetSelection(), 0);

    EXPECT_EQ(f.mouse_radiobox->GetSelection(), 0);
    EXPECT_EQ(f.mouse_radiobox->GetString(1), "LR surface");
    EXPECT_EQ(f.shading_radiobox->GetSelection(), 0);
    EXPECT_EQ(f.shading_radiobox->GetCount(), 6u);
    EXPECT_EQ(f.shading_radiobox->GetString(5), "Absolute data error");
    EXPECT_EQ(f.rims_radiobox->GetSelection(), 0);
    EXPECT_EQ(f.rims_radiobox->GetString(2), "To rims");

    struct SliderDefault {
        wxSlider* slider;
        int id, min, max, value;
        bool enabled;
    };
    const SliderDefault sliders[] = {
        {f.search_range_slider, id_search_range, 0, 100, 100, true},
        {f.fussy_slider, id_fussy, 0, 100, 0, true},
        {f.iterations_slider, id_iterations, 0, 200, 20, true},
        {f.ssm_mode_slider, id_ssm_mode, 1, 50, 1, false},
        {f.ssm_component_slider, id_ssm_component, -100, 100, 0, false},
    };
    for (const SliderDefault& s : sliders) {
        EXPECT_EQ(s.slider->GetId(), s.id);
        EXPECT_EQ(s.slider->GetMin(), s.min) << s.id;
        EXPECT_EQ(s.slider->GetMax(), s.max) << s.id;
        EXPECT_EQ(s.slider->GetValue(), s.value) << s.id;
        EXPECT_EQ(s.slider->IsEnabled(), s.enabled) << s.id;
    }
    EXPECT_EQ(f.search_range_label->GetLabel(), "Search range (x0.1 mm)");

    struct BoxDefault {
        wxCheckBox* box;
        int id;
        const char* label;
        bool ticked;
    };
    const BoxDefault boxes[] = {
        {f.hr_checkbox, id_show_hr, "HR", true},
        {f.lr_checkbox, id_show_lr, "LR", true},
        {f.hr_surface_checkbox, id_show_hr, "HR surface", true},
        {f.lr_surface_checkbox, id_show_lr, "LR surface", true},
        {f.landmarks_checkbox, id_show_landmarks, "landmarks", false},
        {f.landmarks_checkbox2, id_show_landmarks, "landmarks", false},
        {f.matches_checkbox, id_show_matches, "matches", false},
        {f.displacements_checkbox, id_show_displacements, "vertex displacements", false},
        {f.auto_sequence_checkbox, id_auto_sequence, "Auto sequence", false},
        {f.defaults_checkbox, id_defaults, "Defaults", true},
        {f.procrustes_checkbox, wxID_ANY, "Procrustes alignment", true},
        {f.rescale_checkbox, wxID_ANY, "Rescale by centroid size", false},
    };
    for (const BoxDefault& b : boxes) {
        EXPECT_EQ(b.box->GetLabel(), b.label);
        EXPECT_EQ(b.box->GetValue(), b.ticked) << b.label;
        if (b.id != wxID_ANY)
            EXPECT_EQ(b.box->GetId(), b.id) << b.label;
        else
            EXPECT_LT(b.box->GetId(), 0) << b.label; // a toolkit-chosen id, not one of ours
    }

    EXPECT_EQ(item_labels(f.registration_choice),
              "Rigid|Similarity|Similarity + FFD|Similarity + LAD|Affine|Affine + FFD|"
              "Affine + LAD|Aspect|Aspect + FFD|Aspect + LAD|Similarity + TPS|");
    for (unsigned int i = 0; i < f.registration_choice->GetCount(); ++i)
        EXPECT_EQ(client_code(f.registration_choice, i), static_cast<std::intptr_t>(i));
    EXPECT_EQ(f.registration_choice->GetSelection(), 0);

    EXPECT_EQ(item_labels(f.ssm_creator_choice),
              "Similarity + LAD|Affine + LAD|Aspect + LAD|Similarity + TPS|");
    const std::intptr_t creator_codes[] = {3, 6, 9, 10};
    for (unsigned int i = 0; i < 4; ++i)
        EXPECT_EQ(client_code(f.ssm_creator_choice, i), creator_codes[i]);
    EXPECT_EQ(f.ssm_creator_choice->GetSelection(), 0);

    EXPECT_EQ(f.start_toggle->GetLabel(), "Start");
    EXPECT_FALSE(f.start_toggle->GetValue());
    EXPECT_EQ(f.animate_toggle->GetLabel(), "Animate and save");
    EXPECT_FALSE(f.animate_toggle->IsEnabled());
    for (int id :
         {id_map, id_smooth, id_reset, id_aspect_to_similarity, id_batch_write, id_ssm_create})
        EXPECT_NE(f.FindWindow(id), nullptr) << id;

    // Nothing runs by itself after start-up.
    EXPECT_EQ(f.iteration_counter, -1);
    EXPECT_EQ(gui_test::run_idle_binding_count(), 0);
}

TEST_F(MainWindow, ControlSizeConvertsDialogUnitsAndWidensPositiveWidths)
{
    const wxSize pixels = frame().ConvertDialogToPixels(wxSize(80, 20));
    EXPECT_EQ(control_size(&frame(), 80, 20), wxSize(pixels.x + 15, pixels.y));
    EXPECT_EQ(control_size(&frame(), -1, -1), wxSize(-1, -1));
    EXPECT_EQ(control_size(&frame(), 0, 10).x, 0);
}

TEST_F(MainWindow, TwinCheckBoxesTickTogether)
{
    MyFrame& f = frame();
    struct Twins {
        wxCheckBox* registration_page;
        wxCheckBox* utilities_page;
    };
    const Twins twins[] = {{f.hr_checkbox, f.hr_surface_checkbox},
                           {f.lr_checkbox, f.lr_surface_checkbox},
                           {f.landmarks_checkbox, f.landmarks_checkbox2}};
    for (const Twins& pair : twins) {
        const bool start = pair.registration_page->GetValue();
        // A click on the Utilities page box ...
        pair.utilities_page->SetValue(!start);
        gui_test::send_command(pair.utilities_page, wxEVT_CHECKBOX, !start);
        EXPECT_EQ(pair.registration_page->GetValue(), !start) << pair.utilities_page->GetLabel();
        // ... and one on the Registration page box, back again.
        pair.registration_page->SetValue(start);
        gui_test::send_command(pair.registration_page, wxEVT_CHECKBOX, start);
        EXPECT_EQ(pair.utilities_page->GetValue(), start) << pair.registration_page->GetLabel();
    }
    // The two boxes without a twin leave every other box alone.
    f.matches_checkbox->SetValue(true);
    gui_test::send_command(f.matches_checkbox, wxEVT_CHECKBOX, 1);
    f.displacements_checkbox->SetValue(true);
    gui_test::send_command(f.displacements_checkbox, wxEVT_CHECKBOX, 1);
    EXPECT_TRUE(f.hr_checkbox->GetValue());
    EXPECT_FALSE(f.landmarks_checkbox->GetValue());
    f.matches_checkbox->SetValue(false);
    f.displacements_checkbox->SetValue(false);
}

TEST_F(MainWindow, DoubleClickOnTheSashKeepsBothPanes)
{
    auto* splitter = dynamic_cast<wxSplitterWindow*>(wxWindow::FindWindowByName("splitter"));
    ASSERT_NE(splitter, nullptr);
    ASSERT_TRUE(splitter->IsSplit());
    EXPECT_EQ(splitter->GetSplitMode(), wxSPLIT_VERTICAL);
    EXPECT_EQ(splitter->GetWindow1(), &gui_test::canvas());
    EXPECT_EQ(splitter->GetWindow2(), frame().control_notebook);
    EXPECT_EQ(splitter->GetSashGravity(), 1.0);
    splitter->OnDoubleClickSash(splitter->GetSashPosition(), 10);
    gui_test::pump_once();
    EXPECT_TRUE(splitter->IsSplit());
    EXPECT_TRUE(frame().control_notebook->IsShown());
}

TEST(Help, MissingBookOnlyReportsOnTheStatusLine)
{
    MyFrame& f = frame();
    // No book lies beside the test program.
    EXPECT_FALSE(f.help_book_loaded);
    f.SetStatusText("", 0);
    wxCommandEvent help(wxEVT_MENU, id_help);
    f.ProcessWindowEvent(help);
    EXPECT_EQ(gui_test::status_text(0), "Could not load Kelvorand_help.zip, help system inactive");

    // Missing, and present but unreadable: the status line tells, and no error dialog waits
    // for an answer (idle time flushes the log; a dialog would fail the test there).
    const wxString stem = wxFileName::CreateTempFileName("kelvorand-help");
    wxRemoveFile(stem);
    const wxString broken = stem + ".zip";
    wxFFile(broken, "w").Write("PK not a zip archive");
    for (const wxString& path : {wxString("/nonexistent/Kelvorand_help.zip"), broken}) {
        f.SetStatusText("", 0);
        EXPECT_FALSE(f.open_help_book(path)) << path;
        EXPECT_EQ(gui_test::status_text(0),
                  "Could not load Kelvorand_help.zip, help system inactive");
        gui_test::pump_once();
    }
    wxRemoveFile(broken);
}

TEST(Help, BookFromTheBuildOpensAtItsPage)
{
    MyFrame& f = frame();
    ASSERT_TRUE(f.open_help_book(KELVORAND_HELP_BOOK));
    f.SetStatusText("", 0);
    wxCommandEvent help(wxEVT_MENU, id_help);
    f.ProcessWindowEvent(help);
    wxHtmlHelpFrame* window = f.help_controller.GetFrame();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsShown());
    EXPECT_TRUE(
        window->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage().EndsWith("Kelvorand.html"));
    EXPECT_EQ(gui_test::status_text(0), "");
    window->Close(true);
    gui_test::pump_until([&] { return f.help_controller.GetFrame() == nullptr; });
    f.help_book_loaded = false;
}

TEST(About, BoxShowsNameVersionAndIcon)
{
    const wxAboutDialogInfo info = about_box_info();
    EXPECT_EQ(info.GetName(), "Kelvorand");
    // The build's own version, the one its package and batch logs show.
    EXPECT_EQ(info.GetVersion(), wxString("v") + program_version + "\n05 October 2023");
    EXPECT_TRUE(info.HasIcon());
    EXPECT_TRUE(info.GetIcon().IsOk());
    EXPECT_EQ(info.GetIcon().GetWidth(), 128);
    EXPECT_TRUE(info.GetCopyright().EndsWith("2023"));
    EXPECT_EQ(info.GetWebSiteURL(), info.GetWebSiteDescription());
    // Authors, a blank line, six lines of address, a blank line, the e-mail address.
    EXPECT_EQ(wxSplit(info.GetDescription(), '\n').size(), 10u);
}

namespace {

// Collects what is written to the standard error stream (the toolkit's warnings) while it lives.
class StderrCapture {
public:
    StderrCapture() : file(std::tmpfile()), saved(dup(2))
    {
        std::fflush(stderr);
        dup2(fileno(file), 2);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string text()
    {
        restore();
        std::string bytes;
        std::rewind(file);
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
            bytes += static_cast<char>(c);
        return bytes;
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        saved = -1;
    }

    std::FILE* file;
    int saved;
};

} // namespace

TEST_F(MainWindow, ControlNotebookKeepsItsWidthWhenTheWindowIsShrunkAndRestored)
{
    MyFrame& f = frame();
    auto* splitter = dynamic_cast<wxSplitterWindow*>(wxWindow::FindWindowByName("splitter"));
    ASSERT_NE(splitter, nullptr);
    const wxSize start = f.GetSize();
    // The notebook at the width the window allows beside the smallest view.
    const int width =
        f.GetMinClientSize().x - splitter->GetMinimumPaneSize() - splitter->GetSashSize();
    ASSERT_TRUE(
        gui_test::set_view_width(splitter->GetClientSize().x - width - splitter->GetSashSize()));
    ASSERT_EQ(f.control_notebook->GetSize().x, width);
    const int view_width = gui_test::canvas().GetSize().x;
    EXPECT_GE(width, f.control_notebook->GetPage(0)->GetSizer()->GetMinSize().x);

    StderrCapture warnings;
    f.SetSize(wxSize(120, 90));
    gui_test::pump_until([&] { return f.GetSize() != start; });
    gui_test::pump_until([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(f.GetClientSize(), f.GetMinClientSize());
    EXPECT_EQ(f.control_notebook->GetSize().x, width);
    f.SetSize(start);
    gui_test::pump_until([&] { return f.GetSize() == start; });
    gui_test::pump_until([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(f.control_notebook->GetSize().x, width);
    EXPECT_EQ(gui_test::canvas().GetSize().x, view_width);
    EXPECT_EQ(warnings.text(), "");
}
