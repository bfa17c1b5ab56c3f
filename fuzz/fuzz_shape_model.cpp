// Shape model files, for the row count their header gives and for the loaded pair's.
#include "fuzz/fuzz_support.h"

#include "state/working_state.h"
#include "utilities/shape_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    const std::string path = input_file(data, size, "input.ssm");
    std::int64_t rows = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i)
        rows |= static_cast<std::int64_t>(data[i]) << (8 * i);
    ShapeModel model;
    read_ssm_file(path, rows, model);
    WorkingState& state = loaded_pair();
    read_ssm_file(path, 3 * state.lr_surface->vertex_count, model);
    return 0;
}
