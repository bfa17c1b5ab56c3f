#include "surface/surface_data_file.h"

#include "surface/c_locale.h"
#include "surface/file_refusal.h"
#include "surface/status_log.h"
#include "surface/whole_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

bool ends_with(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// The text without its last four characters (normally ".bin").
std::string without_extension(const std::string& text)
{
    return text.substr(0, text.size() >= 4 ? text.size() - 4 : 0);
}

double decode_double(const unsigned char* bytes)
{
    std::uint64_t bits = 0;
    for (int k = 7; k >= 0; --k)
        bits = (bits << 8) | bytes[k];
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void encode_double(double value, unsigned char* bytes)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int k = 0; k < 8; ++k) {
        bytes[k] = static_cast<unsigned char>(bits & 0xff);
        bits >>= 8;
    }
}

// Opens a regular file for reading and gives its length; null for anything else.
FilePointer open_for_reading(const std::string& path, std::int64_t& length)
{
    FilePointer file = open_regular_file(path);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return nullptr;
    length = static_cast<std::int64_t>(std::ftell(file.get()));
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return nullptr;
    return file;
}

// Reads `count` little-endian doubles; false on a short read.
bool read_doubles(std::FILE* file, std::int64_t count, std::vector<double>& values)
{
    values.resize(static_cast<std::size_t>(count));
    std::array<unsigned char, 8 * 1024> buffer{};
    std::size_t done = 0;
    while (done < values.size()) {
        const std::size_t chunk = std::min(values.size() - done, buffer.size() / 8);
        if (std::fread(buffer.data(), 8, chunk, file) != chunk)
            return false;
        for (std::size_t k = 0; k < chunk; ++k)
            values[done + k] = decode_double(buffer.data() + 8 * k);
        done += chunk;
    }
    return true;
}

std::size_t count_occurrences(const std::string& text, const std::string& pattern)
{
    std::size_t count = 0;
    for (auto at = text.find(pattern); at != std::string::npos;
         at = text.find(pattern, at + pattern.size()))
        ++count;
    return count;
}

// ASCII only: every non-ASCII character (a UTF-8 sequence or a stray byte) becomes one '?'.
std::string ascii_units(const std::string& text)
{
    std::string ascii;
    for (const unsigned char byte : text) {
        if (byte < 0x80)
            ascii += static_cast<char>(byte);
        else if ((byte & 0xc0) != 0x80) // the lead byte of a sequence; continuations are skipped
            ascii += '?';
    }
    return ascii;
}

struct DataFileHeader {
    double minimum = 0.0;
    double maximum = 6.0;
    std::string units = "mm";
};

// Units and range of a file without header, from its name.
DataFileHeader header_from_name(const std::string& name)
{
    if (ends_with(name, "_density.bin"))
        return {0.0, 2000.0, "HU"};
    return {};
}

} // namespace

bool data_file_has_header(const std::string& name) { return ends_with(name, "_dat.bin"); }

std::string error_companion_name(const std::string& data_path)
{
    static const std::array<std::pair<const char*, const char*>, 4> rules = {{
        {"_dat.bin", "_err.bin"},
        {"_thickness.bin", "_thick_err.bin"},
        {"_trab_density.bin", "_trab_density_err.bin"},
        {"_density.bin", "_thick_err.bin"},
    }};
    for (const auto& [pattern, replacement] : rules) {
        const std::string from = pattern;
        if (count_occurrences(data_path, from) != 1)
            continue;
        std::string name = data_path;
        name.replace(name.find(from), from.size(), replacement);
        return name;
    }
    return {};
}

std::size_t kind_ending_length(const std::string& name)
{
    for (const char* ending : {"_trab_density", "_density", "_thickness", "_dat"})
        if (ends_with(name, ending))
            return std::strlen(ending);
    return 0;
}

bool load_error_file(const std::string& data_path, std::int64_t count, std::vector<double>& sigma)
{
    const std::string companion = error_companion_name(data_path);
    if (companion.empty())
        return false;
    std::int64_t length = 0;
    const FilePointer file = open_for_reading(companion, length);
    if (!file || length % 8 != 0 || length / 8 != count)
        return false;
    std::vector<double> values;
    if (!read_doubles(file.get(), count, values))
        return false;
    sigma = std::move(values);
    return true;
}

namespace {

// Why a file of count values fits none of the surfaces named: "7 values for 6 LR vertices".
std::string count_mismatch(std::int64_t count, const Surface* lr, const Surface* hr)
{
    if (count < 0)
        return c_format("shorter than its %lld-byte header",
                        static_cast<long long>(data_header_size));
    std::string vertices;
    if (lr != nullptr)
        vertices = c_format("%lld LR", static_cast<long long>(lr->vertex_count));
    if (hr != nullptr)
        vertices += (vertices.empty() ? "" : " or ") +
                    c_format("%lld HR", static_cast<long long>(hr->vertex_count));
    return c_format("%lld values for ", static_cast<long long>(count)) + vertices + " vertices";
}

// Which surface a file of count values goes to: the one asked for, or with data_target_either
// the HR surface when only it fits or when the LR surface holds data already. False, said in
// the status line, when the surface asked for (or neither) has that many vertices.
bool choose_data_surface(const WorkingState& state, const std::string& path, std::int64_t count,
                         int target, bool& to_hr)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    // A surface without vertices matches no file, not even an empty one.
    const bool fits_hr = hr.vertex_count > 0 && count == hr.vertex_count;
    const bool fits_lr = lr.vertex_count > 0 && count == lr.vertex_count;
    switch (target) {
    case data_target_hr:
        if (!fits_hr) {
            log_refusal("Binary file does not match HR surface", path,
                        count_mismatch(count, nullptr, &hr));
            return false;
        }
        to_hr = true;
        return true;
    case data_target_lr:
        if (!fits_lr) {
            log_refusal("Binary file does not match LR surface", path,
                        count_mismatch(count, &lr, nullptr));
            return false;
        }
        to_hr = false;
        return true;
    default:
        if (!fits_hr && !fits_lr) {
            log_refusal("Binary file does not match either surface", path,
                        count_mismatch(count, &lr, &hr));
            return false;
        }
        to_hr = fits_hr && (!fits_lr || state.lr_data_loaded);
        return true;
    }
}

// The minimum, maximum and units of a "_dat.bin" header at the file's position; false, said in
// the status line, when the file ends within it.
bool read_data_header(std::FILE* file, const std::string& path, DataFileHeader& range)
{
    std::array<unsigned char, data_header_size> bytes{};
    const char* failure = nullptr;
    if (std::fread(bytes.data(), 8, 1, file) != 1)
        failure = "Could not read data minimum from bin file";
    else if (std::fread(bytes.data() + 8, 8, 1, file) != 1)
        failure = "Could not read data maximum from bin file";
    else if (std::fread(bytes.data() + 16, 1, data_units_size, file) != data_units_size)
        failure = "Could not read data units from bin file";
    if (failure != nullptr) {
        log_refusal(failure, path, "the file ends within its header");
        return false;
    }
    range.minimum = decode_double(bytes.data());
    range.maximum = decode_double(bytes.data() + 8);
    const auto* units = reinterpret_cast<const char*>(bytes.data() + 16);
    range.units = ascii_units(std::string(units, strnlen(units, data_units_size)));
    return true;
}

// Takes the file's range and units as the colouring's. New units reset the colour scale, mark
// the lists coloured by data out of date and drop the other surface's data, kept in other
// units, which cannot share the colouring.
void take_data_range(WorkingState& state, const DataFileHeader& range, bool to_hr,
                     DataFileLoad& result)
{
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    result.units_changed = range.units != state.data_units;
    if (result.units_changed) {
        state.colour_gain = 1.0;
        state.colour_offset = 0.0;
        for (const DirtyList list : {dirty_lr_data, dirty_lr_curvature, dirty_registration_error,
                                     dirty_absolute_data_error, dirty_signed_data_error})
            state.list_dirty[list] = true;
    }
    state.data_units = range.units;
    state.data_min = range.minimum;
    state.data_max = range.maximum;

    if (!result.units_changed)
        return;
    const auto drop = [&result](std::uint32_t& list) {
        if (list != 0)
            result.deleted_lists.push_back(list);
        list = 0;
    };
    bool dropped = false;
    if (to_hr && state.lr_data_loaded) {
        drop(lr.data_list);
        state.lr_data_loaded = false;
        dropped = true;
    } else if (!to_hr && hr.data_list != 0) {
        drop(hr.data_list);
        dropped = true;
    }
    if (dropped) {
        drop(lr.abs_error_list);
        drop(lr.signed_error_list);
    }
}

// Names the surface's data after the file, marks what shows them out of date and reads the
// error file beside it (unit errors without one). True when the error file was read.
bool take_data_name_and_errors(WorkingState& state, const std::string& path,
                               const std::string& name, std::int64_t count, bool to_hr,
                               DataFileLoad& result)
{
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    bool with_error = false;
    if (to_hr) {
        const std::size_t slash = name.find_last_of('/');
        state.hr_data_name =
            without_extension(slash == std::string::npos ? name : name.substr(slash + 1));
        with_error = load_error_file(path, count, hr.sigma);
        result.build_hr_data_list = true;
        if (state.lr_data_loaded)
            state.list_dirty[dirty_lr_data] = true;
    } else {
        state.lr_data_name = without_extension(path);
        state.lr_data_loaded = true;
        state.list_dirty[dirty_lr_data] = true;
        result.build_hr_data_list = hr.data_list != 0;
        with_error = load_error_file(path, count, lr.sigma);
    }
    Surface& surface = to_hr ? hr : lr;
    if (!with_error)
        surface.sigma.assign(static_cast<std::size_t>(count), 1.0);
    return with_error;
}

// "Loaded HR data" or "Loaded LR data", noting values <= 0 of a thickness file that are not
// marked missing and whether an error file was read.
void log_data_loaded(const Surface& surface, const std::string& name, bool to_hr, bool with_error)
{
    bool some_not_positive = false;
    if (ends_with(name, "_thickness.bin"))
        for (std::size_t i = 0; i < surface.data.size(); ++i)
            if (surface.data[i] <= 0.0 && std::isfinite(surface.sigma[i]) &&
                surface.sigma[i] != missing_value)
                some_not_positive = true;
    log_status(std::string(to_hr ? "Loaded HR data" : "Loaded LR data") +
               (some_not_positive ? " (some <=0) " : "") + (with_error ? " and error" : ""));
}

} // namespace

DataFileLoad load_data_file(WorkingState& state, const std::string& path, const std::string& name,
                            int target)
{
    DataFileLoad result;
    const bool header = data_file_has_header(name);
    std::int64_t length = 0;
    const FilePointer file = open_for_reading(path, length);
    if (!file) {
        log_refusal("Could not open bin file", path, unopened_file_reason(path));
        return result;
    }
    if (length % 8 != 0) {
        log_refusal("Binary file does not contain a whole number of doubles", path,
                    c_format("%lld bytes", static_cast<long long>(length)));
        return result;
    }
    // Signed on purpose: a "_dat.bin" file shorter than its header gives a negative count,
    // which matches no surface.
    const std::int64_t count = (header ? length - data_header_size : length) / 8;
    bool to_hr = false;
    if (!choose_data_surface(state, path, count, target, to_hr))
        return result;
    DataFileHeader range = header_from_name(name);
    if (header && !read_data_header(file.get(), path, range))
        return result;
    std::vector<double> values;
    if (!read_doubles(file.get(), count, values)) {
        log_refusal("Could not read data values from bin file", path,
                    "the file ends before its last value");
        return result;
    }

    Surface& surface = to_hr ? *state.hr_surface : *state.lr_surface;
    surface.data = std::move(values);
    result.loaded = true;
    take_data_range(state, range, to_hr, result);
    const bool with_error = take_data_name_and_errors(state, path, name, count, to_hr, result);
    log_data_loaded(surface, name, to_hr, with_error);

    surface.smoothing_steps = 0;
    surface.hr_smoothing_steps = 0;
    state.list_dirty[dirty_absolute_data_error] = true;
    state.list_dirty[dirty_signed_data_error] = true;
    return result;
}

std::string saved_lr_data_name(const WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    std::string name = state.lr_data_name;
    const std::size_t kind = kind_ending_length(name);
    if (lr.hr_smoothing_steps > 0)
        name.insert(name.size() - kind,
                    c_format("_%liHR", static_cast<long>(lr.hr_smoothing_steps)));
    if (lr.smoothing_steps > 0)
        name.insert(name.size() - kind, c_format("_%liLR", static_cast<long>(lr.smoothing_steps)));
    return name + ".bin";
}

std::vector<unsigned char> data_header(double minimum, double maximum, const std::string& units)
{
    std::vector<unsigned char> bytes(data_header_size, 0);
    encode_double(minimum, bytes.data());
    encode_double(maximum, bytes.data() + 8);
    const std::string ascii = ascii_units(units);
    std::copy_n(ascii.begin(), std::min(ascii.size(), data_units_size), bytes.begin() + 16);
    return bytes;
}

bool write_data_values(const std::string& path, const std::vector<double>& values,
                       const std::optional<std::vector<unsigned char>>& header)
{
    std::string bytes;
    if (header)
        bytes.assign(header->begin(), header->end());
    const std::size_t start = bytes.size();
    bytes.resize(start + 8 * values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        encode_double(values[i], reinterpret_cast<unsigned char*>(&bytes[start + 8 * i]));
    return write_whole_file(path, bytes);
}

bool save_lr_data(const WorkingState& state)
{
    if (!state.lr_data_loaded) {
        log_status("Need LR data");
        return false;
    }
    const Surface& lr = *state.lr_surface;
    const std::string name = saved_lr_data_name(state);
    std::optional<std::vector<unsigned char>> header;
    if (ends_with(state.lr_data_name, "_dat"))
        header = data_header(state.data_min, state.data_max, state.data_units);
    bool written = write_data_values(name, lr.data, header);
    const std::string companion = error_companion_name(name);
    if (!companion.empty())
        written = write_data_values(companion, lr.sigma) && written;
    log_status(written ? "Wrote LR data" : "Could not write LR data file");
    return written;
}
