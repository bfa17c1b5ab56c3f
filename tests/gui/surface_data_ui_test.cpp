// Surface data through the menu and the buttons: "Load surface data", "Smooth", "Save LR data",
// "Map" and "Save LR-HR map" on a generated pair.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "surface/c_locale.h"
#include "surface/mean_edge_lengths.h"
#include "surface/surface_data_file.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/scratch_directory.h"
#include "tests/gui/gui_test_support.h"
#include "view/display_list_kind.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/testing.h>

#include <filesystem>
#include <fstream>

using gui_test::frame;
using gui_test::status_text;

namespace {

// Chooses a file in the data file dialog. The toolkit's file chooser takes the path only once
// it has read the folder, so the events are pumped until it has.
class ChooseFile : public wxExpectModalBase<wxFileDialog, ChooseFile> {
public:
    explicit ChooseFile(const std::string& chosen) : path(wxString::FromUTF8(chosen)) {}

protected:
    int OnInvoked(wxFileDialog* dialog) const override
    {
        dialog->SetPath(path);
        gui_test::pump_until([dialog] { return !dialog->GetPath().empty(); });
        return wxID_OK;
    }

private:
    wxString path;
};

class SurfaceDataUi : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        MyFrame& f = frame();
        gui_test::reset_frame();
        fill_surface(*f.lr_surface, icosphere(1, 10.0)); // 42 vertices
        fill_surface(*f.hr_surface, icosphere(2, 10.0)); // 162 vertices
        f.lr_surface->path_stem = scratch.file("lr");
        f.hr_surface->name = "hr";
        f.shading_radiobox->SetSelection(shading_surface_data);
    }
    void TearDown() override { gui_test::reset_frame(); }

    static void menu(int id, void (MyFrame::*handler)(wxCommandEvent&))
    {
        wxCommandEvent event(wxEVT_MENU, id);
        (frame().*handler)(event);
    }

    ScratchDirectory scratch;
};

TEST_F(SurfaceDataUi, LoadSmoothAndSaveThroughTheMenu)
{
    MyFrame& f = frame();
    const std::string path = scratch.file("lr_thickness.bin");
    ASSERT_TRUE(write_data_values(path, std::vector<double>(42, 1.5)));

    wxTEST_DIALOG(menu(id_load_surface_data, &MyFrame::OnBinOpen), ChooseFile(path));
    EXPECT_EQ(status_text(), "Loaded LR data");
    EXPECT_TRUE(f.lr_data_loaded);

    // "Smooth" works only while the data are shown on the "Registration" page, and says what
    // it needs when it smooths nothing.
    wxCommandEvent button(wxEVT_BUTTON, id_smooth);
    f.control_notebook->ChangeSelection(1); // "Utilities"
    f.OnSmooth(button);
    f.control_notebook->ChangeSelection(0);
    EXPECT_EQ(f.lr_surface->smoothing_steps, 0);
    EXPECT_EQ(status_text(), "Loaded LR data"); // its button is not on that page
    f.shading_radiobox->SetSelection(shading_plain);
    f.OnSmooth(button);
    EXPECT_EQ(f.lr_surface->smoothing_steps, 0);
    EXPECT_EQ(status_text(), "Smooth works on the \"Surface data\" shading: select it first");
    f.shading_radiobox->SetSelection(shading_surface_data);
    f.lr_checkbox->SetValue(false); // the HR surface is shown, but has no data
    f.OnSmooth(button);
    EXPECT_EQ(f.lr_surface->smoothing_steps, 0);
    EXPECT_EQ(status_text(), "No surface data shown to smooth");
    f.lr_checkbox->SetValue(true);
    f.OnSmooth(button);
    f.OnSmooth(button);
    EXPECT_EQ(f.lr_surface->smoothing_steps, 2);
    EXPECT_DOUBLE_EQ(f.lr_surface->data[0], 1.5);
    double e_hr = 0.0, e_lr = 0.0;
    ASSERT_TRUE(compute_mean_edge_lengths(f, e_hr, e_lr));
    EXPECT_EQ(status_text(), c_format("Smoothing FWHM: %.2f mm (LR)", 3.0 * e_lr));

    menu(id_save_lr_data, &MyFrame::OnDataSave);
    EXPECT_EQ(status_text(), "Wrote LR data");
    EXPECT_EQ(std::filesystem::file_size(scratch.file("lr_2LR_thickness.bin")), 42u * 8);
    EXPECT_EQ(std::filesystem::file_size(scratch.file("lr_2LR_thick_err.bin")), 42u * 8);
}

TEST_F(SurfaceDataUi, MapWithoutHrDataOrLandmarksSaysSo)
{
    MyFrame& f = frame();
    wxCommandEvent button(wxEVT_BUTTON, id_map);
    f.OnMap(button);
    EXPECT_EQ(status_text(), "Need HR data or landmarks to map");
    EXPECT_FALSE(f.lr_data_loaded);
}

TEST_F(SurfaceDataUi, MapAsksAboutUndersamplingOutsideBatchesAndSavesTheDataMap)
{
    MyFrame& f = frame();
    ASSERT_TRUE(gui_test::wait_for_gl_ready());
    Surface& lr = *f.lr_surface;
    Surface& hr = *f.hr_surface;
    std::vector<double> values(162);
    for (std::size_t k = 0; k < values.size(); ++k)
        values[k] = 0.5 + 0.25 * static_cast<double>(k);
    const std::string path = scratch.file("hr_thickness.bin");
    ASSERT_TRUE(write_data_values(path, values));
    ASSERT_TRUE(f.load_data_file(path, "hr_thickness.bin", data_target_hr));
    ASSERT_NE(hr.data_list, 0u);
    // LR vertex i matched to HR vertex 2i; the current matches serve the search range.
    for (std::size_t i = 0; i < lr.match_index.size(); ++i) {
        lr.match_index[i] = static_cast<std::int64_t>(2 * i);
        lr.match_distance2[i] = 0.0;
    }
    lr.match_range2 = 1e300;
    f.search_range_slider->SetValue(10);

    // The LR edges (42 vertices) are longer than the width of the unsmoothed HR data (162).
    double e_hr = 0.0, e_lr = 0.0;
    ASSERT_TRUE(compute_mean_edge_lengths(f, e_hr, e_lr));
    ASSERT_GT(e_lr, e_hr);
    wxCommandEvent button(wxEVT_BUTTON, id_map);
    wxString message, caption;
    f.SetStatusText("", 0);
    wxTEST_DIALOG(f.OnMap(button), gui_test::MessageAnswer(wxID_CANCEL, &message, &caption));
    EXPECT_EQ(caption, "Undersampling");
    EXPECT_EQ(
        message.utf8_string(),
        c_format("Possible undersampling\nHR FWHM %.2f mm, LR edge length %.2f mm\nReally map?",
                 e_hr, e_lr));
    EXPECT_FALSE(f.lr_data_loaded);
    EXPECT_EQ(status_text(), "");

    wxTEST_DIALOG(f.OnMap(button), gui_test::MessageAnswer(wxID_OK, &message, &caption));
    EXPECT_EQ(status_text(), "Data mapped");
    ASSERT_TRUE(f.lr_data_loaded);
    for (std::size_t i = 0; i < lr.data.size(); ++i)
        ASSERT_EQ(lr.data[i], values[2 * i]) << "vertex " << i;

    // A batch run is never stopped by the question.
    lr.data.assign(lr.data.size(), 0.0);
    f.batch_running = true;
    f.OnMap(button);
    f.batch_running = false;
    EXPECT_EQ(lr.data[1], values[2]);

    // The data shading modes draw the mapped data: their LR lists are compiled for the view.
    const std::pair<int, DisplayListKind> shown[] = {
        {shading_surface_data, list_lr_data},
        {shading_signed_data_error, list_lr_signed_data_error},
        {shading_absolute_data_error, list_lr_absolute_data_error},
    };
    for (const auto& [mode, kind] : shown) {
        f.shading_radiobox->SetSelection(mode);
        gui_test::send_command(f.shading_radiobox, wxEVT_RADIOBOX, mode);
        wxImage image;
        ASSERT_TRUE(gui_test::canvas().capture_view(image));
        EXPECT_NE(display_list_id(lr, kind), 0u) << "shading " << mode;
        EXPECT_FALSE(f.list_dirty[static_cast<std::size_t>(dirty_flag(kind))])
            << "shading " << mode;
    }

    // Both surfaces carry data: the map is named after the data and holds the values.
    f.registration_choice->SetSelection(1);
    menu(id_save_map, &MyFrame::OnResSave);
    f.registration_choice->SetSelection(0);
    EXPECT_EQ(status_text(), "Saved LR-HR vertex and data map");
    std::ifstream map(scratch.file("lr_mapped_with_hr_thickness-hr_thickness-sim.csv"));
    std::string line;
    ASSERT_TRUE(std::getline(map, line));
    EXPECT_EQ(line, "0,0,0.500000,0.500000");
    ASSERT_TRUE(std::getline(map, line));
    EXPECT_EQ(line, "1,2,1.000000,1.000000");
}

TEST_F(SurfaceDataUi, SaveMapNeedsSurfacesAndWritesThePlainMap)
{
    MyFrame& f = frame();
    f.registration_choice->SetSelection(1);
    f.lr_surface->match_range2 = 1e300; // no re-matching: every vertex unmatched
    menu(id_save_map, &MyFrame::OnResSave);
    EXPECT_EQ(status_text(), "Saved LR-HR vertex map");
    std::ifstream map(scratch.file("lr-hr-sim.csv"));
    std::string line;
    std::size_t lines = 0;
    for (; std::getline(map, line); ++lines)
        EXPECT_EQ(line, std::to_string(lines) + ",unmatched");
    EXPECT_EQ(lines, 42u);
    EXPECT_TRUE(std::filesystem::exists(scratch.file("lr-mapped_landmarks.ply")));
    f.registration_choice->SetSelection(0);

    f.lr_surface->clear();
    f.SetStatusText("", 0);
    menu(id_save_map, &MyFrame::OnResSave);
    EXPECT_EQ(status_text(), "Need LR and HR surfaces");
}

} // namespace
