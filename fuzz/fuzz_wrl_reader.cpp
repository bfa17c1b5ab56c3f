// The WRL surface reader with its annotations.
#include "fuzz/fuzz_support.h"
#include "surface/wrl_surface_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    Surface surface;
    parse_wrl_file(input_file(data, size, "input.wrl"), surface);
    return 0;
}
