// Writing a file in one piece.
#pragma once

#include <string>

// Writes bytes to path (created with mode 0666 before the umask, or truncated). False when the
// open, the write or the close (and with it the final flush) fails.
bool write_whole_file(const std::string& path, const std::string& bytes);
