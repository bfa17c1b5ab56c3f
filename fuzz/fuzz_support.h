// What every fuzz target shares: a quiet process in which a toolkit assertion is a crash, and
// inputs handed to the readers as files, since the readers take paths.
#pragma once

#include "surface/surface.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct WorkingState;

// Once per process: status messages go nowhere, a failed toolkit assertion aborts.
void prepare_fuzzing();

// The directory of this process's input files (removed when the process ends).
const std::string& fuzz_directory();

// Writes the input as name in fuzz_directory() and returns its path.
std::string input_file(const std::uint8_t* data, std::size_t size, const std::string& name);

// A working state with a small loaded pair: LR "lr" (path stem in fuzz_directory()) and HR "hr",
// both an octahedron, vertex grid and lattices set.
WorkingState& loaded_pair();
