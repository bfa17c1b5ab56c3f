// Bone side and femur recognition from surface names, and the geometric side of a femur.
#include "analysis/bone_side.h"

#include "analysis/surface_geometry.h"
#include "surface/ply_surface_reader.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/proximal_femur.h"

#include <gtest/gtest.h>

TEST(BoneSide, SideFromName)
{
    const struct {
        const char* name;
        BoneSide side;
    } cases[] = {
        {"canonical_talus_7000", bone_left},     // the one left reference surface
        {"canonical_femur_5580", bone_right},
        {"canonical_mc3_7087", bone_right},
        {"canonical_lunate_3442", bone_right},   // ends in neither L nor R, no side word
        {"canonical_talus_7000L", bone_left},    // not a canonical name: the final letter decides
        {"canonical_mc3_7087L", bone_left},
        {"Left_femur_right", bone_right},        // lower case is tested first
        {"left_and_right", bone_right},          // "right" before "left"
        {"RIGHT_tibia_left", bone_left},
        {"Right_Left", bone_right},
        {"LEFT_hip", bone_left},
        {"bone_12L", bone_left},
        {"bone_12R", bone_right},
        {"bone_12l", bone_undetermined},         // the final letter is case-sensitive
        {"bone_12r", bone_undetermined},
        {"Rbone", bone_undetermined},
        {"", bone_undetermined},
    };
    for (const auto& c : cases)
        EXPECT_EQ(side_from_name(c.name), c.side) << '"' << c.name << '"';
}

TEST(BoneSide, FemurAndProximalNames)
{
    const struct {
        const char* name;
        bool femur;
        bool proximal;
    } cases[] = {
        {"left_femur_12", true, false},
        {"Femur_proximal_3", true, true},
        {"FEMUR_PROXIMAL", true, true},
        {"canonical_5580", true, false},
        {"canonical_5580_copy", false, false}, // only the exact name
        {"canonical_femur_5580", true, false},
        {"ZIDI_siemens_Proximal_7", true, true},
        {"ZIDI_xtreme_4", true, false},
        {"ZIDI_4", false, false},
        {"siemens_xtreme", false, false},
        {"fEmUr_proximal", false, true},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_femur_name(c.name), c.femur) << '"' << c.name << '"';
        EXPECT_EQ(is_proximal_name(c.name), c.proximal) << '"' << c.name << '"';
    }
}

TEST(BoneSide, TheGeometricSideIsTheBonesOwnHoweverFinelyItIsTriangulated)
{
    // The same femur, right and mirrored to a left one, triangulated as generated and then four
    // and sixteen times as finely: the extra vertices carry none of the curvature and must not
    // outvote the vertices that do (once, counted per vertex, they turned the right femur left).
    const Mesh right = proximal_femur();
    // The real femur, closed as scanned with its head towards -z, cut open across its shaft
    // 5 mm below its highest point so that it has a rim and a natural frame.
    Surface read;
    ASSERT_TRUE(parse_ply_file(KELVORAND_TEST_DATA "/real-femur/ProximalFemur.ply", read));
    double highest = -1e300;
    for (const Point3& p : read.positions)
        highest = std::max(highest, p.z);
    const Mesh real = kept_above({read.positions, read.triangles}, {0, 0, -1}, 5.0 - highest);
    Matrix4 turn;
    make_transform(turn, 10, -20, 30, 37, 71, -123);
    const struct {
        const char* name;
        Mesh mesh;
        std::uint8_t side;
    } cases[] = {
        {"right", right, 1},
        {"right, subdivided", midpoint_subdivided(right), 1},
        {"right, subdivided twice", midpoint_subdivided(midpoint_subdivided(right)), 1},
        {"left", mirrored_in_y(right), 0},
        {"left, subdivided", midpoint_subdivided(mirrored_in_y(right)), 0},
        {"real", real, 1},
        {"real, subdivided", midpoint_subdivided(real), 1},
        {"real, turned and subdivided", midpoint_subdivided(transformed_mesh(real, turn)), 1},
        {"real, mirrored", mirrored_in_y(real), 0},
        {"real, mirrored and subdivided", midpoint_subdivided(mirrored_in_y(real)), 0},
    };
    for (const auto& c : cases) {
        WorkingState state;
        Surface femur;
        fill_surface(femur, c.mesh);
        femur.name = "femur"; // a femur, but no proximal one: the side alone is estimated
        femur.geometric_side = 7;
        analyse_surface_geometry(state, femur);
        EXPECT_EQ(femur.geometric_side, c.side) << c.name;
    }

    // No positive curvature on either side (equal sums), and no vertex at all: right.
    Surface flat;
    fill_surface(flat, flat_grid(10.0, 11));
    estimate_femur_side(flat);
    EXPECT_EQ(flat.geometric_side, 1);
    Surface empty;
    estimate_femur_side(empty);
    EXPECT_EQ(empty.geometric_side, 1);
}

TEST(BoneSide, ANameWhoseSideTheShapeContradictsIsSaid)
{
    // A femur with a natural frame (a rim flag set) whose shape is that of a right one.
    const struct {
        const char* name;
        bool femur;
        bool has_frame;
        const char* message;
    } cases[] = {
        {"femur_proximal_left", true, true,
         "The name of femur_proximal_left says left but its shape is that of a right femur; "
         "the side from the name is used"},
        {"femur_proximal_right", true, true, ""},
        {"femur_proximal", true, true, ""},       // the name declares no side
        {"femur_proximal_left", true, false, ""}, // no frame: the shape gives no side
        {"tibia_left", false, true, ""},          // no femur, no geometric side
        {"femur_12L", true, true,                 // a final letter declares a side too
         "The name of femur_12L says left but its shape is that of a right femur; the side "
         "from the name is used"},
    };
    for (const auto& c : cases) {
        Surface surface;
        surface.name = c.name;
        surface.is_femur = c.femur;
        surface.geometric_side = 1;
        surface.on_rim = {0, c.has_frame ? std::uint8_t{1} : std::uint8_t{0}};
        EXPECT_EQ(side_disagreement_message(surface), c.message) << c.name;
    }
}
