// "Save registration", "Save LR surface" and "Save HR surface" from the File menu: each reaches
// its handler through the event table and saves under the name the controls select.
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/slider.h>

#include <filesystem>

using gui_test::frame;

namespace {

void choose_menu_item(int id)
{
    wxCommandEvent event(wxEVT_MENU, id);
    frame().GetEventHandler()->ProcessEvent(event);
}

TEST(FileSaving, MenuItemsSaveUnderTheNamesTheControlsSelect)
{
    MyFrame& f = frame();
    TempDirectory dir;
    f.clear_surfaces();
    fill_surface(*f.lr_surface, icosphere(1, 5.0));
    fill_surface(*f.hr_surface, icosphere(1, 10.0));
    f.lr_surface->name = "lr";
    f.lr_surface->path_stem = dir.file("lr");
    f.hr_surface->name = "hr";
    f.hr_surface->path_stem = dir.file("hr");
    f.lr_surface->selected.assign(f.lr_surface->selected.size(), 1);
    f.registration_unsaved = true;

    choose_menu_item(id_save_registration);
    EXPECT_EQ(gui_test::status_text(0), "Registration file saved");
    EXPECT_TRUE(std::filesystem::exists(dir.file("lr-hr.reg")));
    EXPECT_FALSE(f.registration_unsaved);

    choose_menu_item(id_save_hr_surface);
    EXPECT_EQ(gui_test::status_text(0), "HR surface file saved");
    EXPECT_TRUE(std::filesystem::exists(dir.file("hr-resaved.ply")));

    f.registration_choice->SetSelection(similarity_tps);
    choose_menu_item(id_save_lr_surface);
    EXPECT_EQ(gui_test::status_text(0), "LR surface file saved");
    EXPECT_TRUE(std::filesystem::exists(dir.file("lr-hr-sim_tps.ply")));
    f.registration_choice->SetSelection(rigid);

    // On the "Utilities" page the name comes from the shape-model sliders, while a model is
    // shown.
    f.control_notebook->SetSelection(1);
    choose_menu_item(id_save_lr_surface);
    EXPECT_EQ(gui_test::status_text(0), "No current LR surface");
    f.ssm_component_slider->Enable();
    f.ssm_mode_slider->SetValue(2);
    f.ssm_component_slider->SetValue(-40);
    choose_menu_item(id_save_lr_surface);
    EXPECT_TRUE(std::filesystem::exists(dir.file("lr-ssm_2_-40.ply")));

    f.ssm_component_slider->SetValue(0);
    f.ssm_mode_slider->SetValue(1);
    f.ssm_component_slider->Disable();
    f.control_notebook->SetSelection(0);
    f.clear_surfaces();
}

} // namespace
