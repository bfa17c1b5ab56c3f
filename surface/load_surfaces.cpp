#include "surface/load_surfaces.h"

#include "analysis/bone_side.h"
#include "analysis/surface_geometry.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "surface/ends_with.h"
#include "surface/output_surface_names.h"
#include "surface/ply_surface_reader.h"
#include "surface/status_log.h"
#include "surface/surface_reading.h"
#include "surface/wrl_surface_reader.h"
#include "utilities/batch_file.h"
#include "view/view_maths.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

bool contains_canonical(const std::string& name)
{
    return name.find("canonical") != std::string::npos;
}

void set_names(Surface& surface, const std::string& path, const std::string& name)
{
    const std::string stem_name = drop_last_characters(name, 4);
    // The path loses exactly what the name loses, so a short name never cuts into the
    // directory part of the stem.
    const std::size_t dropped = name.size() - stem_name.size();
    surface.name = stem_name;
    surface.path_stem = path.substr(0, path.size() >= dropped ? path.size() - dropped : 0);
}

} // namespace

std::string drop_last_characters(const std::string& text, std::size_t count)
{
    std::size_t end = text.size();
    for (std::size_t dropped = 0; dropped < count && end > 0; ++dropped) {
        --end;
        // Continuation bytes of a UTF-8 sequence belong to the character before them.
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
    }
    return text.substr(0, end);
}

bool parse_surface_file(const std::string& path, const std::string& name, Surface& surface)
{
    return ends_with(name, "wrl") ? parse_wrl_file(path, surface) : parse_ply_file(path, surface);
}

bool parse_surface_pair(WorkingState& state, const std::string& path1, const std::string& path2,
                        const std::string& name1, const std::string& name2, bool fixed_order)
{
    Surface& first = state.surfaces[0];
    Surface& second = state.surfaces[1];
    state.unread_surface_name.clear();
    log_status("Parsing first surface");
    // The second file is read at the same time, on a thread of its own and into a record of
    // its own: reading is mostly first touches of fresh memory, which go at the pace of one
    // core. Its messages are held back and told after the first file's, and it becomes the
    // second surface only once the first was read: everything looks as if the files had been
    // read one after the other.
    Surface second_read;
    std::vector<std::string> second_messages;
    bool second_read_whole = false;
    std::exception_ptr second_failure;
    std::thread second_reader;
    try {
        second_reader = std::thread([&] {
            const HeldStatus held(second_messages);
            try {
                second_read_whole = parse_surface_file(path2, name2, second_read);
            } catch (...) {
                second_failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the second file is read after the first, here.
    }
    const bool read_alongside = second_reader.joinable();
    bool first_read_whole = false;
    try {
        first_read_whole = parse_surface_file(path1, name1, first);
    } catch (...) {
        if (read_alongside)
            second_reader.join();
        throw;
    }
    if (read_alongside)
        second_reader.join();
    if (!first_read_whole) {
        state.unread_surface_name = name1;
        return false;
    }
    log_status("Parsing second surface");
    if (!read_alongside) {
        second_read_whole = parse_surface_file(path2, name2, second);
    } else {
        if (second_failure)
            std::rethrow_exception(second_failure);
        tell_status(second_messages);
        if (second_read_whole)
            install_read_surface(second, std::move(second_read));
    }
    if (!second_read_whole) {
        state.unread_surface_name = name2;
        return false;
    }
    bool first_is_lr = true;
    if (!fixed_order) {
        const bool first_canonical = contains_canonical(name1);
        const bool second_canonical = contains_canonical(name2);
        if (first_canonical != second_canonical)
            first_is_lr = first_canonical;
        else
            first_is_lr = first.vertex_count <= second.vertex_count;
    }
    state.lr_surface = first_is_lr ? &first : &second;
    state.hr_surface = first_is_lr ? &second : &first;
    set_names(first, path1, name1);
    set_names(second, path2, name2);
    return true;
}

void fit_lattice_and_lad_radius(WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    const std::array<double, 3> extent = {lr.bbox_max.x - lr.bbox_min.x,
                                          lr.bbox_max.y - lr.bbox_min.y,
                                          lr.bbox_max.z - lr.bbox_min.z};
    const double largest = std::max({0.0, extent[0], extent[1], extent[2]});
    state.lad_radius = lr.lad_radius_hint > 0.0 ? lr.lad_radius_hint : 0.1 * largest;
    state.lad_refresh_counter = 0;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double spacing = extent[axis] * 0.0001 + extent[axis];
        state.ffd_spacing[axis] = spacing == 0.0 ? 0.0001 : spacing;
    }
}

void reset_lr_vertex_state(WorkingState& state)
{
    Surface& lr = *state.lr_surface;
    const auto count = static_cast<std::size_t>(std::max<std::int64_t>(lr.vertex_count, 0));
    lr.selected.assign(count, 1);
    state.lad_neighbours.assign(count, {});
    state.lad_parameters.resize(count);
}

Matrix4 loading_view(const WorkingState& state)
{
    const Surface& lr = *state.lr_surface;
    const bool axis_up = lr.is_femur || lr.rim_vertex_count != 0;
    const Matrix4 rotation = loading_view_rotation(state.hr_surface->natural_axes, axis_up);
    if (!state.batch_running || current_batch_value(state, batch_iterations) != 0)
        return rotation;
    const std::int32_t review = current_batch_value(state, batch_review);
    return review == 0 ? rotation : product(review_view_preset(review, axis_up), rotation);
}

bool shows_deformed_shape(int registration_type)
{
    return !shows_positions_as_read(registration_type);
}

const char* surfaces_loaded_message(int registration_result)
{
    switch (registration_result) {
    case 1:
        return "Surfaces and registration loaded successfully";
    case -1:
        return "Could not parse registration file, setting defaults";
    default:
        return "Surfaces loaded successfully";
    }
}

std::string femur_messages(const Surface& lr, const Surface& hr)
{
    std::string text;
    for (const Surface* surface : {&lr, &hr}) {
        const std::string message = femur_message(*surface);
        if (!message.empty())
            text += (text.empty() ? "" : "; ") + message;
    }
    return text;
}

std::string find_canonical_partner(const std::string& directory,
                                   std::vector<std::string>* passed_over)
{
    for (const char* extension : {".ply", ".wrl"}) {
        std::vector<std::string> matches;
        std::error_code error;
        for (std::filesystem::directory_iterator entry(directory, error), end;
             !error && entry != end; entry.increment(error)) {
            const std::string name = entry->path().filename().string();
            std::error_code type_error;
            if (name.empty() || name[0] == '.' || !ends_with(name, extension) ||
                !entry->is_regular_file(type_error))
                continue;
            if (!contains_canonical(name.substr(0, name.size() - 4)))
                continue;
            if (!is_output_surface_name(name))
                matches.push_back(entry->path().string());
            else if (passed_over != nullptr)
                passed_over->push_back(name);
        }
        if (!matches.empty())
            return *std::min_element(matches.begin(), matches.end());
    }
    return {};
}
