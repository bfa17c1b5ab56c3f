// "Load surfaces" through the frame: the questions, the file dialog, the partner search and
// the state a loaded pair leaves.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_file.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/proximal_femur.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/testing.h>
#include <wx/tglbtn.h>

#include <cmath>
#include <cstdio>

using gui_test::frame;
using gui_test::status_text;

namespace {

// Chooses one file in the surface file dialog (or cancels it) and remembers how it was asked.
class SurfaceFileChoice : public wxExpectModalBase<wxFileDialog, SurfaceFileChoice> {
public:
    SurfaceFileChoice(const std::string& chosen, int given_answer = wxID_OK,
                      wxString* seen_title = nullptr, wxString* seen_wildcard = nullptr,
                      long* seen_style = nullptr)
        : path(chosen), answer(given_answer), title(seen_title), wildcard(seen_wildcard),
          style(seen_style)
    {
    }

protected:
    int OnInvoked(wxFileDialog* dialog) const override
    {
        if (title != nullptr)
            *title = dialog->GetMessage();
        if (wildcard != nullptr)
            *wildcard = dialog->GetWildcard();
        if (style != nullptr)
            *style = dialog->GetWindowStyle();
        if (!path.empty()) {
            dialog->SetPath(wxString::FromUTF8(path));
            // The toolkit's chooser selects the file once it has read the folder.
            gui_test::pump_until([dialog] {
                wxArrayString paths;
                dialog->GetPaths(paths);
                return !paths.empty();
            });
        }
        return answer;
    }

private:
    std::string path;
    int answer;
    wxString* title;
    wxString* wildcard;
    long* style;
};

class LoadSurfaces : public gui_test::FrameTest {
protected:
    // The menu item "Load surfaces", with the file dialog answered by choice.
    static void load(const SurfaceFileChoice& choice)
    {
        wxCommandEvent event(wxEVT_MENU, id_load_surfaces);
        wxTEST_DIALOG(frame().ProcessWindowEvent(event), choice);
    }

    TempDirectory directory;
};

} // namespace

// One chosen file and its "canonical" partner from the same directory: the partner is LR
// although it has more vertices, and the pair is named in the status bar.
TEST_F(LoadSurfaces, AChosenFileWithItsCanonicalPartner)
{
    MyFrame& f = frame();
    const std::string chosen = directory.file("knee.ply");
    ASSERT_TRUE(write_ply_file(chosen, icosphere(1, 20.0)));
    ASSERT_TRUE(write_ply_file(directory.file("knee_canonical.ply"), icosphere(2, 25.0),
                               {"LANDMARK \"top\" 0 0 25 0 0 1"}));
    directory.write("notes.txt", "not a surface");
    f.registration_choice->SetSelection(2); // "Similarity + FFD" shows the deformed shape
    wxString title, wildcard;
    long style = 0;
    load(SurfaceFileChoice(chosen, wxID_OK, &title, &wildcard, &style));

    EXPECT_EQ(title, "Open surface files");
    EXPECT_EQ(wildcard, "PLY and WRL files|*.ply;*.wrl");
    EXPECT_EQ(style & (wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE | wxFD_CHANGE_DIR),
              wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE | wxFD_CHANGE_DIR);
    ASSERT_EQ(f.lr_surface, &f.surfaces[1]);
    EXPECT_EQ(f.lr_surface->name, "knee_canonical");
    EXPECT_EQ(f.lr_surface->path_stem, directory.file("knee_canonical"));
    EXPECT_EQ(f.hr_surface->name, "knee");
    EXPECT_EQ(f.lr_surface->vertex_count, 162);
    EXPECT_EQ(f.hr_surface->vertex_count, 42);
    EXPECT_EQ(status_text(1), "knee_canonical (LR) and knee (HR)");
    EXPECT_EQ(status_text(0), "Surfaces loaded successfully");
    ASSERT_EQ(f.lr_surface->landmarks.size(), 1u);
    EXPECT_EQ(f.lr_surface->shown, ShownShape::deformed);
    EXPECT_EQ(f.hr_surface->shown, ShownShape::as_read);
    EXPECT_EQ(f.lr_surface->selected, std::vector<std::uint8_t>(162, 1));
    EXPECT_EQ(f.lad_neighbours.size(), 162u);
    EXPECT_EQ(f.lad_parameters.size(), 162u);
    EXPECT_TRUE(f.list_dirty[dirty_lr_plain]);
    EXPECT_TRUE(std::isfinite(gui_test::canvas().zoom) && gui_test::canvas().zoom > 0.0);
}

// The closing status follows the pair's registration file, unless "Registration error" shading
// shows the alignment error instead (a registration file that does not parse is still named).
TEST_F(LoadSurfaces, FinalStatusFollowsTheRegistrationFileAndShading)
{
    MyFrame& f = frame();
    const std::string chosen = directory.file("knee.ply");
    ASSERT_TRUE(write_ply_file(chosen, icosphere(2, 20.0)));
    ASSERT_TRUE(write_ply_file(directory.file("knee_canonical.ply"), icosphere(1, 21.0)));
    const std::string reg_name = "knee_canonical-knee.reg";
    load(SurfaceFileChoice(chosen));
    ASSERT_EQ(status_text(0), "Surfaces loaded successfully");
    const std::string whole = registration_file_text(f);
    struct Case {
        const char* why;
        const char* reg_file; // null: none
        int shading;
        wxString status; // the whole line, or its start for an alignment error
    };
    const Case cases[] = {
        {"a registration file read whole", whole.c_str(), shading_plain,
         "Surfaces and registration loaded successfully"},
        {"a registration file that does not parse", "not a registration\n", shading_plain,
         "Could not parse registration file, setting defaults: knee_canonical-knee.reg: line 1: "
         "'not' is not a number of the usable range"},
        {"the alignment error replaces the success message", whole.c_str(),
         shading_registration_error, "Registration error is "},
        {"a parse error is still reported under error shading", "not a registration\n",
         shading_registration_error,
         "Could not parse registration file, setting defaults: knee_canonical-knee.reg: line 1: "
         "'not' is not a number of the usable range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        directory.write(reg_name, c.reg_file);
        f.shading_radiobox->SetSelection(c.shading);
        load(SurfaceFileChoice(chosen));
        if (c.status.EndsWith(" "))
            EXPECT_TRUE(status_text(0).StartsWith(c.status)) << status_text(0);
        else
            EXPECT_EQ(status_text(0), c.status);
        EXPECT_EQ(status_text(1), "knee_canonical (LR) and knee (HR)");
    }
    f.shading_radiobox->SetSelection(shading_plain);
}

TEST_F(LoadSurfaces, AnUnreadablePartnerLoadsNothing)
{
    MyFrame& f = frame();
    const std::string chosen = directory.file("hip.ply");
    ASSERT_TRUE(write_ply_file(chosen, octahedron()));
    directory.write("hip_canonical.ply", "not a ply file");
    load(SurfaceFileChoice(chosen));
    EXPECT_EQ(status_text(0), "Could not parse ply header: hip_canonical.ply: Wrong magic number. "
                              "Expected 'ply'");
    EXPECT_EQ(status_text(1), "No surfaces loaded");
    EXPECT_EQ(f.surfaces[0].vertex_count, 0);
    EXPECT_EQ(f.surfaces[1].vertex_count, 0);
}

TEST_F(LoadSurfaces, OneFileWithoutAPartnerIsNotEnough)
{
    MyFrame& f = frame();
    const std::string chosen = directory.file("alone.ply");
    ASSERT_TRUE(write_ply_file(chosen, octahedron()));
    load(SurfaceFileChoice(chosen));
    EXPECT_EQ(status_text(0), "Must select two surface files to load");
    EXPECT_EQ(f.surfaces[0].vertex_count, 0);
}

// After "Save LR-HR map" and "Save LR surface" the folder holds files that sort before the
// canonical surface; they hold annotation lines only, or a moved copy of a surface.
TEST_F(LoadSurfaces, TheProgramsOwnOutputsAreNoPartner)
{
    MyFrame& f = frame();
    const std::string chosen = directory.file("knee.ply");
    ASSERT_TRUE(write_ply_file(chosen, octahedron()));
    ASSERT_TRUE(write_ply_file(directory.file("knee_canonical-knee-sim.ply"), octahedron()));
    directory.write("knee_canonical-mapped_landmarks.ply", "comment landmark tip 1 2 3\n");
    ASSERT_TRUE(write_ply_file(directory.file("knee_canonical.ply"), icosphere(1)));
    load(SurfaceFileChoice(chosen));
    EXPECT_EQ(status_text(1), "knee_canonical (LR) and knee (HR)");

    ASSERT_EQ(std::remove(directory.file("knee_canonical.ply").c_str()), 0);
    load(SurfaceFileChoice(chosen));
    EXPECT_EQ(status_text(0), "Must select two surface files to load: the canonical files there "
                              "are only the program's own outputs (knee_canonical-knee-sim.ply, "
                              "knee_canonical-mapped_landmarks.ply)");
    EXPECT_EQ(status_text(1), "knee_canonical (LR) and knee (HR)") << "the loaded pair stays";
    EXPECT_EQ(static_cast<std::size_t>(f.lr_surface->vertex_count), icosphere(1).positions.size());
}

TEST_F(LoadSurfaces, CancellingTheUnsavedQuestionChangesNothing)
{
    MyFrame& f = frame();
    fill_surface(*f.lr_surface, icosphere(1));
    fill_surface(*f.hr_surface, icosphere(2));
    f.registration_unsaved = true;
    wxString message, caption;
    wxCommandEvent event(wxEVT_MENU, id_load_surfaces);
    // Only the question is expected: a file dialog would fail the test.
    wxTEST_DIALOG(f.ProcessWindowEvent(event),
                  gui_test::MessageAnswer(wxID_CANCEL, &message, &caption));
    EXPECT_EQ(message, "Current registration not saved.\nReally load another surface file?");
    EXPECT_EQ(caption, "Registration not saved");
    EXPECT_EQ(f.lr_surface->vertex_count, 42);
    EXPECT_TRUE(f.registration_unsaved);
}

// Landmarks or landcurves defined by hand and not saved are asked about before either load
// throws them away, after an unsaved registration; the first Cancel leaves everything as it
// was, and OK goes on to the file dialog. A batch started as from the command line asks nothing.
TEST_F(LoadSurfaces, BothLoadsAskAboutUnsavedHandWorkFirst)
{
    MyFrame& f = frame();
    const wxString hand_question =
        "Landmarks or landcurves defined by hand not saved.\nReally load another surface file?";
    for (const int menu : {id_load_surfaces, id_load_batch}) {
        SCOPED_TRACE(menu);
        for (const bool registration_unsaved : {false, true}) {
            SCOPED_TRACE(registration_unsaved ? "registration unsaved too" : "hand work only");
            fill_surface(*f.lr_surface, icosphere(1));
            fill_surface(*f.hr_surface, icosphere(2));
            f.hr_surface->landmarks.push_back(Landmark{});
            f.hr_hand_annotations_unsaved = true;
            f.registration_unsaved = registration_unsaved;
            wxCommandEvent event(wxEVT_MENU, menu);
            wxString message, caption, registration_message, registration_caption;
            if (registration_unsaved) {
                wxTEST_DIALOG(
                    f.ProcessWindowEvent(event),
                    gui_test::MessageAnswer(wxID_OK, &registration_message, &registration_caption),
                    gui_test::MessageAnswer(wxID_CANCEL, &message, &caption));
            } else {
                wxTEST_DIALOG(f.ProcessWindowEvent(event),
                              gui_test::MessageAnswer(wxID_CANCEL, &message, &caption));
            }
            EXPECT_EQ(message, hand_question);
            EXPECT_EQ(caption, "Landmarks not saved");
            EXPECT_EQ(f.lr_surface->vertex_count, 42);
            EXPECT_EQ(f.hr_surface->landmarks.size(), 1u);
            EXPECT_TRUE(f.hr_hand_annotations_unsaved);
            EXPECT_EQ(f.registration_unsaved, registration_unsaved);

            // OK to every question: the file dialog comes next (and is cancelled here).
            message.clear();
            if (registration_unsaved) {
                wxTEST_DIALOG(
                    f.ProcessWindowEvent(event),
                    gui_test::MessageAnswer(wxID_OK, &registration_message, &registration_caption),
                    gui_test::MessageAnswer(wxID_OK, &message, &caption),
                    wxExpectModal<wxFileDialog>("", wxID_CANCEL));
            } else {
                wxTEST_DIALOG(f.ProcessWindowEvent(event),
                              gui_test::MessageAnswer(wxID_OK, &message, &caption),
                              wxExpectModal<wxFileDialog>("", wxID_CANCEL));
            }
            EXPECT_EQ(message, hand_question);
            if (registration_unsaved) {
                EXPECT_EQ(registration_message,
                          "Current registration not saved.\nReally load another surface file?");
            }
            gui_test::reset_frame();
        }
    }

    fill_surface(*f.lr_surface, icosphere(1));
    fill_surface(*f.hr_surface, icosphere(2));
    f.hr_hand_annotations_unsaved = true;
    f.registration_unsaved = true;
    parse_batch_file(
        f,
        wxString::FromUTF8(directory.write(
            "jobs.run", directory.path() + "/\nlr.ply hr.ply n/a n/a 0 0 0 50 0 20 1 0 -1 0 0\n")));
    EXPECT_TRUE(f.batch_running);
    EXPECT_FALSE(f.hand_annotations_unsaved());
}

// A running batch ends before any dialog, so it cannot go on with the pair being chosen; the
// "Registration" page is shown again with its selections back.
TEST_F(LoadSurfaces, EndsABatchRunAndReturnsToTheRegistrationPage)
{
    MyFrame& f = frame();
    f.batch_running = true;
    f.press_start(true);
    ASSERT_EQ(gui_test::run_idle_binding_count(), 1);
    f.shading_radiobox->SetSelection(2);
    f.control_notebook->SetSelection(1);
    f.batch_running = true;
    f.press_start(true);
    load(SurfaceFileChoice("", wxID_CANCEL));
    EXPECT_EQ(gui_test::run_idle_binding_count(), 0);
    EXPECT_FALSE(f.run_active());
    EXPECT_FALSE(f.batch_running);
    EXPECT_FALSE(f.start_toggle->GetValue());
    EXPECT_EQ(f.control_notebook->GetSelection(), 0);
    EXPECT_EQ(f.shading_radiobox->GetSelection(), 2);
    f.shading_radiobox->SetSelection(0);
}

// Both proximal femurs of a pair get their anatomical landcurves and landmarks while loading,
// each on its own side, and the analysis leaves the status bar to the loader.
TEST_F(LoadSurfaces, ProximalFemursGetTheirAnatomyWhileLoading)
{
    MyFrame& f = frame();
    const std::string chosen = directory.file("right_femur_proximal.ply");
    const Mesh right = proximal_femur();
    ASSERT_TRUE(write_ply_file(chosen, right));
    ASSERT_TRUE(
        write_ply_file(directory.file("left_femur_proximal_canonical.ply"), mirrored_in_y(right)));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout(); // the crest step may note that it took a lone vertex
    load(SurfaceFileChoice(chosen));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(status_text(0), "Surfaces loaded successfully");
    for (const Surface* surface : {f.lr_surface, f.hr_surface}) {
        SCOPED_TRACE(surface->name);
        std::vector<std::string> names;
        for (const Landcurve& curve : surface->landcurves)
            names.push_back(curve.name);
        for (const Landmark& landmark : surface->landmarks)
            names.push_back(landmark.name);
        EXPECT_EQ(names, (std::vector<std::string>{
                             "auto-detected rim 0", "Head-neck boundary", "Lesser trochanter",
                             "Shaft at lesser trochanter", "Fovea capitis centre",
                             "Posterosuperior point on intertrochanteric crest",
                             "Deepest point of trochanteric fossa"}));
        // The lesser trochanter on the +y side of the right femur, -y of the left one.
        const Landcurve& trochanter = surface->landcurves[2];
        const double y = trochanter.control_points.front().position.y;
        EXPECT_GT(surface == f.hr_surface ? y : -y, 0.0);
    }
}

// A side word that the femur's shape contradicts keeps the status line after the load, naming
// the surface and the items it keeps the femur analysis from placing.
TEST_F(LoadSurfaces, ASideWordTheShapeContradictsIsSaid)
{
    const Mesh right = proximal_femur();
    const std::string chosen = directory.file("left_femur_proximal.ply");
    ASSERT_TRUE(write_ply_file(chosen, right));
    ASSERT_TRUE(write_ply_file(directory.file("right_femur_proximal_canonical.ply"), right));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout(); // the crest step may note that it took a lone vertex
    load(SurfaceFileChoice(chosen));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(status_text(0), "The name of left_femur_proximal says left but its shape is that "
                              "of a right femur; the side from the name is used; no lesser "
                              "trochanter, shaft slice, crest or fossa is placed");
}
