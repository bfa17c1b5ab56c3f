// "Save registration", "Save LR surface" and "Save HR surface" from the File menu: each reaches
// its handler through the event table and saves under the name the controls select.
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/default_pose.h"
#include "registration/registration_type.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/tglbtn.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>

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

// Puts the frame back after a test that loaded a pair.
struct LoadedPairCleanup {
    ~LoadedPairCleanup() { gui_test::reset_frame(); }
};

// A pair saved and loaded again: the LR and HR meshes written as PLY files of a fresh
// directory, loaded LR first, and the frame put back afterwards.
class SavedPair : public testing::Test {
protected:
    SavedPair() { gui_test::reset_frame(); }

    bool write(const std::string& lr_name, const Mesh& lr, const std::string& hr_name,
               const Mesh& hr)
    {
        lr_file = lr_name;
        hr_file = hr_name;
        return write_ply_file(dir.file(lr_file), lr) && write_ply_file(dir.file(hr_file), hr);
    }
    // Clears the working state and loads the two files.
    bool load() const
    {
        frame().clear_surfaces();
        return frame().load_surface_files(dir.file(lr_file), dir.file(hr_file), lr_file, hr_file,
                                          true);
    }

    TempDirectory dir;
    const LoadedPairCleanup cleanup; // runs before the directory goes
    std::string lr_file;
    std::string hr_file;
};

// A registration saved from the menu comes back when the pair is loaded again, carried through
// both surfaces' centring; a file that does not parse falls back to the default pose.
TEST_F(SavedPair, SavedRegistrationComesBackWithTheNextLoad)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write("tibia.ply", icosphere(1, 5.0, {1, -2, 3}), "tibia_ct.ply",
                      icosphere(2, 10.0, {-4, 0.5, 2})));
    ASSERT_TRUE(load());

    std::array<Matrix4*, 4> families{&f.rigid_transform, &f.similarity_transform,
                                     &f.affine_transform, &f.aspect_transform};
    std::array<Matrix4, 4> saved;
    for (std::size_t i = 0; i < families.size(); ++i) {
        make_transform(*families[i], 0.5 * i, -1.0, 2.0, 10.0 * i, 20, -30);
        (*families[i])[0] *= 1.0 + 0.1 * i; // a scale in the later families
        saved[i] = *families[i];
    }
    f.similarity_ffd_grid.values[7] += 0.25;
    const FfdGrid saved_grid = f.similarity_ffd_grid;
    choose_menu_item(id_save_registration);
    ASSERT_EQ(gui_test::status_text(0), "Registration file saved");

    ASSERT_TRUE(load());
    EXPECT_EQ(gui_test::status_text(0), "Surfaces and registration loaded successfully");
    for (std::size_t i = 0; i < families.size(); ++i)
        for (int e = 0; e < 16; ++e)
            EXPECT_NEAR((*families[i])[e], saved[i][e], 1e-6) << "family " << i << " element " << e;
    EXPECT_NEAR(f.similarity_ffd_grid.values[7], saved_grid.values[7], 1e-6);

    // One data line after the last grid.
    std::ofstream(dir.file("tibia-tibia_ct.reg"), std::ios::app) << "1 2 3 4\n";
    ASSERT_TRUE(load());
    EXPECT_EQ(gui_test::status_text(0), "Could not parse registration file, setting defaults: "
                                        "tibia-tibia_ct.reg: line 35: a data line after the "
                                        "last grid");
    EXPECT_EQ(f.similarity_transform.m, compute_default_pose(f).m);
}

// An "Aspect + FFD" run: its grid is saved with the registration, and the next load of the pair
// shows the same deformed LR shape.
TEST_F(SavedPair, AnFfdRegistrationComesBackWithTheNextLoad)
{
    MyFrame& f = frame();
    ASSERT_TRUE(
        write("radius.ply", icosphere(2, 10.0), "radius_ct.ply", ellipsoid(3, 12.0, 9.0, 8.0)));
    ASSERT_TRUE(load());
    f.registration_choice->SetSelection(aspect_ffd);
    gui_test::send_command(f.registration_choice, wxEVT_CHOICE, aspect_ffd);
    f.search_range_slider->SetValue(f.search_range_slider->GetMax());
    f.iterations_slider->SetValue(2);
    f.start_toggle->SetValue(true);
    gui_test::send_command(f.start_toggle, wxEVT_TOGGLEBUTTON, 1);
    ASSERT_TRUE(gui_test::pump_until([&] { return !f.start_toggle->GetValue(); },
                                     std::chrono::seconds(60)));
    ASSERT_TRUE(gui_test::status_text(0).StartsWith("Iteration 2, error is "));
    const FfdGrid fitted = f.aspect_ffd_grid;
    const std::vector<Point3> shape = f.lr_surface->deformed_positions;
    choose_menu_item(id_save_registration);
    ASSERT_EQ(gui_test::status_text(0), "Registration file saved");

    f.aspect_ffd_grid = FfdGrid{};
    ASSERT_TRUE(load());
    EXPECT_EQ(gui_test::status_text(0), "Surfaces and registration loaded successfully");
    EXPECT_EQ(f.current_ffd_grid, &f.aspect_ffd_grid);
    for (std::size_t e = 0; e < fitted.values.size(); ++e)
        ASSERT_NEAR(f.aspect_ffd_grid.values[e], fitted.values[e], 1e-6) << e;
    EXPECT_EQ(f.lr_surface->shown, ShownShape::deformed);
    double gap = 0.0, deformation = 0.0;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        gap = std::max(gap, squared_distance(f.lr_surface->deformed_positions[i], shape[i]));
        deformation = std::max(deformation, squared_distance(shape[i], f.lr_surface->positions[i]));
    }
    EXPECT_LT(gap, 1e-10);
    EXPECT_GT(deformation, 0.01);
}

} // namespace
