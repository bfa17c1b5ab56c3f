// The PLY layer on its own: any header, then every declared property read.
#include "fuzz/fuzz_support.h"
#include "surface/ply_file.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Asks the argument everything a reader may ask it.
int count_value(p_ply_argument argument)
{
    void* counter = nullptr;
    ply_get_argument_user_data(argument, &counter, nullptr);
    p_ply_element element = nullptr;
    std::int64_t instance = 0;
    ply_get_argument_element(argument, &element, &instance);
    p_ply_property property = nullptr;
    std::int64_t length = 0, index = 0;
    ply_get_argument_property(argument, &property, &length, &index);
    *static_cast<double*>(counter) += ply_get_argument_value(argument);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    std::vector<std::uint8_t> bytes(data, data + size);
    std::FILE* file = fmemopen(bytes.empty() ? nullptr : bytes.data(), bytes.size(), "rb");
    if (file == nullptr)
        return 0;
    {
        p_ply ply = ply_open_from_file(file, nullptr, 0, nullptr);
        if (ply && ply_read_header(ply.get())) {
            for (const char* c = ply_get_next_comment(ply.get(), nullptr); c != nullptr;
                 c = ply_get_next_comment(ply.get(), c)) {
            }
            double values = 0.0;
            std::vector<std::pair<std::string, std::string>> names;
            for (const t_ply_element_& element : ply->elements)
                for (const auto& property : element.properties)
                    names.emplace_back(element.name, property.name);
            for (const auto& [element, property] : names)
                ply_set_read_cb(ply.get(), element.c_str(), property.c_str(), count_value, &values,
                                0);
            ply_read(ply.get());
        }
    }
    std::fclose(file);
    return 0;
}
