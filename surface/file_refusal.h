// The message of a file that is refused: the operation's own message, then the file's name and
// why ("Could not parse ply file: scan.ply: 0 vertices"), so that a user, or a batch log, can
// tell which file to look at and what is wrong with it.
#pragma once

#include <string>

// The file name of a path, without its directory.
std::string file_name_part(const std::string& path);

// message + ": " + the file name of path + ": " + reason.
std::string refusal_message(const std::string& message, const std::string& path,
                            const std::string& reason);

// Logs refusal_message at status level.
void log_refusal(const std::string& message, const std::string& path, const std::string& reason);

// Why a file that could not be opened for reading was not: "not a regular file" for a
// directory, a device or a FIFO, otherwise the system's text for the error ("No such file or
// directory", "Permission denied"). Asked after the failure, so it looks at the file again.
std::string unopened_file_reason(const std::string& path);

// Why a vertex coordinate that is_surface_coordinate refuses is refused: "coordinate 1e+38
// beyond 1e9", or "coordinate nan is not finite" for a NaN or an infinity.
std::string refused_coordinate_reason(double value);
