// The first pair of a command-line batch, read and analysed while the window is being built.
//
// A command-line batch starts its first job only once the toolkit, the window and its OpenGL
// view are set up, a third of a second or more. The job's two surfaces do not depend on any of
// that: a thread of their own reads both files and analyses both surfaces meanwhile, exactly as
// the job's load would, and the load takes the pair when it comes to the same two files,
// unchanged since. The reading's messages are held back and dropped, so the load tells its own
// in its order; a pair that did not read whole is read again by the load, which then says why.
#pragma once

#include <string>

struct WorkingState;

// A pair of files smaller than this together is left to the load: it reads in a few hundredths
// of a second, about what reading it beside the window's set-up costs that set-up.
constexpr long long least_bytes_read_ahead = 4 << 20;

// Reads the batch file and starts reading its first job's pair (the LR file first, each name
// after the batch's prefix) when the two files hold least_bytes together. Nothing is read ahead
// when the batch file does not parse, a file cannot be found or a thread cannot be started.
void start_reading_ahead(const std::string& batch_path,
                         long long least_bytes = least_bytes_read_ahead);

// For a batch job's load (the first file LR): when the pair read ahead is of these two paths and
// file names and neither file has changed since it was read, puts the two surfaces, read, named
// and analysed, into the working state's records (first the LR), logs "Parsing first surface"
// and "Parsing second surface" and returns true. Otherwise false, and nothing is changed. Either
// way the pair read ahead is given up: only the first load may take it.
bool take_pair_read_ahead(WorkingState& state, const std::string& path1, const std::string& path2,
                          const std::string& name1, const std::string& name2);

// Waits for the reading ahead to end and drops what it read. Every way out of the process calls
// this before the process-wide objects that the reading uses are destroyed.
void finish_reading_ahead();
