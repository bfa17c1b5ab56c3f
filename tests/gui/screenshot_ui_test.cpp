// "Save screenshot" and the picture it writes: name, size, orientation, rows without skew,
// image handlers, and failures that must not stop a batch at a dialog.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "tests/fixtures/full_device.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/temp_files.h"
#include "tests/fixtures/ply_files.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/view_test_support.h"
#include "view/gl_canvas.h"
#include "view/view_maths.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/testing.h>

#include <cstdlib>

using gui_test::canvas;
using gui_test::frame;

namespace {

class Screenshot : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gui_test::reset_view());
        directory = wxFileName::CreateTempFileName("kelvorand-screenshot");
        wxRemoveFile(directory);
        ASSERT_TRUE(wxFileName::Mkdir(directory));
    }

    void TearDown() override
    {
        gui_test::reset_view();
        wxFileName::Rmdir(directory, wxPATH_RMDIR_RECURSIVE);
    }

    // An LR sphere of radius 10 mm moved 15 mm up the view, the HR sphere hidden: the picture
    // has the surface in its upper half only.
    void show_raised_lr()
    {
        MyFrame& f = frame();
        gui_test::show_surfaces(icosphere(3, 10.0), icosphere(2, 10.0));
        f.lr_surface->path_stem = (directory + "/lr_bone").utf8_string();
        f.hr_surface->name = "hr_bone";
        make_translation(f.current_transform, 0.0, 15.0, 0.0);
        gui_test::tick(f.hr_checkbox, false);
        canvas().zoom = fit_zoom(30.0, 30.0, canvas().client_width, canvas().client_height);
    }

    wxString expected_file() const { return directory + "/lr_bone-hr_bone.png"; }

    static void save_screenshot()
    {
        wxCommandEvent event(wxEVT_MENU, id_save_screenshot);
        frame().OnCanvasSave(event);
        gui_test::pump_once();
    }

    // The red LR surface rather than the black background.
    static bool lit(const wxImage& image, int x, int y)
    {
        return image.GetRed(x, y) > 10 && image.GetRed(x, y) > image.GetGreen(x, y);
    }

    wxString directory;
};

} // namespace

TEST_F(Screenshot, RefusedWithoutSurfaces)
{
    const wxString cwd_file = "-.png";
    save_screenshot();
    EXPECT_EQ(gui_test::status_text(), "Need LR and HR surfaces");
    EXPECT_FALSE(wxFileExists(cwd_file));
}

TEST_F(Screenshot, PictureIsTheViewUprightAndUnskewedForAnyWidth)
{
    const int original_width = canvas().client_width;
    show_raised_lr();
    // Widths 4k + 1, 4k + 2 and 4k + 3 pad the rows that GL reads; 4k does not.
    for (int extra = 0; extra < 4; ++extra) {
        const int width = original_width - original_width % 4 - 40 + extra;
        ASSERT_TRUE(gui_test::set_view_width(width));
        const int w = canvas().client_width;
        const int h = canvas().client_height;
        ASSERT_EQ(w % 4, extra) << w;

        save_screenshot();
        EXPECT_EQ(gui_test::status_text(), "Screenshot saved");
        wxImage image;
        ASSERT_TRUE(image.LoadFile(expected_file(), wxBITMAP_TYPE_PNG)) << w;
        ASSERT_EQ(image.GetWidth(), w);
        ASSERT_EQ(image.GetHeight(), h);
        EXPECT_FALSE(image.HasAlpha());

        // The sphere's centre lies 15 mm above the view centre: in the upper half of the file.
        const int sphere_row = h / 2 - static_cast<int>(15.0 * canvas().zoom);
        EXPECT_TRUE(lit(image, w / 2, sphere_row)) << w;
        EXPECT_FALSE(lit(image, w / 2, h - 1 - sphere_row)) << w;
        // Its row is centred on the middle column: rows that kept filler bytes would drift.
        for (int row : {sphere_row - 40, sphere_row, sphere_row + 40}) {
            int left = -1;
            int right = -1;
            for (int x = 0; x < w; ++x) {
                if (lit(image, x, row)) {
                    right = x;
                    if (left < 0)
                        left = x;
                }
            }
            ASSERT_GE(left, 0) << w << " row " << row;
            EXPECT_NEAR((left + right) / 2.0, (w - 1) / 2.0, 2.0) << w << " row " << row;
        }
    }
    gui_test::set_view_width(original_width);
}

// The picture is read where the scene is drawn, before the swap: the front buffer of some GL
// stacks (Mesa's software renderer among them) reads back black once swapped.
TEST_F(Screenshot, SavedPictureIsWhatTheWindowShowsAfterLoading)
{
    const std::string lr = (directory + "/lr.ply").utf8_string();
    const std::string hr = (directory + "/hr.ply").utf8_string();
    ASSERT_TRUE(write_ply_file(lr, icosphere(3, 10.0)));
    ASSERT_TRUE(write_ply_file(hr, icosphere(3, 20.0)));
    ASSERT_TRUE(frame().load_surface_files(lr, hr, "lr.ply", "hr.ply", true));

    const wxImage shown = gui_test::painted_window();
    ASSERT_TRUE(shown.IsOk());
    const int w = shown.GetWidth();
    const int h = shown.GetHeight();
    // The pair covers the view centre; the corners show the background.
    EXPECT_GT(shown.GetGreen(w / 2, h / 2), 90);
    EXPECT_EQ(shown.GetGreen(0, 0), 0);

    save_screenshot();
    EXPECT_EQ(gui_test::status_text(), "Screenshot saved");
    wxImage saved;
    ASSERT_TRUE(saved.LoadFile(directory + "/lr-hr.png", wxBITMAP_TYPE_PNG));
    ASSERT_EQ(saved.GetWidth(), w);
    ASSERT_EQ(saved.GetHeight(), h);
    int differing = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            differing += std::abs(saved.GetRed(x, y) - shown.GetRed(x, y)) > 2 ||
                         std::abs(saved.GetGreen(x, y) - shown.GetGreen(x, y)) > 2 ||
                         std::abs(saved.GetBlue(x, y) - shown.GetBlue(x, y)) > 2;
    EXPECT_EQ(differing, 0);
}

TEST_F(Screenshot, OtherImageHandlersStayAndAMissingOneIsAdded)
{
    show_raised_lr();
    if (wxImage::FindHandler(wxBITMAP_TYPE_BMP) == nullptr)
        wxImage::AddHandler(new wxBMPHandler);
    wxImage::RemoveHandler("JPEG file");
    ASSERT_EQ(wxImage::FindHandler(wxBITMAP_TYPE_JPEG), nullptr);

    EXPECT_TRUE(canvas().save_canvas_image(expected_file(), wxBITMAP_TYPE_PNG));
    EXPECT_NE(wxImage::FindHandler(wxBITMAP_TYPE_BMP), nullptr);
    EXPECT_NE(wxImage::FindHandler(wxBITMAP_TYPE_PNG), nullptr);

    const wxString jpeg = directory + "/view.jpg";
    EXPECT_TRUE(canvas().save_canvas_image(jpeg, wxBITMAP_TYPE_JPEG));
    EXPECT_NE(wxImage::FindHandler(wxBITMAP_TYPE_JPEG), nullptr);
    EXPECT_NE(wxImage::FindHandler(wxBITMAP_TYPE_PNG), nullptr);
    wxImage image;
    EXPECT_TRUE(image.LoadFile(jpeg, wxBITMAP_TYPE_JPEG));
}

TEST_F(Screenshot, WriteFailureIsReportedInTheStatusLineWithoutADialog)
{
    show_raised_lr();
    frame().lr_surface->path_stem = (directory + "/missing/lr_bone").utf8_string();
    for (bool batch : {true, false}) {
        frame().batch_running = batch;
        frame().SetStatusText("", 0);
        save_screenshot();
        // Any error dialog of the toolkit would fail the test through the dialog hook.
        gui_test::pump_once();
        EXPECT_EQ(gui_test::status_text(),
                  "Could not save image " + directory + "/missing/lr_bone-hr_bone.png");
    }
}

// A picture cut short on a full disk is no saved picture: the older one stays, nothing partial
// is left, and the failure is said (in a batch the status line goes to the log as well).
TEST_F(Screenshot, FullDiskKeepsTheOlderPicture)
{
    show_raised_lr();
    FullDevice device;
    frame().lr_surface->path_stem = device.file("lr_bone");
    const std::string target = device.file("lr_bone-hr_bone.png");
    const std::string older = "an older picture";
    device.write("lr_bone-hr_bone.png", older);
    for (bool batch : {true, false}) {
        frame().batch_running = batch;
        frame().SetStatusText("", 0);
        device.fill();
        save_screenshot();
        device.empty();
        EXPECT_EQ(gui_test::status_text(), wxString::FromUTF8("Could not save image " + target));
        EXPECT_EQ(read_file(target), older);
        EXPECT_EQ(device.names(), std::vector<std::string>{"lr_bone-hr_bone.png"});
    }
    frame().batch_running = false;
    save_screenshot();
    EXPECT_EQ(gui_test::status_text(), "Screenshot saved");
    wxImage saved;
    EXPECT_TRUE(saved.LoadFile(wxString::FromUTF8(target), wxBITMAP_TYPE_PNG));
}

TEST_F(Screenshot, UnsupportedTypeAsksOnlyOutsideABatch)
{
    show_raised_lr();
    const wxString gif = directory + "/view.gif";
    wxTEST_DIALOG(EXPECT_FALSE(canvas().save_canvas_image(gif, wxBITMAP_TYPE_GIF)),
                  wxExpectModal<wxMessageDialog>(wxID_OK));
    frame().batch_running = true;
    EXPECT_FALSE(canvas().save_canvas_image(gif, wxBITMAP_TYPE_GIF));
    EXPECT_EQ(gui_test::status_text(), "Unsupported bitmap type, unable to save image");
    EXPECT_FALSE(wxFileExists(gif));
}

TEST_F(Screenshot, ViewWithoutPixelsSavesNothing)
{
    show_raised_lr();
    const wxSize size = canvas().GetSize();
    canvas().SetSize(wxSize(size.x, 0));
    canvas().viewport_set = false;
    EXPECT_FALSE(canvas().save_canvas_image(expected_file(), wxBITMAP_TYPE_PNG));
    EXPECT_FALSE(wxFileExists(expected_file()));
    canvas().SetSize(size);
    canvas().viewport_set = false;
}
