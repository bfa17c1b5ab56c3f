// The automatic batch file writer: ready-to-run batch files that register the loaded LR surface
// onto every surface of its directory, review every pair, and map each kind of surface data.
#pragma once

#include "utilities/batch_file.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct WorkingState;

// The 13 integers of a job, in the order of the integer columns.
using BatchPreset = std::array<std::int32_t, batch_value_count>;

// Built-in jobs. A preset's "reflect" is never written: each job line gets its own.
extern const BatchPreset aspect_preset;
extern const BatchPreset lad_preset;
extern const BatchPreset review_preset;
extern const BatchPreset map_preset;

// Registration settings read from the controls, used when "Defaults" is unticked.
struct BatchWriterControls {
    std::int32_t range = 999; // search-range position, 999 when the slider is at its maximum
    std::int32_t fussy = 0;   // -1 when "Auto sequence" is ticked
    std::int32_t iterations = 0;
    std::int32_t registration_type = 0;
    std::int32_t rims = 1; // 1 "Yes", 0 "No", 2 "To rims"
};

// Lists the surface files (".ply", ".wrl", sorted by natural_less_file_name, the program's own
// outputs passed over: is_output_surface_name) and data files (".bin", no error companions or
// mapped or painted data, in directory order) of `directory` into the working state, with the
// data keys of every surface. passed_over (when given) receives the file names of the outputs
// passed over, in name order. False when the directory cannot be opened.
bool scan_working_directory(const std::string& directory, WorkingState& state,
                            std::vector<std::string>* passed_over = nullptr);

// Writes one register or review batch file named `file_name` into the LR surface's directory,
// one job per scanned surface. False when the file could not be written.
bool write_register_batch_file(const WorkingState& state, const std::string& file_name,
                               const BatchPreset& preset);

// Writes "auto_map" + key + ".run" for every data key of the last scan. False when any of them
// could not be written; the others are still written and `failed` (when given) receives the
// names of those that were not.
bool write_map_batch_files(const WorkingState& state, const BatchPreset& preset,
                           std::vector<std::string>* failed = nullptr);

// The whole writer: checks for an LR surface, scans its directory and writes the register,
// review and map files, logging the outcome. Returns true when every file was written.
bool write_batch_files(WorkingState& state, bool use_defaults, const BatchWriterControls& controls);
