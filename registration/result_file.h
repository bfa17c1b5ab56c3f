// Result files (".breg"): one stored non-rigid result shape of the LR surface as raw
// little-endian single-precision x y z records, one per LR vertex, no header.
#pragma once

#include "surface/point3.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes the first `count` entries of positions (a new file gets mode 0666 before the umask).
// False when positions holds fewer entries, a value does not fit a float, or the file could not
// be written whole (an old file then stays as it was).
bool write_breg_file(const std::string& path, std::int64_t count,
                     const std::vector<Point3>& positions);

// Reads a result file of exactly `count` records into positions[0 .. count - 1], widened to
// doubles; an empty positions (a stored shape not made yet) becomes those count points. False,
// with positions untouched, when the file cannot be read, its length is not 12 x count bytes,
// positions holds some but fewer than count entries, or a value is not finite.
bool read_breg_file(const std::string& path, std::int64_t count, std::vector<Point3>& positions);
