// Surface data files: one little-endian double per vertex (".bin"), an optional 256-byte header
// (display range and units) on names ending with "_dat.bin", and an error companion holding the
// standard deviation of every value.
#pragma once

#include "surface/surface.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WorkingState;

// Size of the header of "_dat.bin" files: minimum, maximum, 240 bytes of NUL-padded units.
constexpr std::int64_t data_header_size = 256;
constexpr std::size_t data_units_size = 240;

// Where load_data_file puts the values.
enum DataTarget : int { data_target_lr = 0, data_target_hr = 1, data_target_either = 2 };

// True when a data file of this name carries the header (the name ends with "_dat.bin").
bool data_file_has_header(const std::string& name);

// The error companion of a data file path: the first of the rules "_dat.bin" -> "_err.bin",
// "_thickness.bin" -> "_thick_err.bin", "_trab_density.bin" -> "_trab_density_err.bin",
// "_density.bin" -> "_thick_err.bin" whose pattern occurs exactly once in the path, applied.
// Empty when no rule applies.
std::string error_companion_name(const std::string& data_path);

// Length of the kind ending of a data name without ".bin" ("_trab_density" 13, "_density" 8,
// "_thickness" 10, "_dat" 4), 0 when it has none. The smoothing counts of a saved name are
// inserted before it.
std::size_t kind_ending_length(const std::string& name);

// Reads the error companion of data_path into sigma when it exists and holds exactly `count`
// doubles; sigma is left untouched and false returned otherwise. No message.
bool load_error_file(const std::string& data_path, std::int64_t count, std::vector<double>& sigma);

// What the view must do after load_data_file changed the data.
struct DataFileLoad {
    bool loaded = false;
    bool units_changed = false;      // refresh every data list (colouring restarts at gain 1)
    bool build_hr_data_list = false; // compile the HR data list
    std::vector<std::uint32_t> deleted_lists; // display lists dropped with other-units data
};

// Reads a data file onto the LR or HR surface (or whichever matches, LR first while it has no
// data), with its header or the units and range its name implies, and its error companion
// (sigma 1 everywhere without one). `path` is the full path, `name` the file name that every
// name test uses. On success the units, range, data names, lr_data_loaded and out-of-date flags
// are set, data of the other surface in other units are dropped (their list ids are zeroed and
// returned for deletion), the target's smoothing counters restart at 0 and the outcome is logged.
// On failure the message names the cause and nothing has changed.
DataFileLoad load_data_file(WorkingState& state, const std::string& path, const std::string& name,
                            int target);

// The name "Save LR data" writes: lr_data_name with the LR surface's carried HR passes
// ("_%liHR") and its own passes ("_%liLR") inserted before its kind ending, then ".bin".
std::string saved_lr_data_name(const Surface& lr, const std::string& lr_data_name);

// Writes the LR data (with the header when lr_data_name ends with "_dat") under
// saved_lr_data_name, and the LR sigma to its error companion when the name has one. Logs "Need
// LR data", "Could not write LR data file" or "Wrote LR data".
bool save_lr_data(const WorkingState& state);

// Writes doubles as a data file, preceded by the header when `header` holds its 256 bytes.
// False when the file could not be written whole (an old file then stays as it was).
bool write_data_values(const std::string& path, const std::vector<double>& values,
                       const std::optional<std::vector<unsigned char>>& header = std::nullopt);

// The 256 header bytes for a range and units text (non-ASCII characters become '?', the text is
// cut at 240 bytes).
std::vector<unsigned char> data_header(double minimum, double maximum, const std::string& units);
