// The PLY surface reader with its annotations.
#include "fuzz/fuzz_support.h"
#include "surface/ply_surface_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    Surface surface;
    parse_ply_file(input_file(data, size, "input.ply"), surface);
    return 0;
}
