#include "utilities/batch_writer.h"

#include "analysis/bone_side.h"
#include "app/working_state.h"
#include "surface/c_locale.h"
#include "surface/output_surface_names.h"
#include "surface/status_log.h"
#include "surface/whole_file.h"
#include "utilities/natural_order.h"
#include "utilities/pad_to_width.h"

#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>
#include <vector>

// reflect, smth LR, smth HR, range, fussy, n iter, reg type, save reg, save LR data, save map,
// review, rims, save HR.
const BatchPreset aspect_preset = {0, 0, 0, 999, 0, 200, 7, 1, -1, 0, 0, 1, 0};
const BatchPreset lad_preset = {0, 0, 0, 999, 0, 20, -3, 1, -1, 0, 0, 1, 0};
const BatchPreset review_preset = {0, 0, 0, 999, 0, 0, 3, 0, -1, 0, 1, 1, 0};
const BatchPreset map_preset = {0, 0, 2, 999, 0, 0, 3, 0, 3, 0, 0, 1, 0};

namespace {

constexpr const char* field_separator = " , ";

std::string utf8(const wxString& text) { return std::string(text.ToUTF8().data()); }

// A name with a blank is quoted, so that the reader takes it whole.
std::string quoted_if_blank(const std::string& name)
{
    return name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
}

bool reflect_between(const std::string& lr_name, const std::string& hr_name)
{
    const BoneSide lr = side_from_name(wxString::FromUTF8(lr_name));
    const BoneSide hr = side_from_name(wxString::FromUTF8(hr_name));
    return (lr == bone_left && hr == bone_right) || (lr == bone_right && hr == bone_left);
}

// The LR surface's directory, absolute, without a trailing separator.
std::string lr_directory(const WorkingState& state)
{
    wxFileName stem(wxString::FromUTF8(state.lr_surface->path_stem));
    stem.MakeAbsolute();
    return utf8(stem.GetPath(wxPATH_GET_VOLUME));
}

struct JobLine {
    std::string hr_field;
    std::string hr_data_field; // "n/a" in register files
    bool reflect = false;
};

// The layout shared by register and map files: directory line, four header lines, job lines.
std::string batch_file_text(const std::string& directory, const std::string& lr_field,
                            const std::vector<JobLine>& jobs, const BatchPreset& preset)
{
    std::array<std::size_t, batch_column_count> widths{};
    for (int c = 0; c < batch_column_count; ++c)
        widths[static_cast<std::size_t>(c)] = batch_columns[static_cast<std::size_t>(c)].width;
    widths[0] = std::max<std::size_t>(12, character_count(lr_field));
    widths[1] = 10;
    std::size_t data_width = 7;
    for (const JobLine& job : jobs) {
        widths[1] = std::max(widths[1], character_count(job.hr_field));
        data_width = std::max(data_width, character_count(job.hr_data_field));
    }
    widths[batch_hr_data] = data_width;

    std::string text = quoted_if_blank(directory + "/") + "\n\n";
    for (std::size_t line = 0; line < 4; ++line) {
        text += "# ";
        for (std::size_t c = 0; c < batch_column_count; ++c) {
            if (c > 0)
                text += field_separator;
            text += pad_to_width(batch_columns[c].header[line], c == 0 ? widths[0] - 2 : widths[c]);
        }
        text += "\n";
    }
    text += "\n";
    for (const JobLine& job : jobs) {
        std::array<std::string, batch_column_count> fields;
        fields[batch_lr_surface] = lr_field;
        fields[batch_hr_surface] = job.hr_field;
        fields[batch_lr_data] = batch_no_file;
        fields[batch_hr_data] = job.hr_data_field;
        fields[batch_name_count + batch_reflect] = job.reflect ? "1" : "0";
        for (int v = batch_smooth_lr; v < batch_value_count; ++v)
            fields[static_cast<std::size_t>(batch_name_count + v)] =
                c_format("%i", preset[static_cast<std::size_t>(v)]);
        for (std::size_t c = 0; c < batch_column_count; ++c) {
            if (c > 0)
                text += field_separator;
            text += pad_to_width(fields[c], widths[c]);
        }
        text += "\n";
    }
    return text;
}

std::string lr_field(const WorkingState& state)
{
    return quoted_if_blank(state.lr_surface->name + state.lr_surface->file_type);
}

std::vector<JobLine> register_jobs(const WorkingState& state)
{
    std::vector<JobLine> jobs;
    for (const std::string& path : state.batch_writer_surfaces) {
        const wxFileName file(wxString::FromUTF8(path));
        jobs.push_back({quoted_if_blank(utf8(file.GetFullName())), batch_no_file,
                        reflect_between(state.lr_surface->name, utf8(file.GetName()))});
    }
    return jobs;
}

} // namespace

bool scan_working_directory(const std::string& directory, WorkingState& state,
                            std::vector<std::string>* passed_over)
{
    wxDir dir;
    {
        wxLogNull quiet; // the caller reports the failure, without a dialog
        if (!dir.Open(wxString::FromUTF8(directory)))
            return false;
    }
    state.batch_writer_surfaces.clear();
    state.batch_writer_data_files.clear();
    state.batch_writer_keys.clear();

    std::vector<wxFileName> surfaces;
    std::vector<wxFileName> data_files;
    wxString entry;
    for (bool more = dir.GetFirst(&entry, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN); more;
         more = dir.GetNext(&entry)) {
        const wxFileName file(dir.GetNameWithSep() + entry);
        const wxString extension = file.GetExt();
        const wxString name = file.GetName();
        const bool surface_file = extension == "wrl" || extension == "ply";
        if (surface_file && is_output_surface_name(utf8(file.GetFullName()))) {
            // A job on a moved copy or on annotation lines could only fail or mislead.
            if (passed_over != nullptr)
                passed_over->push_back(utf8(file.GetFullName()));
        } else if (surface_file) {
            surfaces.push_back(file);
        } else if (extension == "bin" && !name.Contains("_mapped_with_") &&
                   !name.Contains("_painted_with_") && !name.EndsWith("_err"))
            data_files.push_back(file);
    }
    std::sort(surfaces.begin(), surfaces.end(), natural_less_file_name);
    if (passed_over != nullptr)
        std::sort(passed_over->begin(), passed_over->end());

    for (const wxFileName& surface : surfaces) {
        state.batch_writer_surfaces.push_back(utf8(surface.GetFullPath()));
        const wxString start = surface.GetName() + "_";
        for (const wxFileName& data : data_files) {
            wxString rest;
            if (data.GetName().StartsWith(start, &rest))
                state.batch_writer_keys["_" + utf8(rest)].push_back(utf8(surface.GetFullPath()));
        }
    }
    for (const wxFileName& data : data_files)
        state.batch_writer_data_files.push_back(utf8(data.GetFullPath()));
    return true;
}

bool write_register_batch_file(const WorkingState& state, const std::string& file_name,
                               const BatchPreset& preset)
{
    const std::string directory = lr_directory(state);
    return write_whole_file(
        directory + "/" + file_name,
        batch_file_text(directory, lr_field(state), register_jobs(state), preset));
}

bool write_map_batch_files(const WorkingState& state, const BatchPreset& preset,
                           std::vector<std::string>* failed)
{
    const std::string directory = lr_directory(state);
    bool all_written = true;
    for (const auto& [key, surfaces] : state.batch_writer_keys) {
        std::vector<JobLine> jobs;
        for (const std::string& path : surfaces) {
            const wxFileName file(wxString::FromUTF8(path));
            const std::string name = utf8(file.GetName());
            jobs.push_back({quoted_if_blank(utf8(file.GetFullName())),
                            quoted_if_blank(name + key + ".bin"),
                            reflect_between(state.lr_surface->name, name)});
        }
        const std::string file_name = "auto_map" + key + ".run";
        if (!write_whole_file(directory + "/" + file_name,
                             batch_file_text(directory, lr_field(state), jobs, preset))) {
            all_written = false;
            if (failed != nullptr)
                failed->push_back(file_name);
        }
    }
    return all_written;
}

bool write_batch_files(WorkingState& state, bool use_defaults, const BatchWriterControls& controls)
{
    if (state.lr_surface == nullptr || state.lr_surface->vertex_count == 0) {
        log_status("Need LR surface");
        return false;
    }
    log_status("Scanning working directory for surface and data files");
    std::vector<std::string> outputs;
    if (!scan_working_directory(lr_directory(state), state, &outputs)) {
        log_status("Could not open working directory");
        return false;
    }
    if (state.batch_writer_surfaces.empty()) {
        const char* message = "No surfaces found in working directory";
        log_status(outputs.empty() ? std::string(message)
                                   : std::string(message) + ": " + only_outputs_note(outputs));
        return false;
    }

    std::vector<std::string> failed;
    const auto write_register = [&](const char* name, const BatchPreset& preset) {
        if (!write_register_batch_file(state, name, preset))
            failed.emplace_back(name);
    };
    BatchPreset map = map_preset;
    if (use_defaults) {
        write_register("auto_register_aspect.run", aspect_preset);
        write_register("auto_register_LAD.run", lad_preset);
        write_register("auto_register_review.run", review_preset);
    } else {
        BatchPreset custom = aspect_preset;
        custom[batch_range] = controls.range;
        custom[batch_fussy] = controls.fussy;
        custom[batch_iterations] = controls.iterations;
        custom[batch_registration_type] = controls.registration_type;
        custom[batch_rims] = controls.rims;
        write_register("auto_register_custom.run", custom);
        BatchPreset review = custom;
        review[batch_iterations] = 0;
        review[batch_save_registration] = 0;
        review[batch_review] = 1;
        write_register("auto_register_review.run", review);
        map[batch_range] = controls.range;
        map[batch_fussy] = controls.fussy;
        map[batch_registration_type] = controls.registration_type;
        map[batch_rims] = controls.rims;
    }
    write_map_batch_files(state, map, &failed);

    if (!failed.empty()) {
        std::string names;
        for (const std::string& name : failed)
            names += (names.empty() ? "" : ", ") + name;
        log_status("Could not write batch files: " + names);
        return false;
    }
    log_status("Wrote batch files");
    return true;
}
