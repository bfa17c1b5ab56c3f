#include "utilities/batch_file.h"

#include "app/working_state.h"
#include "registration/registration_type.h"
#include "surface/file_text.h"

#include <wx/filename.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

const std::array<BatchColumn, batch_column_count> batch_columns = {{
    {10, {"LR surface", "", "", ""}},
    {10, {"HR surface", "", "", ""}},
    {7, {"LR data", "", "", ""}},
    {7, {"HR data", "", "", ""}},
    {7, {"reflect", "", "", ""}},
    {7, {"smth LR", "", "", ""}},
    {7, {"smth HR", "", "", ""}},
    {5, {"range", "", "", ""}},
    {7, {"fussy", "-1=auto", "", ""}},
    {6, {"n iter", "", "", ""}},
    {8, {"reg type", "-=as->sm", "", ""}},
    {8, {"save reg", "", "", ""}},
    {12, {"save LR data", "-1 = no", "0 = yes", ">0 = smth"}},
    {8, {"save map", "", "", ""}},
    {11, {"review", "0 = no", "1-6 = angle", "- = LR only"}},
    {11, {"rims", "0 = no", "1 = yes", "2 = to rims"}},
    {7, {"save HR", "surface", "", ""}},
}};

namespace {

// A batch file is read whole; a thousand jobs take a few hundred kilobytes.
constexpr std::uint64_t largest_batch_file = std::uint64_t{256} << 20;

bool is_white(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void trim_leading(std::string_view& text)
{
    while (!text.empty() && is_white(text.front()))
        text.remove_prefix(1);
}

void trim_trailing(std::string_view& text)
{
    while (!text.empty() && is_white(text.back()))
        text.remove_suffix(1);
}

// A name ends at the first blank, or at the closing quote when it begins with ' or " (a
// leading ' followed by " makes " the delimiter). Reading goes on after the delimiter.
std::string take_name(std::string_view& text)
{
    trim_leading(text);
    char delimiter = ' ';
    if (!text.empty() && text.front() == '\'') {
        text.remove_prefix(1);
        delimiter = '\'';
    }
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        delimiter = '"';
    }
    const std::size_t end = text.find(delimiter);
    std::string name(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return name;
}

// The next blank-separated token as a complete base-10 integer in the signed 64-bit range,
// kept as its low 32 bits; nothing when the token is empty or not such an integer. The token is
// consumed either way.
std::optional<std::int32_t> take_integer(std::string_view& text)
{
    trim_leading(text);
    const std::size_t end = text.find(' ');
    std::string_view token = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    bool negative = false;
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
        negative = token.front() == '-';
        token.remove_prefix(1);
    }
    if (token.empty())
        return std::nullopt;
    // Accumulate the magnitude as unsigned so that the most negative value still fits.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t magnitude = 0;
    for (const char c : token) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (limit - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    const std::uint64_t bits = negative ? ~magnitude + 1 : magnitude;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits & 0xffffffffu));
}

// An optional integer column: absent when nothing but blanks is left on the line, else read like
// a required one. False when a token stands there that is not an integer.
bool take_optional_integer(std::string_view& text, std::optional<std::int32_t>& value)
{
    trim_leading(text);
    value.reset();
    if (text.empty())
        return true;
    value = take_integer(text);
    return value.has_value();
}

} // namespace

bool read_text_lines(const std::string& path, std::vector<std::string>& lines)
{
    return read_file_text_lines(path, largest_batch_file, lines) == WholeFileRead::read;
}

bool parse_batch_lines(const std::vector<std::string>& lines, BatchFile& batch)
{
    batch.prefix.clear();
    batch.jobs.clear();
    bool have_prefix = false;
    for (const std::string& raw : lines) {
        std::string line = raw;
        for (char& c : line)
            if (c == '\t' || c == ',')
                c = ' ';
        std::string_view text(line);
        trim_leading(text);
        if (text.empty() || text.front() == '#')
            continue;

        if (!have_prefix) {
            trim_trailing(text);
            batch.prefix = take_name(text);
            have_prefix = true;
            continue;
        }

        BatchJob job;
        for (std::string& name : job.names)
            name = take_name(text);
        for (int k = 0; k < batch_rims; ++k) {
            const std::optional<std::int32_t> value = take_integer(text);
            if (!value)
                return false;
            job.values[static_cast<std::size_t>(k)] = *value;
        }
        std::optional<std::int32_t> rims;
        std::optional<std::int32_t> save_hr;
        if (!take_optional_integer(text, rims) || !take_optional_integer(text, save_hr))
            return false;
        std::int32_t& range = job.values[batch_range];
        if (rims) {
            job.values[batch_rims] = *rims;
        } else if (range < 0) {
            // Without a rims column a negative range asks for no rim matching.
            range = range == std::numeric_limits<std::int32_t>::min()
                        ? std::numeric_limits<std::int32_t>::max()
                        : -range;
            job.values[batch_rims] = 0;
        } else {
            job.values[batch_rims] = 1;
        }
        job.values[batch_save_hr] = save_hr.value_or(0);
        batch.jobs.push_back(std::move(job));
    }
    return !batch.jobs.empty();
}

std::string batch_log_path(const std::string& batch_path)
{
    wxFileName name(wxString::FromUTF8(batch_path));
    name.SetName(name.GetName() + "_log");
    name.SetExt("txt");
    return std::string(name.GetFullPath().ToUTF8().data());
}

void store_batch_jobs(const BatchFile& batch, WorkingState& state)
{
    state.batch_prefix = batch.prefix;
    state.batch_job_names.clear();
    state.batch_job_values.clear();
    for (const BatchJob& job : batch.jobs) {
        state.batch_job_names.insert(state.batch_job_names.end(), job.names.begin(),
                                     job.names.end());
        state.batch_job_values.insert(state.batch_job_values.end(), job.values.begin(),
                                      job.values.end());
    }
    state.batch_job_count = static_cast<std::int64_t>(batch.jobs.size());
}

const std::string& batch_job_name(const WorkingState& state, std::int64_t job, BatchName column)
{
    static const std::string none;
    if (job < 0 || job >= state.batch_job_count)
        return none;
    const auto index = static_cast<std::size_t>(job * batch_name_count + column);
    return index < state.batch_job_names.size() ? state.batch_job_names[index] : none;
}

std::int32_t batch_job_value(const WorkingState& state, std::int64_t job, BatchValue column)
{
    if (job < 0 || job >= state.batch_job_count)
        return 0;
    const auto index = static_cast<std::size_t>(job * batch_value_count + column);
    return index < state.batch_job_values.size() ? state.batch_job_values[index] : 0;
}

std::int32_t current_batch_value(const WorkingState& state, BatchValue column)
{
    return batch_job_value(state, state.batch_job_index, column);
}

bool current_job_is_review(const WorkingState& state)
{
    return state.batch_running && current_batch_value(state, batch_review) != 0;
}

JobRegistrationType job_registration_type(std::int32_t value, int item_count)
{
    JobRegistrationType type;
    std::int64_t item = value;
    if (item < 0) {
        type.aspect_to_similarity = true;
        item = -item;
    }
    type.item = static_cast<int>(std::min<std::int64_t>(item, item_count - 1));
    type.available = item < item_count || item > similarity_ssm;
    return type;
}

int job_rim_mode(std::int32_t value)
{
    return value == 0 ? rims_no : value == 2 ? rims_to_rims : rims_yes;
}

void apply_batch_reflection(WorkingState& state, bool reflect)
{
    for (Matrix4* transform : {&state.rigid_transform, &state.similarity_transform,
                               &state.affine_transform, &state.aspect_transform}) {
        const double d = linear_determinant(*transform);
        if ((d > 0.0 && reflect) || (d < 0.0 && !reflect)) {
            multiply(*transform, *transform, state.lr_surface->mirror);
            state.registration_unsaved = true;
        }
    }
}
