#include "surface/output_surface_names.h"

#include "registration/registration_type.h"

#include <cctype>

namespace {

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether text[from, to) is an integer as "%d" writes it: an optional minus, then digits.
bool is_integer(const std::string& text, std::size_t from, std::size_t to)
{
    if (from < to && text[from] == '-')
        ++from;
    if (from >= to)
        return false;
    for (std::size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// "-ssm_<mode>_<component>.ply" at the end.
bool is_shape_model_surface(const std::string& name)
{
    if (!ends_with(name, ".ply"))
        return false;
    const std::size_t end = name.size() - 4;
    const std::size_t start = name.rfind("-ssm_");
    if (start == std::string::npos)
        return false;
    const std::size_t numbers = start + 5;
    const std::size_t join = name.find('_', numbers + 1);
    return join != std::string::npos && join < end && is_integer(name, numbers, join) &&
           is_integer(name, join + 1, end);
}

} // namespace

bool is_output_surface_name(const std::string& file_name)
{
    if (ends_with(file_name, resaved_surface_ending) ||
        ends_with(file_name, mapped_landmarks_ending) || is_shape_model_surface(file_name))
        return true;
    for (const char* suffix : registration_type_suffixes)
        if (ends_with(file_name, std::string(suffix) + ".ply"))
            return true;
    return false;
}

std::string only_outputs_note(const std::vector<std::string>& file_names)
{
    constexpr std::size_t named = 3;
    std::string list;
    for (std::size_t i = 0; i < file_names.size() && i < named; ++i)
        list += (i == 0 ? "" : ", ") + file_names[i];
    if (file_names.size() > named)
        list += " and " + std::to_string(file_names.size() - named) + " more";
    return "only the program's own outputs (" + list + ")";
}
