#include "registration/registration_file.h"

#include "registration/default_pose.h"
#include "registration/ffd_grid.h"
#include "registration/registration_type.h"
#include "registration/result_file.h"
#include "surface/c_locale.h"
#include "surface/coordinate_range.h"
#include "surface/file_refusal.h"
#include "surface/status_log.h"
#include "surface/whole_file.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <utility>

namespace {

// The families in file order, with their members of the working state.
constexpr int family_count = 4;
constexpr const char* family_comments[family_count] = {
    "# rigid registration matrix", "# similarity registration matrix",
    "# affine registration matrix", "# aspect registration matrix"};
constexpr int grid_count = 3;
constexpr const char* grid_comments[grid_count] = {
    "# similarity 4x4x4 B-spline control points (x y z x y z x ...)",
    "# affine 4x4x4 B-spline control points (x y z x y z x ...)",
    "# aspect 4x4x4 B-spline control points (x y z x y z x ...)"};
constexpr std::size_t grid_size = 192;
constexpr const char* family_names[family_count] = {"rigid", "similarity", "affine", "aspect"};

std::array<Matrix4*, family_count> families(WorkingState& state)
{
    return {&state.rigid_transform, &state.similarity_transform, &state.affine_transform,
            &state.aspect_transform};
}
std::array<const Matrix4*, family_count> families(const WorkingState& state)
{
    return {&state.rigid_transform, &state.similarity_transform, &state.affine_transform,
            &state.aspect_transform};
}
std::array<FfdGrid*, grid_count> grids(WorkingState& state)
{
    return {&state.similarity_ffd_grid, &state.affine_ffd_grid, &state.aspect_ffd_grid};
}
std::array<const FfdGrid*, grid_count> grids(const WorkingState& state)
{
    return {&state.similarity_ffd_grid, &state.affine_ffd_grid, &state.aspect_ffd_grid};
}

// The stored result shapes of the LR surface with their result-file suffixes, by ResultSlot.
struct ResultShape {
    std::vector<Point3> Surface::*positions;
    const char* suffix;
};
constexpr ResultShape result_shapes[] = {
    {&Surface::aff_lad_positions, "-aff_lad"}, {&Surface::aspect_lad_positions, "-aspect_lad"},
    {&Surface::sim_lad_positions, "-sim_lad"}, {&Surface::sim_tps_positions, "-sim_tps"},
    {&Surface::sim_ssm_positions, "-sim_ssm"},
};
constexpr ResultSlot saving_order[] = {result_similarity_lad, result_affine_lad, result_aspect_lad,
                                       result_similarity_tps, result_similarity_ssm};
constexpr ResultSlot loading_order[] = {result_affine_lad, result_similarity_lad, result_aspect_lad,
                                        result_similarity_ssm, result_similarity_tps};

// ---- Reading ----------------------------------------------------------------------------

// Calls take(line, number) for every data line of the stream, number counted from 1: lines end
// at LF, CR LF or CR; tabs count as blanks; leading blanks are removed; empty lines and lines
// beginning with "#" are skipped. first_line (when given) receives the stream's first line with
// its tabs as blanks. Stops when take returns false, and then returns false.
bool for_each_data_line(std::istream& in, std::string* first_line,
                        const std::function<bool(const std::string&, long long)>& take)
{
    std::string chunk;
    bool first = true;
    long long number = 0;
    while (std::getline(in, chunk)) {
        std::size_t start = 0;
        while (start <= chunk.size()) {
            // The empty rest after the CR of a CR LF is no line of its own.
            if (start == 0 || start < chunk.size())
                ++number;
            std::size_t end = chunk.find('\r', start);
            if (end == std::string::npos)
                end = chunk.size();
            std::string line = chunk.substr(start, end - start);
            start = end + 1;
            for (char& c : line)
                if (c == '\t')
                    c = ' ';
            if (first) {
                // A byte-order mark says the text is UTF-8; it is not part of the line.
                if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
                    line.erase(0, 3);
                if (first_line != nullptr)
                    *first_line = line;
                first = false;
            }
            const std::size_t text = line.find_first_not_of(' ');
            if (text == std::string::npos || line[text] == '#')
                continue;
            if (!take(line.substr(text), number))
                return false;
        }
    }
    return true;
}

// Reads `count` numbers from the start of a data line into values: each token runs to the next
// blank and must convert whole to a finite double within the usable coordinate range ("nan",
// "inf", overflows and numbers beyond the float range do not): larger ones would overflow the
// products the poses and grids go through. On failure why (when given) says what is wrong.
bool read_numbers(const std::string& line, double* values, std::size_t count,
                  std::string* why = nullptr)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string::npos) {
            if (why != nullptr)
                *why = c_format("%zu numbers where %zu are expected", i, count);
            return false;
        }
        std::size_t end = line.find(' ', at);
        if (end == std::string::npos)
            end = line.size();
        const std::string token = line.substr(at, end - at);
        const char* stop = nullptr;
        double value = 0.0;
        if (!parse_double(token.c_str(), value, &stop) || stop != token.c_str() + token.size() ||
            !is_usable_coordinate(value)) {
            if (why != nullptr)
                *why = "'" + token.substr(0, 40) + "' is not a number of the usable range";
            return false;
        }
        values[i] = value;
        at = end;
    }
    return true;
}

// Row r of the matrix from the first four numbers of the line.
bool read_row(const std::string& line, Matrix4& matrix, int r, std::string* why = nullptr)
{
    double row[4];
    if (!read_numbers(line, row, 4, why))
        return false;
    for (int c = 0; c < 4; ++c)
        matrix[r + 4 * c] = row[c];
    return true;
}

// A linear part without an inverse (up to rounding) would make a pose that flattens the
// surface; the fits divide by its determinant and column lengths.
bool is_singular(const Matrix4& matrix)
{
    double largest = 0.0;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            largest = std::fmax(largest, std::fabs(matrix[4 * c + r]));
    const double det = linear_determinant(matrix);
    return !(std::fabs(det) > 1e-12 * largest * largest * largest);
}

bool is_identity(const Matrix4& matrix) { return matrix.m == identity_matrix().m; }

enum class RegVersion { unversioned, v10, v13 };

RegVersion version_of(const std::string& first_line)
{
    RegVersion version = RegVersion::unversioned;
    if (first_line.find("Kelvorand v10") != std::string::npos)
        version = RegVersion::v10;
    if (first_line.find("Kelvorand v13") != std::string::npos)
        version = RegVersion::v13;
    return version;
}

// What a registration file holds, as written.
struct RegistrationRecord {
    RegVersion version = RegVersion::unversioned;
    std::array<Matrix4, family_count> matrices{}; // rigid, similarity, affine, aspect
    std::array<FfdGrid, grid_count> grids{};      // similarity, affine, aspect
};

enum class ReadOutcome { complete, incomplete, parse_error };

// Steps through the data items of one file: 16 matrix rows, then 3 grid lines, with the
// skipped and missing items of the older layouts.
class RecordReader {
public:
    explicit RecordReader(RegistrationRecord& record) : record_(record) {}

    bool take(const std::string& line, long long number)
    {
        line_ = number;
        const bool unversioned = record_.version == RegVersion::unversioned;
        if (item_ < 16) {
            if (unversioned && item_ == 12) {
                // No aspect matrix in the oldest layout; its extra line is skipped.
                record_.matrices[3] = identity_matrix();
                item_ = 16;
                return true;
            }
            Matrix4& matrix = record_.matrices[static_cast<std::size_t>(item_ / 4)];
            std::string why;
            if (!read_row(line, matrix, item_ % 4, &why))
                return fail(why);
            if (item_ % 4 == 3 && is_singular(matrix))
                return fail(std::string("the ") + family_names[item_ / 4] +
                            " matrix has no inverse");
            ++item_;
            return true;
        }
        if (item_ < 19) {
            if (record_.version == RegVersion::v10 && item_ == 16 && !v10_line_skipped_) {
                v10_line_skipped_ = true;
                return true;
            }
            FfdGrid& grid = record_.grids[static_cast<std::size_t>(item_ - 16)];
            std::string why;
            if (!read_numbers(line, grid.values.data(), grid_size, &why))
                return fail(why);
            ++item_;
            if (unversioned && item_ == 18)
                item_ = 19; // no aspect grid either
            return true;
        }
        return fail("a data line after the last grid");
    }

    // Why the file did not parse: "line 12: ...".
    const std::string& refusal() const { return refusal_; }

    ReadOutcome outcome() const
    {
        if (failed_)
            return ReadOutcome::parse_error;
        return item_ == 19 ? ReadOutcome::complete : ReadOutcome::incomplete;
    }

private:
    bool fail(const std::string& why)
    {
        failed_ = true;
        refusal_ = "line " + std::to_string(line_) + ": " + why;
        return false;
    }

    RegistrationRecord& record_;
    int item_ = 0;
    bool v10_line_skipped_ = false;
    bool failed_ = false;
    long long line_ = 0;
    std::string refusal_;
};

// A registration file is a few hundred kilobytes at most; anything far larger (or endless)
// cannot be one.
constexpr std::uint64_t largest_registration_file = std::uint64_t{64} << 20;

void set_defaults(WorkingState& state, const Matrix4& default_pose)
{
    for (Matrix4* family : families(state))
        *family = default_pose;
    for (FfdGrid* grid : grids(state))
        reset_ffd_grid(state, *grid);
}

// ---- Writing ----------------------------------------------------------------------------

void append_row(std::string& text, const Matrix4& matrix, int r)
{
    text += c_format("%f %f %f %f\n", matrix[r], matrix[r + 4], matrix[r + 8], matrix[r + 12]);
}

} // namespace

std::string registration_file_path(const Surface& lr, const Surface& hr)
{
    return lr.path_stem + "-" + hr.name + ".reg";
}

std::string result_file_path(const Surface& lr, const Surface& hr, const std::string& suffix)
{
    return lr.path_stem + "-" + hr.name + suffix + ".breg";
}

std::string registration_file_text(const WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    std::string text = "# Kelvorand v13\n\n";
    const auto family_matrices = families(state);
    for (int f = 0; f < family_count; ++f) {
        const Matrix4 file_matrix = product(
            product(hr.from_centred, *family_matrices[static_cast<std::size_t>(f)]), lr.to_centred);
        text += family_comments[f];
        text += '\n';
        for (int r = 0; r < 4; ++r)
            append_row(text, file_matrix, r);
        text += '\n';
    }
    const auto grid_values = grids(state);
    for (int g = 0; g < grid_count; ++g) {
        if (g > 0)
            text += '\n';
        text += grid_comments[g];
        text += '\n';
        for (double value : grid_values[static_cast<std::size_t>(g)]->values)
            text += c_format("%f ", value);
        text += '\n';
    }
    return text;
}

bool save_registration(WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    if (lr.vertex_count == 0) {
        log_status("Need LR and HR surfaces");
        return false;
    }
    if (!write_whole_file(registration_file_path(lr, hr), registration_file_text(state))) {
        log_status("Could not write reg file");
        return false;
    }
    std::string unwritten;
    int unwritten_count = 0;
    for (const ResultSlot slot : saving_order) {
        const ResultShape& result = result_shapes[slot];
        bool& unsaved = state.result_unsaved[slot];
        if (!unsaved)
            continue;
        const std::string path = result_file_path(lr, hr, result.suffix);
        if (write_breg_file(path, lr.vertex_count, *stored_shape_view(lr, lr.*result.positions))) {
            unsaved = false;
            continue;
        }
        unwritten += (unwritten_count++ == 0 ? "" : ", ") + file_name_part(path);
    }
    if (unwritten_count > 0) {
        // The result stays unsaved, and so does the registration, so that quitting still asks.
        log_status(std::string("Registration file saved, but could not write result file") +
                   (unwritten_count > 1 ? "s " : " ") + unwritten);
        return false;
    }
    state.registration_unsaved = false;
    log_status("Registration file saved");
    return true;
}

int load_registration_file(WorkingState& state, std::string* refusal)
{
    const Matrix4 default_pose = compute_default_pose(state);
    Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;

    std::string bytes;
    const WholeFileRead outcome =
        read_whole_file(registration_file_path(lr, hr), largest_registration_file, bytes);
    switch (outcome) {
    case WholeFileRead::read:
        break;
    case WholeFileRead::not_opened:
        set_defaults(state, default_pose);
        return 0;
    case WholeFileRead::not_a_file: // a device or a directory in its place
    case WholeFileRead::too_large:
        if (refusal != nullptr)
            *refusal =
                outcome == WholeFileRead::too_large ? "larger than 64 MiB" : "not a regular file";
        set_defaults(state, default_pose);
        return -1;
    }
    if (bytes.empty()) {
        set_defaults(state, default_pose);
        return 0;
    }
    std::istringstream in(std::move(bytes));
    RegistrationRecord record;
    std::string first_line;
    RecordReader reader(record);
    bool version_known = false;
    for_each_data_line(in, &first_line, [&](const std::string& line, long long number) {
        if (!version_known) {
            record.version = version_of(first_line);
            version_known = true;
        }
        return reader.take(line, number);
    });
    switch (reader.outcome()) {
    case ReadOutcome::parse_error:
        if (refusal != nullptr)
            *refusal = reader.refusal();
        set_defaults(state, default_pose);
        return -1;
    case ReadOutcome::incomplete:
        set_defaults(state, default_pose);
        return 0;
    case ReadOutcome::complete:
        break;
    }

    for (const ResultSlot slot : loading_order)
        read_breg_file(result_file_path(lr, hr, result_shapes[slot].suffix), lr.vertex_count,
                       lr.*result_shapes[slot].positions);

    const auto family_matrices = families(state);
    for (int f = 0; f < family_count; ++f) {
        const Matrix4& read = record.matrices[static_cast<std::size_t>(f)];
        Matrix4& family = *family_matrices[static_cast<std::size_t>(f)];
        if (record.version == RegVersion::v13)
            family = product(product(hr.to_centred, read), lr.from_centred);
        else
            family = is_identity(read) ? default_pose : read;
    }
    const auto grid_slots = grids(state);
    for (int g = 0; g < grid_count; ++g)
        *grid_slots[static_cast<std::size_t>(g)] = record.grids[static_cast<std::size_t>(g)];
    if (record.version == RegVersion::unversioned)
        reset_ffd_grid(state, state.aspect_ffd_grid);
    return 1;
}

Matrix4 read_reg_rows(const std::string& path, int rows, bool& ok)
{
    Matrix4 matrix;
    std::string bytes;
    if (read_whole_file(path, largest_registration_file, bytes) != WholeFileRead::read) {
        ok = false;
        return matrix;
    }
    std::istringstream in(std::move(bytes));
    int read = 0;
    bool bad = false;
    if (rows > 0)
        for_each_data_line(in, nullptr, [&](const std::string& line, long long) {
            if (!read_row(line, matrix, read % 4)) {
                bad = true;
                return false;
            }
            return ++read < rows;
        });
    ok = !bad && read == std::max(rows, 0) && !(read >= 4 && is_singular(matrix));
    return matrix;
}
