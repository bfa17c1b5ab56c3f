#include "utilities/shape_model.h"

#include "state/working_state.h"
#include "surface/coordinate_range.h"
#include "surface/float_bytes.h"
#include "surface/vertex_normals.h"
#include "surface/whole_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr std::uint64_t header_bytes = 8;

// Reads `count` floats; false on a short read or a value that is not finite.
bool read_floats(std::FILE* file, std::size_t count, std::vector<float>& values)
{
    std::vector<unsigned char> bytes(4 * count);
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
        return false;
    values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = get_float(&bytes[4 * i]);
        if (!std::isfinite(values[i]))
            return false;
    }
    return true;
}

void append_floats(std::string& bytes, const std::vector<float>& values, std::size_t count)
{
    const std::size_t start = bytes.size();
    bytes.resize(start + 4 * count);
    for (std::size_t i = 0; i < count; ++i)
        put_float(&bytes[start + 4 * i], values[i]);
}

void append_uint32(std::string& bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(static_cast<unsigned char>(value >> (8 * i))));
}

std::uint32_t get_uint32(const unsigned char* bytes)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return value;
}

// The shown positions changed: normals follow and the LR plain list must be compiled again.
void shape_changed(WorkingState& state)
{
    compute_vertex_normals(*state.lr_surface);
    state.list_dirty[dirty_lr_plain] = true;
}

// Whether every shape the sliders can show, the mean moved by up to three standard deviations
// along one mode, keeps its coordinates within the usable range: a model that would show
// infinite positions spreads NaN into the normals and the fit.
bool shapes_stay_usable(const ShapeModel& model)
{
    std::vector<double> reach(model.variances.size());
    for (std::size_t k = 0; k < reach.size(); ++k)
        reach[k] = std::fabs(ssm_amplitude(model.variances[k], 100));
    for (std::size_t row = 0; row < model.modes.size(); ++row)
        for (std::size_t k = 0; k < reach.size(); ++k)
            if (!(std::fabs(static_cast<double>(model.mean[row])) +
                      std::fabs(static_cast<double>(model.modes[row][k])) * reach[k] <=
                  largest_coordinate))
                return false;
    return true;
}

} // namespace

std::string ssm_file_path(const Surface& lr) { return lr.path_stem + ".ssm"; }

bool read_ssm_file(const std::string& path, std::int64_t coordinates, ShapeModel& model,
                   std::string* refusal)
{
    const auto refuse = [refusal](const char* why) {
        if (refusal != nullptr)
            *refusal = why;
        return false;
    };
    const FilePointer file = open_regular_file(path);
    if (!file)
        return false; // most surfaces have no model: no reason to give
    if (coordinates <= 0 || std::fseek(file.get(), 0, SEEK_END) != 0)
        return refuse("it cannot be read");
    const long length = std::ftell(file.get());
    std::rewind(file.get());
    unsigned char header[header_bytes];
    if (length < 0 || std::fread(header, 1, header_bytes, file.get()) != header_bytes)
        return refuse("it is too short for a header");
    const auto rows = static_cast<std::int32_t>(get_uint32(header));
    const std::uint32_t modes = get_uint32(header + 4);
    if (rows != coordinates)
        return refuse("it is not made for as many vertices as the LR surface has");
    // The "mode" slider counts modes in an int.
    if (modes < 2 || modes > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return refuse("its mode count is not between 2 and 2147483647");
    // The mode count is not bounded by the header: only the bytes that follow may vouch for
    // it, before it sizes any allocation. Bytes past the model are ignored.
    const auto r = static_cast<std::uint64_t>(rows);
    const auto available = static_cast<std::uint64_t>(length);
    if (available < header_bytes + 4 * r ||
        (available - header_bytes - 4 * r) / (4 * (r + 1)) < modes)
        return refuse("it is shorter than its header says");

    ShapeModel read;
    bool complete =
        read_floats(file.get(), r, read.mean) && read_floats(file.get(), modes, read.variances);
    if (complete) {
        read.modes.resize(r);
        for (std::vector<float>& row : read.modes)
            if (!(complete = read_floats(file.get(), modes, row)))
                break;
    }
    if (!complete)
        return refuse("it holds a value that is not a finite number");
    // A negative variance has no standard deviation: it would spread NaN through the shapes.
    if (!std::all_of(read.variances.begin(), read.variances.end(),
                     [](float v) { return v >= 0.0f; }))
        return refuse("it holds a negative variance");
    if (!shapes_stay_usable(read))
        return refuse("its shapes leave the range of coordinates the program can use");
    model = std::move(read);
    return true;
}

bool write_ssm_file(const std::string& path, const ShapeModel& model)
{
    const std::size_t rows = model.mean.size();
    const std::size_t modes = model.variances.size();
    if (rows == 0 || rows > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) ||
        modes > std::numeric_limits<std::uint32_t>::max() || model.modes.size() != rows ||
        std::any_of(model.modes.begin(), model.modes.end(),
                    [modes](const std::vector<float>& row) { return row.size() != modes; }))
        return false;
    std::string bytes;
    bytes.reserve(header_bytes + 4 * (rows + modes + rows * modes));
    append_uint32(bytes, static_cast<std::uint32_t>(rows));
    append_uint32(bytes, static_cast<std::uint32_t>(modes));
    append_floats(bytes, model.mean, rows);
    append_floats(bytes, model.variances, modes);
    for (const std::vector<float>& row : model.modes)
        append_floats(bytes, row, modes);
    return write_whole_file(path, bytes);
}

bool load_ssm_file(WorkingState& state, std::string& refusal)
{
    ShapeModel model;
    std::string why;
    const Surface& lr = *state.lr_surface;
    if (!read_ssm_file(ssm_file_path(lr), 3 * lr.vertex_count, model, &why)) {
        if (!why.empty())
            refusal = "Could not read shape model file " + lr.name + ".ssm: " + why;
        return false;
    }
    install_shape_model(state, std::move(model));
    return true;
}

bool shape_model_fits(const WorkingState& state)
{
    const std::int64_t vertices = state.lr_surface->vertex_count;
    if (state.ssm_mode_count <= 0 || vertices <= 0)
        return false;
    const auto coordinates = static_cast<std::size_t>(3 * vertices);
    const auto modes = static_cast<std::size_t>(state.ssm_mode_count);
    return state.ssm_mean.size() == coordinates && state.ssm_modes.size() == coordinates &&
           state.ssm_variances.size() >= modes &&
           std::all_of(state.ssm_modes.begin(), state.ssm_modes.end(),
                       [modes](const std::vector<float>& row) { return row.size() >= modes; });
}

void install_shape_model(WorkingState& state, ShapeModel&& model)
{
    state.ssm_mode_count = static_cast<std::int64_t>(model.variances.size());
    state.ssm_mean = std::move(model.mean);
    state.ssm_variances = std::move(model.variances);
    state.ssm_modes = std::move(model.modes);
}

double ssm_amplitude(float variance, int position)
{
    if (!(variance >= 0.0f) || !std::isfinite(variance))
        return 0.0;
    const float sd = std::sqrt(variance);
    // Whole model units only: small modes stay at the mean until a step reaches one unit.
    return std::trunc((position / 100.0) * static_cast<double>(sd * 3.0f));
}

bool show_shape_on_mode(WorkingState& state, std::int64_t mode, int position)
{
    if (!shape_model_fits(state) || mode < 1 || mode > state.ssm_mode_count)
        return false;
    const auto k = static_cast<std::size_t>(mode - 1);
    const auto amplitude = static_cast<float>(ssm_amplitude(state.ssm_variances[k], position));
    Surface& lr = *state.lr_surface;
    lr.deformed_positions.resize(static_cast<std::size_t>(lr.vertex_count));
    for (std::size_t v = 0; v < lr.deformed_positions.size(); ++v) {
        double c[3];
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const std::size_t row = 3 * v + axis;
            const float offset = state.ssm_modes[row][k] * amplitude;
            c[axis] = static_cast<double>(state.ssm_mean[row]) + static_cast<double>(offset);
        }
        lr.deformed_positions[v] = {c[0], c[1], c[2]};
    }
    shape_changed(state);
    return true;
}

bool show_shape_model_mean(WorkingState& state)
{
    Surface& lr = *state.lr_surface;
    // The mean alone is shown: the modes need not be looked at.
    if (state.ssm_mode_count <= 0 || lr.vertex_count <= 0 ||
        state.ssm_mean.size() != static_cast<std::size_t>(3 * lr.vertex_count))
        return false;
    lr.deformed_positions.resize(static_cast<std::size_t>(lr.vertex_count));
    for (std::size_t v = 0; v < lr.deformed_positions.size(); ++v)
        lr.deformed_positions[v] = {state.ssm_mean[3 * v], state.ssm_mean[3 * v + 1],
                                    state.ssm_mean[3 * v + 2]};
    shape_changed(state);
    return true;
}
