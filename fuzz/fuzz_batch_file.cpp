// Batch files: text of any encoding, then the job lines.
#include "fuzz/fuzz_support.h"
#include "utilities/batch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    prepare_fuzzing();
    std::vector<std::string> lines;
    if (!read_text_lines(input_file(data, size, "input.run"), lines))
        return 0;
    BatchFile batch;
    parse_batch_lines(lines, batch);
    return 0;
}
