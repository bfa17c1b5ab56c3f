// The menus and the controls of both notebook pages, with their defaults.
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/radiobox.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/tglbtn.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int border = 5;
constexpr int flag_all = wxALL;
constexpr int flag_top = wxLEFT | wxRIGHT | wxTOP;
constexpr int flag_centre = wxALL | wxALIGN_CENTER_HORIZONTAL;
// Centring across a horizontal row has no effect there (and the toolkit asserts on it).
constexpr int flag_centre_in_row = wxALL;
constexpr long slider_style = wxSL_HORIZONTAL | wxSL_VALUE_LABEL;

void* code_as_client_data(int code)
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(code));
}

wxScrolled<wxPanel>* new_page(wxWindow* notebook)
{
    auto* page = new wxScrolled<wxPanel>(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                         wxHSCROLL | wxVSCROLL | wxSUNKEN_BORDER);
    page->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    page->SetSizer(new wxBoxSizer(wxVERTICAL));
    // Only downwards: the notebook is as wide as its widest page beside a scroll bar. A page
    // that may scroll sideways does so by the scroll bar's width as soon as it scrolls down
    // (the toolkit counts the bar twice over), and whenever a control at its right edge takes
    // the focus, hiding the labels on the left.
    page->SetScrollRate(0, 10);
    return page;
}

// Makes choice as wide as its longest label, counting later_label too, an item added later;
// never narrower than it was made.
void fit_to_labels(wxChoice* choice, const wxString& later_label)
{
    const int item = choice->Append(later_label);
    choice->InvalidateBestSize();
    const int width = std::max(choice->GetSize().GetWidth(), choice->GetBestSize().GetWidth());
    choice->Delete(static_cast<unsigned int>(item));
    choice->InvalidateBestSize();
    choice->SetInitialSize(wxSize(width, -1));
}

// A wheel turned over control scrolls its page unless control has the focus: scrolling down a
// long page must not change every slider or choice that passes under the pointer. The page
// scrolls by the wheel's lines, one scroll unit each, keeping the remainder of smooth wheels.
void give_wheel_to_page(wxWindow* control, wxScrolled<wxPanel>* page)
{
    control->Bind(wxEVT_MOUSEWHEEL, [control, page, rest = 0](wxMouseEvent& event) mutable {
        if (wxWindow::FindFocus() == control || event.GetWheelDelta() <= 0) {
            event.Skip();
            return;
        }
        rest += event.GetWheelRotation();
        const int notches = rest / event.GetWheelDelta();
        rest -= notches * event.GetWheelDelta();
        const int lines = notches * std::max(event.GetLinesPerAction(), 1);
        int x = 0;
        int y = 0;
        page->GetViewStart(&x, &y);
        if (event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL)
            x = std::max(x + lines, 0);
        else
            y = std::max(y - lines, 0);
        page->Scroll(x, y);
    });
}

wxBoxSizer* add_row(wxSizer* parent)
{
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    parent->Add(row, 0, wxALL, 0);
    return row;
}

wxStaticBoxSizer* add_box(wxWindow* page, wxSizer* parent, const wxString& label)
{
    auto* box = new wxStaticBoxSizer(wxVERTICAL, page, label);
    parent->Add(box, 0, wxALL, border);
    return box;
}

wxCheckBox* add_checkbox(wxWindow* parent, wxSizer* sizer, int id, const wxString& label,
                         bool ticked, int flag)
{
    auto* box = new wxCheckBox(parent, id, label);
    box->SetValue(ticked);
    sizer->Add(box, 0, flag, border);
    return box;
}

wxStaticText* add_text(wxWindow* parent, wxSizer* sizer, const wxString& text, int flag)
{
    auto* label = new wxStaticText(parent, wxID_ANY, text);
    sizer->Add(label, 0, flag, border);
    return label;
}

} // namespace

void MyFrame::build_menus()
{
    file_menu = new wxMenu;
    file_menu->Append(id_load_surfaces, "Load surfaces\tAlt-N",
                      "Load two surface (.ply|.wrl) files", wxITEM_NORMAL);
    file_menu->Append(id_load_surface_data, "Load surface data\tAlt-T",
                      "Load a surface data (.bin) file", wxITEM_NORMAL);
    file_menu->AppendSeparator();
    file_menu->Append(id_save_registration, "Save registration\tAlt-R",
                      "Save the current registration (.reg)", wxITEM_NORMAL);
    file_menu->Append(id_save_map, "Save LR-HR map\tAlt-M", "Save the LR-HR map (.csv)",
                      wxITEM_NORMAL);
    file_menu->Append(id_save_lr_data, "Save LR data\tAlt-D", "Save the LR data (.bin)",
                      wxITEM_NORMAL);
    file_menu->AppendSeparator();
    file_menu->Append(id_save_lr_surface, "Save LR surface\tAlt-L",
                      "Save the current LR surface (.ply)", wxITEM_NORMAL);
    file_menu->Append(id_save_hr_surface, "Save HR surface\tAlt-H",
                      "Save the current HR surface (.ply)", wxITEM_NORMAL);
    file_menu->Append(id_save_screenshot, "Save screenshot\tAlt-P", "Save a screenshot (.png)",
                      wxITEM_NORMAL);
    file_menu->AppendSeparator();
    file_menu->Append(id_load_batch, "Load and run batch file\tAlt-B",
                      "Load and run a batch (.run) file", wxITEM_NORMAL);
    file_menu->AppendSeparator();
    file_menu->Append(id_quit, "Quit\tAlt-Q", "Terminate this program", wxITEM_NORMAL);

    auto* help_menu = new wxMenu;
    help_menu->Append(id_help, "Help\tF1", "Display help pages", wxITEM_NORMAL);
    help_menu->AppendSeparator();
    help_menu->Append(id_about, "About\tAlt-A", "About this program", wxITEM_NORMAL);

    auto* menu_bar = new wxMenuBar;
    menu_bar->Append(file_menu, "File");
    menu_bar->Append(help_menu, "Help");
    SetMenuBar(menu_bar);
}

wxWindow* MyFrame::build_registration_page(wxWindow* notebook)
{
    wxScrolled<wxPanel>* page = new_page(notebook);
    wxSizer* sizer = page->GetSizer();

    const wxString mouse_items[] = {"Viewpoint", "LR surface"};
    mouse_radiobox = new wxRadioBox(page, id_mouse, "Mouse", wxDefaultPosition, wxDefaultSize, 2,
                                    mouse_items, 1, wxRA_SPECIFY_ROWS);
    sizer->Add(mouse_radiobox, 0, flag_all, border);

    wxStaticBoxSizer* show = add_box(page, sizer, "Show");
    wxWindow* show_parent = show->GetStaticBox();
    wxBoxSizer* row = add_row(show);
    hr_checkbox = add_checkbox(show_parent, row, id_show_hr, "HR", true, flag_all);
    landmarks_checkbox =
        add_checkbox(show_parent, row, id_show_landmarks, "landmarks", false, flag_all);
    row = add_row(show);
    lr_checkbox = add_checkbox(show_parent, row, id_show_lr, "LR", true, flag_all);
    matches_checkbox = add_checkbox(show_parent, row, id_show_matches, "matches", false, flag_all);

    const wxString shading_items[] = {"Plain",
                                      "Surface data",
                                      "Gaussian curvature",
                                      "Registration error",
                                      "Signed data error",
                                      "Absolute data error"};
    shading_radiobox =
        new wxRadioBox(page, id_surface_shading, "Surface shading", wxDefaultPosition,
                       wxDefaultSize, 6, shading_items, 1, wxRA_SPECIFY_COLS);
    sizer->Add(shading_radiobox, 0, flag_all, border);

    const wxString rim_items[] = {"Yes", "No", "To rims"};
    rims_radiobox = new wxRadioBox(page, id_match_rims, "Match rims", wxDefaultPosition,
                                   wxDefaultSize, 3, rim_items, 2, wxRA_SPECIFY_COLS);
    sizer->Add(rims_radiobox, 0, flag_all, border);

    search_range_label = add_text(page, sizer, "Search range (x0.1 mm)", flag_top);
    search_range_slider = new wxSlider(page, id_search_range, 100, 0, 100, wxDefaultPosition,
                                       control_size(this, 80, -1), slider_style);
    sizer->Add(search_range_slider, 0, flag_all, border);

    row = add_row(sizer);
    add_text(page, row, "Fussy %", flag_top);
    row->AddSpacer(20);
    auto_sequence_checkbox =
        add_checkbox(page, row, id_auto_sequence, "Auto sequence", false, flag_top);
    fussy_slider = new wxSlider(page, id_fussy, 0, 0, 100, wxDefaultPosition,
                                control_size(this, 80, -1), slider_style);
    sizer->Add(fussy_slider, 0, flag_all, border);

    row = add_row(sizer);
    add_text(page, row, "Registration", flag_centre_in_row);
    registration_choice =
        new wxChoice(page, id_registration_type, wxDefaultPosition, control_size(this, 60, -1));
    for (int code = rigid; code <= similarity_tps; ++code)
        registration_choice->Append(registration_type_labels[static_cast<std::size_t>(code)],
                                    code_as_client_data(code));
    registration_choice->SetSelection(0);
    fit_to_labels(registration_choice, registration_type_labels[similarity_ssm]);
    row->Add(registration_choice, 0, flag_centre_in_row, border);

    row = add_row(sizer);
    row->Add(new wxButton(page, id_aspect_to_similarity, "Aspect->Similarity", wxDefaultPosition,
                          control_size(this, 63, -1)),
             0, flag_centre_in_row, border);
    row->Add(new wxButton(page, id_reset, "Reset", wxDefaultPosition, control_size(this, 23, -1)),
             0, flag_centre_in_row, border);

    add_text(page, sizer, "Iterations", flag_top);
    iterations_slider = new wxSlider(page, id_iterations, 20, 0, 200, wxDefaultPosition,
                                     control_size(this, 80, -1), slider_style);
    sizer->Add(iterations_slider, 0, flag_all, border);

    row = add_row(sizer);
    start_toggle =
        new wxToggleButton(page, id_start, "Start", wxDefaultPosition, control_size(this, 23, -1));
    row->Add(start_toggle, 0, flag_centre_in_row, border);
    row->Add(new wxButton(page, id_smooth, "Smooth", wxDefaultPosition, control_size(this, 34, -1)),
             0, flag_centre_in_row, border);
    row->Add(new wxButton(page, id_map, "Map", wxDefaultPosition, control_size(this, 23, -1)), 0,
             flag_centre_in_row, border);

    for (wxWindow* control :
         {static_cast<wxWindow*>(search_range_slider), static_cast<wxWindow*>(fussy_slider),
          static_cast<wxWindow*>(iterations_slider), static_cast<wxWindow*>(registration_choice)})
        give_wheel_to_page(control, page);
    return page;
}

wxWindow* MyFrame::build_utilities_page(wxWindow* notebook)
{
    wxScrolled<wxPanel>* page = new_page(notebook);
    wxSizer* sizer = page->GetSizer();

    wxStaticBoxSizer* show = add_box(page, sizer, "Show");
    wxWindow* show_parent = show->GetStaticBox();
    hr_surface_checkbox = add_checkbox(show_parent, show, id_show_hr, "HR surface", true, flag_all);
    lr_surface_checkbox = add_checkbox(show_parent, show, id_show_lr, "LR surface", true, flag_all);
    landmarks_checkbox2 =
        add_checkbox(show_parent, show, id_show_landmarks, "landmarks", false, flag_all);
    displacements_checkbox = add_checkbox(show_parent, show, id_show_displacements,
                                          "vertex displacements", false, flag_all);
    sizer->AddSpacer(20);

    wxStaticBoxSizer* ssm = add_box(page, sizer, "SSM");
    wxWindow* ssm_parent = ssm->GetStaticBox();
    add_text(ssm_parent, ssm, "mode", flag_top);
    ssm_mode_slider = new wxSlider(ssm_parent, id_ssm_mode, 1, 1, 50, wxDefaultPosition,
                                   control_size(this, 80, -1), slider_style);
    ssm->Add(ssm_mode_slider, 0, flag_centre, border);
    add_text(ssm_parent, ssm, "component", flag_top);
    ssm_component_slider =
        new wxSlider(ssm_parent, id_ssm_component, 0, -100, 100, wxDefaultPosition,
                     control_size(this, 80, -1), slider_style);
    ssm->Add(ssm_component_slider, 0, flag_centre, border);
    animate_toggle = new wxToggleButton(ssm_parent, id_ssm_animate, "Animate and save");
    ssm->Add(animate_toggle, 0, flag_centre, border);
    sizer->AddSpacer(20);

    wxStaticBoxSizer* creator = add_box(page, sizer, "Automatic SSM creator");
    wxWindow* creator_parent = creator->GetStaticBox();
    wxBoxSizer* row = add_row(creator);
    ssm_creator_choice = new wxChoice(creator_parent, id_ssm_creator_type);
    for (int code : {similarity_lad, affine_lad, aspect_lad, similarity_tps})
        ssm_creator_choice->Append(registration_type_labels[static_cast<std::size_t>(code)],
                                   code_as_client_data(code));
    ssm_creator_choice->SetSelection(0);
    row->Add(ssm_creator_choice, 0, flag_centre_in_row, border);
    row->Add(new wxButton(creator_parent, id_ssm_create, "Create", wxDefaultPosition,
                          control_size(this, 30, -1)),
             0, flag_centre_in_row, border);
    procrustes_checkbox =
        add_checkbox(creator_parent, creator, wxID_ANY, "Procrustes alignment", true, flag_all);
    rescale_checkbox = add_checkbox(creator_parent, creator, wxID_ANY, "Rescale by centroid size",
                                    false, flag_all);
    sizer->AddSpacer(20);

    wxStaticBoxSizer* writer = add_box(page, sizer, "Automatic batch file writer");
    wxWindow* writer_parent = writer->GetStaticBox();
    row = add_row(writer);
    row->Add(new wxButton(writer_parent, id_batch_write, "Write", wxDefaultPosition,
                          control_size(this, 30, -1)),
             0, flag_centre_in_row, border);
    row->AddSpacer(15);
    defaults_checkbox =
        add_checkbox(writer_parent, row, id_defaults, "Defaults", true, flag_centre_in_row);

    for (wxWindow* control :
         {static_cast<wxWindow*>(ssm_mode_slider), static_cast<wxWindow*>(ssm_component_slider),
          static_cast<wxWindow*>(ssm_creator_choice)})
        give_wheel_to_page(control, page);
    return page;
}
