// Registration files and result files: the input as the registration file of a loaded pair, as
// raw matrix rows, and as a result file.
#include "fuzz/fuzz_support.h"
#include "registration/registration_file.h"
#include "registration/result_file.h"
#include "state/working_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    WorkingState& state = loaded_pair();
    const std::string path = input_file(data, size, "lr-hr.reg");
    load_registration_file(state);
    bool ok = false;
    read_reg_rows(path, 16, ok);
    std::vector<Point3> positions(static_cast<std::size_t>(state.lr_surface->vertex_count));
    read_breg_file(path, state.lr_surface->vertex_count, positions);
    return 0;
}
