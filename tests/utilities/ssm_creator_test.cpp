// The automatic SSM creator on a generated working directory: which registrations it takes, the
// measurements and alignment of the shapes, the principal components, the two files it writes
// and what it reports when something is missing.
#include "utilities/ssm_creator.h"

#include "registration/result_file.h"
#include "state/working_state.h"
#include "surface/c_locale.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/german_locale.h"
#include "tests/fixtures/status_capture.h"
#include "tests/fixtures/temp_files.h"
#include "utilities/shape_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

Matrix4 scaling(double x, double y, double z)
{
    Matrix4 m = identity_matrix();
    m[0] = x;
    m[5] = y;
    m[10] = z;
    return m;
}

std::string matrix_rows(const Matrix4& m)
{
    std::string text;
    for (int r = 0; r < 4; ++r)
        text += c_format("%f %f %f %f\n", m[r], m[4 + r], m[8 + r], m[12 + r]);
    return text;
}

// The LR surface "bone_a", an octahedron of radius 10 (or another mesh), in a fresh directory.
class SsmCreator : public testing::Test {
protected:
    void SetUp() override { use_lr(octahedron(10.0)); }

    void use_lr(const Mesh& mesh)
    {
        fill_surface_with_normals(*state.lr_surface, mesh);
        state.lr_surface->name = "bone_a";
        state.lr_surface->path_stem = dir.file("bone_a");
    }

    // A saved "Similarity + LAD" registration to `other`: the registration file with every
    // family matrix `matrix` and the result file holding `shape`.
    void save(const std::string& other, const std::vector<Point3>& shape,
              const Matrix4& matrix = identity_matrix())
    {
        dir.write("bone_a-" + other + ".reg", "# registration\n" + matrix_rows(identity_matrix()) +
                                                  matrix_rows(matrix) + matrix_rows(matrix) +
                                                  matrix_rows(matrix));
        ASSERT_TRUE(write_breg_file(dir.file("bone_a-" + other + "-sim_lad.breg"),
                                    static_cast<std::int64_t>(shape.size()), shape));
    }

    // The LR octahedron with its top vertex raised by h.
    static std::vector<Point3> raised_top(double h)
    {
        std::vector<Point3> shape = octahedron(10.0).positions;
        shape[4].z += h;
        return shape;
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }

    TempDirectory dir;
    WorkingState state;
};

std::vector<std::string> fields_of(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find(" , ", start)) != std::string::npos; start = end + 3)
        fields.push_back(line.substr(start, end - start));
    fields.push_back(line.substr(start));
    return fields;
}

double number(const std::string& field)
{
    double value = std::nan("");
    parse_double(field.c_str(), value);
    return value;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

// Only result files of this LR surface with the right size and a readable registration count;
// a plain prefix test also takes those of an LR surface whose name continues with "-".
TEST_F(SsmCreator, ScanTakesUsableRegistrationsInNaturalOrder)
{
    save("10_hr", raised_top(0.0), scaling(2.0, 2.0, 2.0));
    save("2_hr", raised_top(0.0));
    save("2-x", raised_top(0.0));           // LR surface "bone_a-2" registered to "x"
    save("small", tetrahedron().positions); // another vertex count
    save("few_rows", raised_top(0.0));
    dir.write("bone_a-few_rows.reg", matrix_rows(identity_matrix()) + "1 0 0 0\n");
    save("no_reg", raised_top(0.0));
    std::filesystem::remove(dir.file("bone_a-no_reg.reg"));
    dir.write("bone_b-hr-sim_lad.breg", read_file(dir.file("bone_a-2_hr-sim_lad.breg")));
    dir.write("bone_a-hr-aff_lad.breg", read_file(dir.file("bone_a-2_hr-sim_lad.breg")));

    std::vector<ShapeEntry> entries;
    ASSERT_TRUE(find_shape_entries(dir.path(), "bone_a", 6, creator_model(3), entries));
    std::vector<wxString> names;
    for (const ShapeEntry& entry : entries)
        names.push_back(entry.other_name);
    EXPECT_EQ(names, (std::vector<wxString>{"2-x", "2_hr", "10_hr"}));
    EXPECT_DOUBLE_EQ(entries[2].scale, 2.0);
    EXPECT_EQ(entries[2].breg_file, dir.file("bone_a-10_hr-sim_lad.breg"));

    EXPECT_FALSE(find_shape_entries(dir.file("missing"), "bone_a", 6, creator_model(3), entries));
    EXPECT_STREQ(creator_model(6).suffix, "-aff_lad.breg");
    EXPECT_STREQ(creator_model(10).label, "similarity+TPS");
    EXPECT_EQ(creator_model(4).code, 3);
}

// Two usable registrations are not enough and leave no trace; with a third the model has two
// modes, both files are written and the model is installed.
TEST_F(SsmCreator, ThreeRegistrationsMakeAModelOfTwoModes)
{
    save("2_hr", raised_top(3.0));
    save("10_hr", raised_top(9.0));
    save("wrong", tetrahedron().positions);
    {
        StatusCapture status;
        EXPECT_FALSE(create_shape_model(state, 3, false, false));
        EXPECT_EQ(status.messages, (std::vector<std::string>{
                                       "Scanning working directory for similarity+LAD "
                                       "registrations",
                                       "Did not find sufficient similarity+LAD registrations"}));
    }
    EXPECT_FALSE(exists("auto_bone_a_sim_lad_2.ssm") || exists("auto_bone_a_sim_lad_2.csv"));
    EXPECT_FALSE(state.has_shape_model());

    save("2-x", raised_top(0.0));
    GermanLocale german; // numbers in the table keep their decimal point
    StatusCapture status;
    ASSERT_TRUE(create_shape_model(state, 3, false, false));
    EXPECT_EQ(status.messages,
              (std::vector<std::string>{"Scanning working directory for similarity+LAD "
                                        "registrations",
                                        "Reading similarity+LAD displacements",
                                        "Performing PCA - this might take a while",
                                        "Writing SSM and shape coefficient files",
                                        "SSM and shape coefficient files written"}));

    // Without alignment the model is built from the shapes as stored: only z of the top vertex
    // varies (0, 3, 9 above its place), so mode 1 is that coordinate and mode 2 is empty.
    ASSERT_EQ(state.ssm_mode_count, 2);
    ASSERT_EQ(state.ssm_mean.size(), 18u);
    EXPECT_NEAR(state.ssm_mean[14], 14.0f, 1e-5);
    EXPECT_NEAR(state.ssm_mean[0], 10.0f, 1e-5);
    EXPECT_NEAR(state.ssm_variances[0], (16.0 + 1.0 + 25.0) / 2.0, 1e-4);
    EXPECT_NEAR(state.ssm_variances[1], 0.0, 1e-4);
    EXPECT_NEAR(std::fabs(state.ssm_modes[14][0]), 1.0f, 1e-5);

    ShapeModel written;
    ASSERT_TRUE(read_ssm_file(dir.file("auto_bone_a_sim_lad_3.ssm"), 18, written));
    EXPECT_EQ(written.mean, state.ssm_mean);
    EXPECT_EQ(written.variances, state.ssm_variances);
    EXPECT_EQ(written.modes, state.ssm_modes);

    // One line per shape in natural order: the padded name, volume, area, size, coefficients.
    const std::vector<std::string> lines =
        lines_of(read_file(dir.file("auto_bone_a_sim_lad_3.csv")));
    ASSERT_EQ(lines.size(), 3u);
    const char* const names[] = {"2-x  ", "2_hr ", "10_hr"};
    const double volumes[] = {4000.0 / 3.0, 4600.0 / 3.0, 5800.0 / 3.0};
    const double offsets[] = {-4.0, -1.0, 5.0};
    const double sign = state.ssm_modes[14][0];
    for (std::size_t j = 0; j < 3; ++j) {
        SCOPED_TRACE(lines[j]);
        const std::vector<std::string> fields = fields_of(lines[j]);
        ASSERT_EQ(fields.size(), 6u);
        EXPECT_EQ(fields[0], names[j]);
        for (std::size_t f = 1; f < fields.size(); ++f) {
            EXPECT_GE(fields[f].size(), 7u);
            EXPECT_EQ(fields[f].find(','), std::string::npos);
        }
        EXPECT_NEAR(number(fields[1]), volumes[j], 0.006);
        EXPECT_NEAR(number(fields[4]), sign * offsets[j], 0.006);
        EXPECT_NEAR(number(fields[5]), 0.0, 0.006);
    }
}

// Volume, area and size are taken after the registration's linear part; a reflecting one is
// made proper first, so every shape keeps the LR surface's handedness.
TEST_F(SsmCreator, MeasuresFollowTheRegistrationWithOneHandedness)
{
    const double r = 10.0;
    struct Case {
        const char* why;
        Matrix4 matrix;
        double scale;
    };
    const Case cases[] = {
        {"identity", identity_matrix(), 1.0},
        {"similarity of scale 2", scaling(2.0, 2.0, 2.0), 2.0},
        {"a reflection", scaling(-1.0, 1.0, 1.0), 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ShapeEntry entry;
        entry.matrix = c.matrix;
        Eigen::MatrixXf shapes(18, 1);
        for (std::size_t v = 0; v < 6; ++v) {
            const Point3& p = state.lr_surface->positions[v];
            shapes.col(0).segment<3>(static_cast<Eigen::Index>(3 * v))
                << static_cast<float>(p.x + 7.0),
                static_cast<float>(p.y), static_cast<float>(p.z);
        }
        const std::vector<ShapeMeasures> measures =
            align_shapes(*state.lr_surface, {entry}, false, false, shapes);
        ASSERT_EQ(measures.size(), 1u);
        const double s = c.scale;
        EXPECT_NEAR(measures[0].volume, 4.0 / 3.0 * std::pow(r * s, 3), 1e-2);
        EXPECT_NEAR(measures[0].area, 4.0 * std::sqrt(3.0) * std::pow(r * s, 2), 1e-2);
        EXPECT_NEAR(measures[0].size, r * s, 1e-4);
    }
}

// Procrustes alignment brings every shape onto the LR centroid and orientation, at the LR
// surface's root mean square radius or, with rescaling, at its own size. Without it, rescaling
// scales each shape about its own centroid by its registration's scale.
TEST_F(SsmCreator, AlignmentOfSizeAndPose)
{
    use_lr(transformed_mesh(ellipsoid(1, 10.0, 6.0, 4.0), [] {
        Matrix4 m;
        return make_translation(m, 3.0, -2.0, 5.0);
    }()));
    const Surface& lr = *state.lr_surface;
    Matrix4 pose;
    make_transform(pose, 40.0, -10.0, 7.0, 30.0, 20.0, -50.0);
    const Matrix4 poses[] = {pose, product(pose, scaling(2.0, 2.0, 2.0))};
    const auto v_count = static_cast<Eigen::Index>(lr.vertex_count);
    Eigen::MatrixXf stored(3 * v_count, 2);
    for (Eigen::Index j = 0; j < 2; ++j)
        for (Eigen::Index v = 0; v < v_count; ++v) {
            const Point3 p = transformed(poses[j], lr.positions[static_cast<std::size_t>(v)]);
            stored.col(j).segment<3>(3 * v) << static_cast<float>(p.x), static_cast<float>(p.y),
                static_cast<float>(p.z);
        }
    std::vector<ShapeEntry> entries(2);
    entries[0].matrix = identity_matrix();
    entries[1].matrix = scaling(2.0, 2.0, 2.0);
    entries[1].scale = 2.0;

    Eigen::MatrixXf x(3, v_count);
    for (Eigen::Index v = 0; v < v_count; ++v)
        x.col(v) << static_cast<float>(lr.positions[static_cast<std::size_t>(v)].x),
            static_cast<float>(lr.positions[static_cast<std::size_t>(v)].y),
            static_cast<float>(lr.positions[static_cast<std::size_t>(v)].z);
    const Eigen::Vector3f c = x.rowwise().mean();
    const float r_x = std::sqrt((x.colwise() - c).squaredNorm() / static_cast<float>(v_count));

    for (const bool rescale : {false, true}) {
        SCOPED_TRACE(rescale ? "rescaled" : "at the LR radius");
        Eigen::MatrixXf shapes = stored;
        const std::vector<ShapeMeasures> measures =
            align_shapes(lr, entries, true, rescale, shapes);
        for (Eigen::Index j = 0; j < 2; ++j) {
            const Eigen::Map<Eigen::MatrixXf> y(shapes.col(j).data(), 3, v_count);
            // Shape 1 is measured after its registration's factor 2 on top of its own 2.
            const float expected_size = rescale ? measures[static_cast<std::size_t>(j)].size : r_x;
            EXPECT_NEAR(measures[static_cast<std::size_t>(j)].size, r_x * (j == 0 ? 1 : 4), 1e-3);
            const Eigen::MatrixXf expected =
                ((x.colwise() - c) * (expected_size / r_x)).colwise() + c;
            EXPECT_LT((y - expected).cwiseAbs().maxCoeff(), 2e-3);
        }
    }

    // A shape collapsed onto one point has no size to divide by: it lands on the LR centroid
    // instead of spreading NaN.
    Eigen::MatrixXf collapsed = Eigen::MatrixXf::Constant(3 * v_count, 2, 4.0f);
    align_shapes(lr, entries, true, false, collapsed);
    for (Eigen::Index v = 0; v < v_count; ++v)
        EXPECT_LT((collapsed.col(0).segment<3>(3 * v) - c).cwiseAbs().maxCoeff(), 1e-4);

    Eigen::MatrixXf shapes = stored;
    align_shapes(lr, entries, false, true, shapes);
    EXPECT_LT((shapes.col(0) - stored.col(0)).cwiseAbs().maxCoeff(), 1e-5);
    const Eigen::Map<Eigen::MatrixXf> before(stored.col(1).data(), 3, v_count);
    const Eigen::Map<Eigen::MatrixXf> after(shapes.col(1).data(), 3, v_count);
    const Eigen::Vector3f centroid = before.rowwise().mean();
    const Eigen::MatrixXf expected = ((before.colwise() - centroid) * 2.0f).colwise() + centroid;
    EXPECT_LT((after - expected).cwiseAbs().maxCoeff(), 1e-3);
}

// Every shape is the mean plus its coefficients on the modes; the modes are orthonormal and
// their variances fall. More than 51 shapes still give 50 modes, and every shape its line.
TEST_F(SsmCreator, ComponentsRebuildEveryShape)
{
    use_lr(icosphere(1, 10.0)); // 126 coordinates
    const int n = 52;
    for (int j = 0; j < n; ++j) {
        std::vector<Point3> shape = state.lr_surface->positions;
        for (std::size_t v = 0; v < shape.size(); ++v) {
            shape[v].x += std::sin(0.7 * j + 1.3 * static_cast<double>(v));
            shape[v].z += 0.5 * std::cos(1.9 * j * j + 0.4 * static_cast<double>(v));
        }
        save("hr" + std::to_string(j), shape);
    }
    std::vector<ShapeEntry> entries;
    ASSERT_TRUE(find_shape_entries(dir.path(), "bone_a", 42, creator_model(3), entries));
    Eigen::MatrixXf shapes;
    ASSERT_EQ(read_displacements(entries, 42, shapes), DisplacementRead::complete);
    const PrincipalComponents pc = principal_components(shapes);
    ASSERT_EQ(pc.modes.cols(), 50);
    ASSERT_EQ(pc.coefficients.rows(), n);
    EXPECT_LT(
        (pc.modes.transpose() * pc.modes - Eigen::MatrixXf::Identity(50, 50)).cwiseAbs().maxCoeff(),
        1e-4);
    for (Eigen::Index i = 1; i < 50; ++i)
        EXPECT_LE(pc.variances(i), pc.variances(i - 1));
    EXPECT_NEAR(pc.variances(0), pc.coefficients.col(0).squaredNorm() / (n - 1), 1e-3);

    // With n - 1 modes the shapes are rebuilt exactly.
    Eigen::MatrixXf few = shapes.leftCols(4);
    const PrincipalComponents small = principal_components(few);
    ASSERT_EQ(small.modes.cols(), 3);
    const Eigen::MatrixXf rebuilt =
        (small.modes * small.coefficients.transpose()).colwise() + small.mean;
    EXPECT_LT((rebuilt - few).cwiseAbs().maxCoeff(), 1e-4);

    // More shapes than coordinates: no more modes than the coordinates span.
    const PrincipalComponents narrow = principal_components(shapes.topRows(12).leftCols(20));
    EXPECT_EQ(narrow.modes.cols(), 12);
    EXPECT_EQ(narrow.coefficients.rows(), 20);

    ASSERT_TRUE(create_shape_model(state, 3, false, false));
    EXPECT_EQ(state.ssm_mode_count, 50);
    const std::vector<std::string> lines =
        lines_of(read_file(dir.file("auto_bone_a_sim_lad_52.csv")));
    ASSERT_EQ(lines.size(), 52u);
    for (const std::string& line : lines)
        EXPECT_EQ(fields_of(line).size(), 54u);
}

TEST_F(SsmCreator, FailuresAreReportedAndInstallOnlyWhatWasBuilt)
{
    save("2_hr", raised_top(3.0));
    save("10_hr", raised_top(9.0));
    save("2-x", raised_top(0.0));
    struct Case {
        const char* why;
        std::function<void()> prepare;
        std::string last_message;
        bool installed;
        bool ssm_written;
        bool csv_written;
    };
    const Case cases[] = {
        {"no LR surface", [this] { state.lr_surface->vertex_count = 0; }, "Need LR and HR surfaces",
         false, false, false},
        {"no working directory", [this] { state.lr_surface->path_stem = dir.file("gone/bone_a"); },
         "Could not open working directory", false, false, false},
        {"a result file that holds no number",
         [this] {
             std::string bytes = read_file(dir.file("bone_a-2-x-sim_lad.breg"));
             const float nan = std::nanf("");
             std::memcpy(&bytes[28], &nan, 4);
             dir.write("bone_a-2-x-sim_lad.breg", bytes);
         },
         "Could not read similarity+LAD displacements", false, false, false},
        {"the model file cannot be created",
         [this] { std::filesystem::create_directory(dir.file("auto_bone_a_sim_lad_3.ssm")); },
         "Could not open SSM file for writing", true, false, false},
        {"the table cannot be created",
         [this] { std::filesystem::create_directory(dir.file("auto_bone_a_sim_lad_3.csv")); },
         "Could not open shape coefficient file for writing", true, true, false},
    };
    const std::string ssm_file = dir.file("auto_bone_a_sim_lad_3.ssm");
    const std::string csv_file = dir.file("auto_bone_a_sim_lad_3.csv");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        state.clear_working_data();
        use_lr(octahedron(10.0));
        save("2-x", raised_top(0.0));
        std::filesystem::remove_all(ssm_file);
        std::filesystem::remove_all(csv_file);
        c.prepare();
        StatusCapture status;
        EXPECT_EQ(create_shape_model(state, 3, true, false), c.installed);
        EXPECT_EQ(status.last(), c.last_message);
        EXPECT_EQ(state.has_shape_model(), c.installed);
        EXPECT_EQ(std::filesystem::is_regular_file(ssm_file), c.ssm_written);
        EXPECT_EQ(std::filesystem::is_regular_file(csv_file), c.csv_written);
    }

    std::vector<ShapeEntry> missing(1);
    missing[0].breg_file = dir.file("missing.breg");
    Eigen::MatrixXf shapes;
    EXPECT_EQ(read_displacements(missing, 6, shapes), DisplacementRead::not_opened);
    missing[0].breg_file = dir.file("bone_a-2_hr-sim_lad.breg");
    EXPECT_EQ(read_displacements(missing, 7, shapes), DisplacementRead::short_read);
}
