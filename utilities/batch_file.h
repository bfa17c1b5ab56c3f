// Batch files (".run"): a path prefix, then one registration job per line. The grammar as read,
// the column table that reading and writing share, and the batch log's name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct WorkingState;

constexpr int batch_name_count = 4;
constexpr int batch_value_count = 13;
constexpr int batch_column_count = batch_name_count + batch_value_count;

// One column of a job line: its print width and its four header lines ("" when empty).
struct BatchColumn {
    std::uint16_t width;
    std::array<const char*, 4> header;
};

// The columns in the order a job line is read and written: the four file names, then the 13
// integers.
extern const std::array<BatchColumn, batch_column_count> batch_columns;

// Positions of the four file names of a job.
enum BatchName : int {
    batch_lr_surface = 0,
    batch_hr_surface = 1,
    batch_lr_data = 2,
    batch_hr_data = 3,
};

// Positions of the 13 integers of a job (column number less batch_name_count).
enum BatchValue : int {
    batch_reflect = 0,
    batch_smooth_lr = 1,
    batch_smooth_hr = 2,
    batch_range = 3,
    batch_fussy = 4,
    batch_iterations = 5,
    batch_registration_type = 6,
    batch_save_registration = 7,
    batch_save_lr_data = 8,
    batch_save_map = 9,
    batch_review = 10,
    batch_rims = 11,
    batch_save_hr = 12,
};

// The file name of a data column that names no file.
constexpr const char* batch_no_file = "n/a";

struct BatchJob {
    std::array<std::string, batch_name_count> names;
    std::array<std::int32_t, batch_value_count> values{};
};

struct BatchFile {
    std::string prefix; // prepended to every name without a separator
    std::vector<BatchJob> jobs;
};

// Reads a text file's lines as read_file_text_lines gives them (encoding detected, converted to
// UTF-8). False when the file is not readable, is no regular file or is larger than 256 MiB.
bool read_text_lines(const std::string& path, std::vector<std::string>& lines);

// Parses the lines of a batch file: separators (blank, tab, comma), "#" comments and empty
// lines, the prefix line, quoted names, 11 required and 2 optional integers per job (an
// optional one may be left out, but a token in its place must be an integer). Returns false
// when an integer token is not an integer or when no job line was found; `batch` then holds what
// was read before.
bool parse_batch_lines(const std::vector<std::string>& lines, BatchFile& batch);

// The log beside a batch file: its directory and name, "_log", extension "txt".
std::string batch_log_path(const std::string& batch_path);

// Replaces the stored jobs of the working state by those of `batch`.
void store_batch_jobs(const BatchFile& batch, WorkingState& state);

// Name or integer of stored job `job`; "" and 0 for a job that is not stored.
const std::string& batch_job_name(const WorkingState& state, std::int64_t job, BatchName column);
std::int32_t batch_job_value(const WorkingState& state, std::int64_t job, BatchValue column);

// The same for the job being run (batch_job_index).
std::int32_t current_batch_value(const WorkingState& state, BatchValue column);

// True while a batch runs a review job: views of the pair instead of a registration.
bool current_job_is_review(const WorkingState& state);

// How a job's "reg type" selects a registration type among `item_count` choice items: a
// negative value first converts the aspect transform to the similarity transform and then
// counts by its absolute value; a value past the last item selects the last item. A value that
// names a registration type the choice does not offer ("Similarity + SSM" without a shape
// model) is not available: the job cannot run as asked.
struct JobRegistrationType {
    bool aspect_to_similarity = false;
    int item = 0;
    bool available = true;
};
JobRegistrationType job_registration_type(std::int32_t value, int item_count);

// The "Match rims" selection (RimMode) of a job's "rims": 0 "No", 2 "To rims", else "Yes".
int job_rim_mode(std::int32_t value);

// Makes every family transform a reflection when `reflect`, and none of them otherwise, by
// composing it with the LR surface's mirror; marks the registration unsaved when one changed.
// A transform with a zero determinant is left alone.
void apply_batch_reflection(WorkingState& state, bool reflect);
