// The shape model in the window: a model file found at loading, the "mode" and "component"
// sliders, "Animate and save" with its picture series and its stops, and "Create".
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "registration/result_file.h"
#include "surface/c_locale.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"
#include "utilities/shape_model.h"
#include "view/gl_canvas.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/tglbtn.h>
#include <wx/timer.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

using gui_test::frame;

namespace {

constexpr std::size_t lr_coordinates = 3 * 42; // icosphere(1)

// Three modes: mode 1 (variance 4, so the slider's ends reach 6 units) moves every x by one unit,
// modes 2 and 3 (variance 1) every y and z.
ShapeModel three_mode_model(const Mesh& lr)
{
    ShapeModel model;
    for (const Point3& p : lr.positions)
        model.mean.insert(model.mean.end(), {static_cast<float>(p.x), static_cast<float>(p.y),
                                             static_cast<float>(p.z)});
    model.variances = {4.0f, 1.0f, 1.0f};
    model.modes.assign(lr_coordinates, {0.0f, 0.0f, 0.0f});
    for (std::size_t i = 0; i < lr_coordinates; ++i)
        model.modes[i][i % 3] = 1.0f;
    return model;
}

class ShapeModelWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gui_test::wait_for_gl_ready());
        gui_test::reset_frame();
        ASSERT_TRUE(write_ply_file(dir.file("bone_a.ply"), lr_mesh));
        ASSERT_TRUE(write_ply_file(dir.file("bone_b.ply"), icosphere(2, 12.0)));
    }
    void TearDown() override { gui_test::reset_frame(); }

    void load()
    {
        ASSERT_TRUE(frame().load_surface_files(dir.file("bone_a.ply"), dir.file("bone_b.ply"),
                                               "bone_a.ply", "bone_b.ply", true));
    }

    static void scroll(wxSlider* slider, int position)
    {
        slider->SetValue(position);
        wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, slider->GetId(), position);
        event.SetEventObject(slider);
        slider->GetEventHandler()->ProcessEvent(event);
    }

    static void show_utilities_page() { frame().control_notebook->SetSelection(1); }

    // The animation pictures in the directory, as (run, mode, component).
    std::set<std::array<int, 3>> pictures() const
    {
        std::set<std::array<int, 3>> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::array<int, 3> key{};
            if (std::sscanf(entry.path().filename().c_str(), "bone_a-ssm_%d_%d_%d.png", &key[0],
                            &key[1], &key[2]) == 3)
                found.insert(key);
        }
        return found;
    }

    // Runs "Animate and save" as a click does, with `during` called once from the event loop
    // while the run waits for a paint.
    static void animate(const std::function<void()>& during = {})
    {
        wxTimer timer;
        if (during) {
            timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { during(); });
            timer.StartOnce(1);
        }
        frame().animate_toggle->SetValue(true);
        gui_test::send_command(frame().animate_toggle, wxEVT_TOGGLEBUTTON, 1);
        timer.Stop();
    }

    const Mesh lr_mesh = icosphere(1, 10.0);
    TempDirectory dir;
};

} // namespace

TEST_F(ShapeModelWindow, LoadingTakesAModelFileBesideTheLRSurface)
{
    MyFrame& f = frame();
    ShapeModel one_mode = three_mode_model(lr_mesh);
    one_mode.variances.resize(1);
    for (std::vector<float>& row : one_mode.modes)
        row.resize(1);
    struct Case {
        const char* why;
        const ShapeModel* model; // null: no file
        bool taken;
        const char* status;
    };
    const ShapeModel three_modes = three_mode_model(lr_mesh);
    const char* const loaded = "Surfaces loaded successfully";
    const Case cases[] = {
        {"three modes", &three_modes, true, loaded},
        // A refused file is named last, where the status line keeps it.
        {"a single mode", &one_mode, false,
         "Could not read shape model file bone_a.ssm: its mode count is not between 2 and "
         "2147483647"},
        {"no file", nullptr, false, loaded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::filesystem::remove(dir.file("bone_a.ssm"));
        if (c.model != nullptr) {
            ASSERT_TRUE(write_ssm_file(dir.file("bone_a.ssm"), *c.model));
        }
        f.clear_surfaces();
        load();
        EXPECT_EQ(f.ssm_component_slider->IsEnabled(), c.taken);
        EXPECT_EQ(f.ssm_mode_slider->IsEnabled(), c.taken);
        EXPECT_EQ(f.animate_toggle->IsEnabled(), c.taken);
        EXPECT_EQ(f.registration_choice->GetCount(), c.taken ? 12u : 11u);
        if (c.taken) {
            EXPECT_EQ(f.ssm_mode_slider->GetMax(), 3);
            EXPECT_EQ(f.registration_choice->GetString(similarity_ssm), "Similarity + SSM");
        }
        EXPECT_EQ(gui_test::status_text(0), c.status);
    }
}

// The component slider moves along the mode the mode slider picks, by the event's position in
// whole units; a new mode starts from the mean.
TEST_F(ShapeModelWindow, SlidersShowTheModesAndTheMean)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_ssm_file(dir.file("bone_a.ssm"), three_mode_model(lr_mesh)));
    load();
    show_utilities_page();
    const std::vector<Point3>& shown = f.lr_surface->deformed_positions;
    const std::vector<Point3> mean = shown;
    EXPECT_EQ(mean[5].x, static_cast<double>(static_cast<float>(lr_mesh.positions[5].x)));

    scroll(f.ssm_component_slider, 50); // mode 1: 3 units in x
    EXPECT_EQ(shown[5].x, mean[5].x + 3.0);
    EXPECT_EQ(shown[5].y, mean[5].y);
    EXPECT_TRUE(f.list_dirty[dirty_lr_plain]);

    scroll(f.ssm_mode_slider, 2);
    EXPECT_EQ(f.ssm_component_slider->GetValue(), 0);
    EXPECT_TRUE(same_points(shown, mean));
    scroll(f.ssm_component_slider, -100); // mode 2: -3 units in y
    EXPECT_EQ(shown[5].y, mean[5].y - 3.0);
    scroll(f.ssm_component_slider, 0);
    EXPECT_TRUE(same_points(shown, mean));
    f.lr_surface->deformed_positions[0].x += 1.0; // a change the mode slider must not undo
    scroll(f.ssm_mode_slider, 3);
    EXPECT_EQ(shown[0].x, mean[0].x + 1.0);
}

// Every step of modes 1 to the mode slider's value gets its picture, numbered by the run; a
// second run numbers its pictures anew; the toggle is released at the end.
TEST_F(ShapeModelWindow, AnimationSavesAPicturePerStep)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_ssm_file(dir.file("bone_a.ssm"), three_mode_model(lr_mesh)));
    load();
    show_utilities_page();
    f.ssm_mode_slider->SetValue(3);
    animate();
    const std::set<std::array<int, 3>> first = pictures();
    ASSERT_EQ(first.size(), 63u);
    const int run = first.begin()->at(0);
    std::set<std::array<int, 3>> expected;
    for (int mode = 1; mode <= 3; ++mode)
        for (int component = -100; component <= 100; component += 10)
            expected.insert({run, mode, component});
    EXPECT_EQ(first, expected);
    EXPECT_TRUE(
        std::filesystem::exists(dir.file("bone_a-ssm_" + c_format("%d", run) + "_2_-40.png")));
    EXPECT_FALSE(f.animate_toggle->GetValue());

    f.ssm_mode_slider->SetValue(1);
    animate();
    const std::set<std::array<int, 3>> all = pictures();
    EXPECT_EQ(all.size(), 63u + 21u);
    EXPECT_EQ(all.count({run + 1, 1, 100}), 1u);
    EXPECT_EQ(all.count({run + 1, 2, -100}), 0u);
}

// A run ends when the page is left or the toggle is pressed again while it waits for a paint:
// the picture in progress is not saved and the toggle is released.
TEST_F(ShapeModelWindow, AnimationStopsOnRequest)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_ssm_file(dir.file("bone_a.ssm"), three_mode_model(lr_mesh)));
    load();
    struct Case {
        const char* why;
        std::function<void()> action;
    };
    const Case cases[] = {
        {"the Registration page shown", [&f] { f.control_notebook->SetSelection(0); }},
        {"a second press",
         [&f] {
             f.animate_toggle->SetValue(false);
             gui_test::send_command(f.animate_toggle, wxEVT_TOGGLEBUTTON, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        show_utilities_page();
        f.ssm_mode_slider->SetValue(3);
        std::size_t saved_before_stop = 0;
        const std::size_t before = pictures().size();
        animate([&] {
            saved_before_stop = pictures().size();
            c.action();
        });
        EXPECT_EQ(pictures().size(), saved_before_stop);
        EXPECT_LT(pictures().size(), before + 63);
        EXPECT_FALSE(f.animate_toggle->GetValue());
    }
}

// "Create" installs the model it builds: the controls and "Similarity + SSM" appear once, the
// mode slider reaches the new mode count and the LR surface shows the new mean.
TEST_F(ShapeModelWindow, CreateInstallsTheNewModel)
{
    MyFrame& f = frame();
    load();
    show_utilities_page();
    auto save_registration_to = [&](const std::string& other, double shift) {
        std::vector<Point3> shape = lr_mesh.positions;
        for (Point3& p : shape)
            p.x += shift * p.z / 10.0;
        std::string rows;
        for (int r = 0; r < 16; ++r)
            rows += c_format("%d %d %d %d\n", r % 4 == 0 ? 1 : 0, r % 4 == 1 ? 1 : 0,
                             r % 4 == 2 ? 1 : 0, r % 4 == 3 ? 1 : 0);
        dir.write("bone_a-" + other + ".reg", rows);
        ASSERT_TRUE(write_breg_file(dir.file("bone_a-" + other + "-sim_lad.breg"), 42, shape));
    };
    save_registration_to("h1", 1.0);
    save_registration_to("h2", 2.0);
    save_registration_to("h3", 4.0);
    f.ssm_creator_choice->SetSelection(0);
    wxWindow* create = f.FindWindow(id_ssm_create);
    ASSERT_NE(create, nullptr);
    gui_test::send_command(create, wxEVT_BUTTON, 0);
    EXPECT_EQ(gui_test::status_text(0), "SSM and shape coefficient files written");
    EXPECT_TRUE(f.ssm_component_slider->IsEnabled());
    EXPECT_TRUE(f.animate_toggle->IsEnabled());
    EXPECT_EQ(f.registration_choice->GetCount(), 12u);
    EXPECT_EQ(f.ssm_mode_slider->GetMax(), 2);
    EXPECT_EQ(f.lr_surface->deformed_positions[7].x, static_cast<double>(f.ssm_mean[21]));

    save_registration_to("h4", 8.0);
    f.ssm_component_slider->SetValue(30);
    gui_test::send_command(create, wxEVT_BUTTON, 0);
    EXPECT_EQ(f.registration_choice->GetCount(), 12u);
    EXPECT_EQ(f.ssm_mode_slider->GetMax(), 3);
    EXPECT_EQ(f.ssm_component_slider->GetValue(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("auto_bone_a_sim_lad_4.ssm")));
}

// With a model loaded, "Similarity + SSM" registers by the model's coefficients alone: a sphere
// whose first mode widens it grows onto a larger sphere while the similarity pose stays.
TEST_F(ShapeModelWindow, SimilarityPlusSsmRegistersByTheModesCoefficients)
{
    MyFrame& f = frame();
    ShapeModel model = three_mode_model(lr_mesh);
    for (std::size_t v = 0; v < lr_mesh.positions.size(); ++v) {
        const Point3& p = lr_mesh.positions[v];
        const double r = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        const double radial[3] = {p.x / r, p.y / r, p.z / r};
        for (std::size_t c = 0; c < 3; ++c)
            model.modes[3 * v + c] = {static_cast<float>(radial[c]), 0.0f, 0.0f};
    }
    ASSERT_TRUE(write_ssm_file(dir.file("bone_a.ssm"), model));
    ASSERT_TRUE(write_ply_file(dir.file("bone_b.ply"), icosphere(3, 13.0)));
    load();
    f.similarity_transform = identity_matrix();
    f.current_transform = identity_matrix();
    f.registration_choice->SetSelection(similarity_ssm);
    gui_test::send_command(f.registration_choice, wxEVT_CHOICE, similarity_ssm);
    f.search_range_slider->SetValue(f.search_range_slider->GetMax());
    f.iterations_slider->SetValue(10);
    f.start_toggle->SetValue(true);
    gui_test::send_command(f.start_toggle, wxEVT_TOGGLEBUTTON, 1);
    ASSERT_TRUE(gui_test::pump_until([&f] { return !f.start_toggle->GetValue(); },
                                     std::chrono::seconds(60)));

    EXPECT_EQ(f.similarity_transform.m, identity_matrix().m);
    EXPECT_TRUE(f.result_unsaved[result_similarity_ssm]);
    for (const std::size_t v : {0u, 17u, 41u}) {
        const Point3& p = f.lr_surface->sim_ssm_positions[v];
        EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 13.0, 0.2) << v;
    }
}
