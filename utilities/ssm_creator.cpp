#include "utilities/ssm_creator.h"

#include "registration/registration_file.h"
#include "state/working_state.h"
#include "surface/c_locale.h"
#include "surface/float_bytes.h"
#include "surface/status_log.h"
#include "surface/surface.h"
#include "surface/whole_file.h"
#include "utilities/natural_order.h"
#include "utilities/pad_to_width.h"
#include "utilities/shape_model.h"

#include <Eigen/SVD>
#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const CreatorModel creator_models[] = {
    {3, "-sim_lad.breg", "_sim_lad_", "similarity+LAD", 8},
    {6, "-aff_lad.breg", "_aff_lad_", "affine+LAD", 12},
    {9, "-aspect_lad.breg", "_aspect_lad_", "aspect+LAD", 16},
    {10, "-sim_tps.breg", "_sim_tps_", "similarity+TPS", 8},
};

constexpr std::int64_t max_modes = 50;
constexpr std::size_t minimum_shapes = 3;

std::string file_system_path(const wxString& path) { return std::string(path.fn_str()); }
std::string utf8(const wxString& text) { return std::string(text.ToUTF8().data()); }

// The byte count of a readable regular file; -1 for anything else.
long readable_size(const wxString& path)
{
    const FilePointer file = open_regular_file(file_system_path(path));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return -1;
    return std::ftell(file.get());
}

Eigen::Matrix3f linear_part(const Matrix4& matrix)
{
    Eigen::Matrix3f a;
    for (int r = 0; r < 3; ++r)
        for (int q = 0; q < 3; ++q)
            a(r, q) = static_cast<float>(matrix[4 * q + r]);
    return a;
}

// Column j of the shapes as 3 x V, one vertex per column.
Eigen::Map<Eigen::MatrixXf> shape_points(Eigen::MatrixXf& shapes, Eigen::Index j)
{
    return Eigen::Map<Eigen::MatrixXf>(shapes.col(j).data(), 3, shapes.rows() / 3);
}

ShapeMeasures measure_shape(const Surface& lr, const Eigen::MatrixXf& y)
{
    ShapeMeasures measures;
    const auto vertices = static_cast<float>(y.cols());
    measures.size = std::sqrt(y.squaredNorm() / vertices);
    for (const Triangle& t : lr.triangles) {
        const Eigen::Vector3f y0 = y.col(t.vertex[0]);
        const Eigen::Vector3f y1 = y.col(t.vertex[1]);
        const Eigen::Vector3f y2 = y.col(t.vertex[2]);
        measures.volume += y0.dot(y1.cross(y2)) / 6.0f;
        measures.area += (y1 - y0).cross(y2 - y0).norm() / 2.0f;
    }
    return measures;
}

// Scales every shape about its own centroid by its registration's scale.
void rescale_about_centroids(const std::vector<ShapeEntry>& entries, Eigen::MatrixXf& shapes)
{
    for (Eigen::Index j = 0; j < shapes.cols(); ++j) {
        Eigen::Map<Eigen::MatrixXf> y = shape_points(shapes, j);
        const double scale = entries[static_cast<std::size_t>(j)].scale;
        for (Eigen::Index axis = 0; axis < 3; ++axis) {
            double sum = 0.0;
            for (Eigen::Index v = 0; v < y.cols(); ++v)
                sum += y(axis, v);
            const double mean = sum / static_cast<double>(y.cols());
            for (Eigen::Index v = 0; v < y.cols(); ++v)
                y(axis, v) = static_cast<float>((y(axis, v) - mean) * scale + mean);
        }
    }
}

ShapeModel model_of(const PrincipalComponents& components)
{
    ShapeModel model;
    model.mean.assign(components.mean.data(), components.mean.data() + components.mean.size());
    model.variances.assign(components.variances.data(),
                           components.variances.data() + components.variances.size());
    model.modes.resize(static_cast<std::size_t>(components.modes.rows()));
    for (std::size_t i = 0; i < model.modes.size(); ++i) {
        const Eigen::RowVectorXf row = components.modes.row(static_cast<Eigen::Index>(i));
        model.modes[i].assign(row.data(), row.data() + row.size());
    }
    return model;
}

} // namespace

const CreatorModel& creator_model(int code)
{
    for (const CreatorModel& model : creator_models)
        if (model.code == code)
            return model;
    return creator_models[0];
}

bool natural_less_shape_entry(const ShapeEntry& a, const ShapeEntry& b)
{
    return natural_less_text(a.other_name, b.other_name);
}

bool find_shape_entries(const wxString& directory, const std::string& lr_name,
                        std::int64_t vertex_count, const CreatorModel& model,
                        std::vector<ShapeEntry>& entries)
{
    entries.clear();
    wxDir dir;
    {
        wxLogNull quiet; // the caller reports the failure, without a dialog
        if (!dir.Open(directory))
            return false;
    }
    const wxString suffix(model.suffix);
    const wxString prefix = wxString::FromUTF8(lr_name) + "-";
    const wxString base = dir.GetNameWithSep();
    wxString file_name;
    for (bool more = dir.GetFirst(&file_name, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN); more;
         more = dir.GetNext(&file_name)) {
        wxString rest, other_name;
        if (!file_name.EndsWith(suffix, &rest) || !rest.StartsWith(prefix, &other_name))
            continue;
        const wxString breg_file = base + file_name;
        if (readable_size(breg_file) != 12 * vertex_count)
            continue;
        bool ok = false;
        const Matrix4 matrix =
            read_reg_rows(file_system_path(base + rest + ".reg"), model.rows, ok);
        if (!ok)
            continue;
        ShapeEntry entry;
        entry.matrix = matrix;
        entry.scale = std::cbrt(std::fabs(linear_determinant(matrix)));
        entry.breg_file = breg_file;
        entry.other_name = other_name;
        entries.push_back(entry);
    }
    // Ties in the natural order keep the order in which the directory listed them.
    std::stable_sort(entries.begin(), entries.end(), natural_less_shape_entry);
    return true;
}

DisplacementRead read_displacements(const std::vector<ShapeEntry>& entries,
                                    std::int64_t vertex_count, Eigen::MatrixXf& shapes)
{
    const auto coordinates = static_cast<Eigen::Index>(3 * vertex_count);
    shapes.resize(coordinates, static_cast<Eigen::Index>(entries.size()));
    std::vector<unsigned char> bytes(4 * static_cast<std::size_t>(coordinates));
    for (std::size_t j = 0; j < entries.size(); ++j) {
        const FilePointer file = open_regular_file(file_system_path(entries[j].breg_file));
        if (!file)
            return DisplacementRead::not_opened;
        if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
            return DisplacementRead::short_read;
        for (Eigen::Index i = 0; i < coordinates; ++i) {
            const float value = get_float(&bytes[4 * static_cast<std::size_t>(i)]);
            if (!std::isfinite(value))
                return DisplacementRead::short_read;
            shapes(i, static_cast<Eigen::Index>(j)) = value;
        }
    }
    return DisplacementRead::complete;
}

std::vector<ShapeMeasures> align_shapes(const Surface& lr, const std::vector<ShapeEntry>& entries,
                                        bool procrustes, bool rescale, Eigen::MatrixXf& shapes)
{
    const auto vertices = static_cast<Eigen::Index>(lr.vertex_count);
    Eigen::MatrixXf x(3, vertices);
    for (Eigen::Index v = 0; v < vertices; ++v) {
        const Point3& p = lr.positions[static_cast<std::size_t>(v)];
        x.col(v) << static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z);
    }
    const Eigen::Vector3f c = x.rowwise().mean();
    const Eigen::MatrixXf x_centred = x.colwise() - c;
    const float r_x = std::sqrt(x_centred.squaredNorm() / static_cast<float>(vertices));

    std::vector<ShapeMeasures> measures;
    for (Eigen::Index j = 0; j < shapes.cols(); ++j) {
        Eigen::Map<Eigen::MatrixXf> column = shape_points(shapes, j);
        Eigen::Matrix3f a = linear_part(entries[static_cast<std::size_t>(j)].matrix);
        // One handedness for all shapes: a reflecting registration is made proper first.
        if (a.determinant() < 0.0f)
            a = -a;
        Eigen::MatrixXf y = a * column;
        const Eigen::Vector3f centroid = y.rowwise().mean();
        y.colwise() -= centroid;
        const ShapeMeasures shape = measure_shape(lr, y);
        measures.push_back(shape);
        if (!procrustes)
            continue;
        // A shape collapsed onto one point has no size to divide by; it stays a point.
        if (shape.size > 0.0f)
            y /= shape.size;
        const Eigen::Matrix3f h = x_centred * y.transpose();
        const Eigen::JacobiSVD<Eigen::Matrix3f> svd(h, Eigen::ComputeFullU | Eigen::ComputeFullV);
        const Eigen::Matrix3f rotation = svd.matrixU() * svd.matrixV().transpose();
        const float k = rescale ? shape.size : r_x;
        y = (k * rotation) * y;
        y.colwise() += c;
        column = y;
    }
    if (!procrustes && rescale)
        rescale_about_centroids(entries, shapes);
    return measures;
}

PrincipalComponents principal_components(const Eigen::MatrixXf& shapes)
{
    const Eigen::Index n = shapes.cols();
    PrincipalComponents result;
    result.mean = shapes.rowwise().sum() / static_cast<float>(n);
    const Eigen::MatrixXf z = (shapes.colwise() - result.mean).transpose();
    const Eigen::JacobiSVD<Eigen::MatrixXf, Eigen::ColPivHouseholderQRPreconditioner> svd(
        z, Eigen::ComputeThinU | Eigen::ComputeThinV);
    const Eigen::MatrixXf& w = svd.matrixV();
    // n shapes about their mean span at most n - 1 directions, and never more than the
    // coordinates hold.
    const Eigen::Index k = std::min<Eigen::Index>({n - 1, max_modes, w.cols()});
    result.variances =
        (svd.singularValues().head(k).array().square() / static_cast<float>(n - 1)).matrix();
    result.modes = w.leftCols(k);
    result.coefficients = z * result.modes;
    return result;
}

std::string shape_coefficient_text(const std::vector<ShapeEntry>& entries,
                                   const std::vector<ShapeMeasures>& measures,
                                   const Eigen::MatrixXf& coefficients)
{
    std::size_t width = 0;
    for (const ShapeEntry& entry : entries)
        width = std::max(width, character_count(utf8(entry.other_name)));
    std::string text;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        text += pad_to_width(utf8(entries[j].other_name), width);
        std::vector<float> numbers = {measures[j].volume, measures[j].area, measures[j].size};
        for (Eigen::Index i = 0; i < coefficients.cols(); ++i)
            numbers.push_back(coefficients(static_cast<Eigen::Index>(j), i));
        for (const float number : numbers)
            text += " , " + c_format("%7.2f", static_cast<double>(number));
        text += "\n";
    }
    return text;
}

bool create_shape_model(WorkingState& state, int model_code, bool procrustes, bool rescale)
{
    const Surface& lr = *state.lr_surface;
    if (lr.vertex_count <= 0) {
        log_status("Need LR and HR surfaces");
        return false;
    }
    const CreatorModel& model = creator_model(model_code);
    const std::string label = model.label;
    log_status("Scanning working directory for " + label + " registrations");
    const wxFileName stem(wxString::FromUTF8(lr.path_stem));
    // A stem without a directory part names a file of the current directory.
    const wxString directory = stem.GetPath().empty() ? wxString(".") : stem.GetPath();
    std::vector<ShapeEntry> entries;
    if (!find_shape_entries(directory, lr.name, lr.vertex_count, model, entries)) {
        log_status("Could not open working directory");
        return false;
    }
    if (entries.size() < minimum_shapes) {
        log_status("Did not find sufficient " + label + " registrations");
        return false;
    }
    log_status("Reading " + label + " displacements");
    Eigen::MatrixXf shapes;
    switch (read_displacements(entries, lr.vertex_count, shapes)) {
    case DisplacementRead::not_opened:
        log_status("Could not open " + label + " registration file");
        return false;
    case DisplacementRead::short_read:
        log_status("Could not read " + label + " displacements");
        return false;
    case DisplacementRead::complete:
        break;
    }
    const std::vector<ShapeMeasures> measures =
        align_shapes(lr, entries, procrustes, rescale, shapes);

    log_status("Performing PCA - this might take a while");
    const PrincipalComponents components = principal_components(shapes);

    log_status("Writing SSM and shape coefficient files");
    const std::string output = utf8(wxFileName(directory, "").GetPathWithSep()) + "auto_" +
                               lr.name + model.tag +
                               c_format("%i", static_cast<int>(entries.size()));
    ShapeModel shape_model = model_of(components);
    // A file that could not be written whole counts as not written: the message never claims
    // a file that is missing or cut short.
    if (!write_ssm_file(output + ".ssm", shape_model))
        log_status("Could not open SSM file for writing");
    else if (!write_whole_file(output + ".csv",
                               shape_coefficient_text(entries, measures, components.coefficients)))
        log_status("Could not open shape coefficient file for writing");
    else
        log_status("SSM and shape coefficient files written");

    install_shape_model(state, std::move(shape_model));
    return true;
}
