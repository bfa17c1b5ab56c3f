// A loaded pair's annotations on their surfaces and paired by name, and the rims paired by shape
// once "Match rims" turns to "To rims".
#include "app/frame.h"
#include "registration/registration_type.h"
#include "surface/barycentric.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <wx/radiobox.h>

#include <cmath>

using gui_test::frame;

namespace {

class Pairing : public gui_test::FrameTest {
protected:
    static void choose_rim_mode(int mode)
    {
        frame().rims_radiobox->SetSelection(mode);
        gui_test::send_command(frame().rims_radiobox, wxEVT_RADIOBOX, mode);
    }

    // The LR rim's HR partner, as the z of the partner's first control point; -1 unpaired.
    static double partner_height(const Landcurve& lr_rim)
    {
        if (lr_rim.partner < 0)
            return -1.0;
        return frame()
            .hr_surface->landcurves[static_cast<std::size_t>(lr_rim.partner)]
            .control_points.front()
            .position.z;
    }

    TempDirectory directory;
};

// Two open tubes of radius 10 from z = 0 to z = 40, each with its two rims found by the analysis.
TEST_F(Pairing, LoadedAnnotationsLieOnTheirSurfacesAndRimsFollowThePose)
{
    MyFrame& f = frame();
    const std::string lr = directory.file("lr.ply");
    const std::string hr = directory.file("hr.ply");
    const std::vector<std::string> ridge{"OPEN_LANDCURVE \"ridge\" 2", "12 0 5 1 0 0",
                                         "12 0 35 1 0 0"};
    std::vector<std::string> lr_notes{"LANDMARK \"tip\" 12 1 20 1 0 0",
                                      "LANDMARK \"lonely\" 0 12 20 0 1 0"};
    std::vector<std::string> hr_notes{"LANDMARK \"base\" 0 -12 2 0 -1 0",
                                      "LANDMARK \"tip\" 11 0 21 1 0 0"};
    lr_notes.insert(lr_notes.end(), ridge.begin(), ridge.end());
    hr_notes.insert(hr_notes.end(), ridge.begin(), ridge.end());
    ASSERT_TRUE(write_ply_file(lr, tube(10.0, 40.0, 9, 24), lr_notes));
    ASSERT_TRUE(write_ply_file(hr, tube(10.0, 40.0, 11, 32), hr_notes));
    ASSERT_TRUE(f.load_surface_files(lr, hr, "lr.ply", "hr.ply", true));

    Surface& l = *f.lr_surface;
    Surface& h = *f.hr_surface;
    ASSERT_EQ(l.landmarks.size(), 2u);
    ASSERT_EQ(h.landmarks.size(), 2u);
    EXPECT_EQ(l.landmarks[0].partner, 1);
    EXPECT_EQ(h.landmarks[1].partner, 0);
    EXPECT_EQ(l.landmarks[1].partner, -1);
    EXPECT_EQ(h.landmarks[0].partner, -1);
    EXPECT_EQ(l.landmark_pair_count, 1);
    for (const Surface* surface : {&l, &h}) {
        for (const Landmark& landmark : surface->landmarks) {
            Point3 on_surface;
            ASSERT_TRUE(interpolate_at_triangle(surface->positions, landmark, on_surface));
            EXPECT_NEAR(squared_distance(on_surface, landmark.position), 0.0, 1e-9);
            const double radius = std::hypot(landmark.position.x, landmark.position.y);
            EXPECT_GT(radius, 9.5) << landmark.name;
            EXPECT_LE(radius, 10.0 + 1e-6) << landmark.name;
        }
    }

    // The ridge pairs by name; the rims wait for "To rims".
    ASSERT_EQ(l.landcurves.size(), 3u);
    ASSERT_EQ(h.landcurves.size(), 3u);
    EXPECT_EQ(l.landcurves[0].name, "ridge");
    EXPECT_EQ(l.landcurves[0].partner, 0);
    EXPECT_EQ(l.curve_point_pair_count, 2);
    for (const Landcurve& curve : h.landcurves)
        EXPECT_TRUE(curve.points.empty()) << curve.name;
    EXPECT_EQ(l.landcurves[1].partner, -1);
    EXPECT_EQ(l.landcurves[2].partner, -1);
    EXPECT_FALSE(f.rims_paired);

    // Both tubes centred alike: with no turn each rim pairs with the HR rim at its own height,
    // turned upside down with the other one.
    Matrix4 upside_down;
    make_transform(upside_down, 0, 0, 0, 0, 0, 180);
    const struct {
        Matrix4 pose;
        bool flipped;
    } poses[] = {{identity_matrix(), false}, {upside_down, true}};
    for (const auto& pose : poses) {
        f.current_transform = pose.pose;
        choose_rim_mode(rims_to_rims);
        EXPECT_TRUE(f.rims_paired);
        for (std::size_t i = 1; i < 3; ++i) {
            const double z = l.landcurves[i].control_points.front().position.z;
            EXPECT_NEAR(partner_height(l.landcurves[i]), pose.flipped ? 40.0 - z : z, 1e-6);
        }
        EXPECT_EQ(l.curve_point_pair_count, 2 + 24 + 24);
    }

    choose_rim_mode(rims_no);
    EXPECT_EQ(l.landcurves[1].partner, -1);
    EXPECT_EQ(l.landcurves[2].partner, -1);
    EXPECT_EQ(l.landcurves[0].partner, 0);
    EXPECT_EQ(l.curve_point_pair_count, 2);
}

} // namespace
