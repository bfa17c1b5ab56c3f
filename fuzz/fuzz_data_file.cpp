// Data files with and without their header, onto a loaded pair.
#include "fuzz/fuzz_support.h"

#include "surface/surface_data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    WorkingState& state = loaded_pair();
    for (const char* name : {"lr_dat.bin", "lr_thickness.bin"}) {
        const std::string path = input_file(data, size, name);
        load_data_file(state, path, name, data_target_lr);
    }
    return 0;
}
