// Files read and written in one piece, safely.
//
// Writing never destroys what it replaces: the bytes go into a temporary file beside the target
// ("<name>.kelvorand-<process id>-<6 letters>.tmp"), which is renamed over the target only once
// the write, the flush to the disk and the close have succeeded. On failure the temporary is
// removed and the old file stays whole. A process killed during a save leaves its temporary;
// the next save of the same target removes those whose process no longer exists. A symbolic link is followed (the link stays, the file it names is
// replaced); a target that is no regular file (a device, a FIFO) is written in place, since
// there is nothing there to keep.
//
// Reading opens regular files only, so a device, a FIFO or a directory given as a file never
// blocks or reads without end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for binary reading when it names a regular file; null for anything else or when it
// cannot be opened.
FilePointer open_regular_file(const std::string& path);

enum class WholeFileRead {
    read,       // bytes hold the whole file
    not_opened, // missing, unreadable, or a read failed
    not_a_file, // a directory, a device or a FIFO
    too_large,  // more than the caller's limit
};

// Reads the whole of a regular file of at most `limit` bytes into bytes.
WholeFileRead read_whole_file(const std::string& path, std::uint64_t limit, std::string& bytes);

// Replaces path with bytes as described above (a new file gets mode 0666 before the umask, a
// replaced one keeps its mode). False when anything failed; the old file is then untouched.
bool write_whole_file(const std::string& path, const std::string& bytes);

// Appends bytes to path, creating it when missing: the old content and the new bytes go into
// the temporary that then replaces the file, so a failed append leaves the file as it was.
bool append_to_whole_file(const std::string& path, const std::string& bytes);
