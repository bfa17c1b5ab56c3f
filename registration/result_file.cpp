#include "registration/result_file.h"

#include "surface/float_bytes.h"
#include "surface/whole_file.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t record_bytes = 12;

} // namespace

bool write_breg_file(const std::string& path, std::int64_t count,
                     const std::vector<Point3>& positions)
{
    // An empty target is a stored shape not made yet: it receives the points read.
    if (count < 0 || (!positions.empty() && positions.size() < static_cast<std::size_t>(count)))
        return false;
    const auto n = static_cast<std::size_t>(count);
    std::string bytes(n * record_bytes, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        const std::array<double, 3> xyz{positions[i].x, positions[i].y, positions[i].z};
        for (std::size_t c = 0; c < 3; ++c) {
            // A value outside the float range has no single-precision form.
            if (!(std::fabs(xyz[c]) <= FLT_MAX))
                return false;
            put_float(&bytes[i * record_bytes + 4 * c], static_cast<float>(xyz[c]));
        }
    }
    return write_whole_file(path, bytes);
}

bool read_breg_file(const std::string& path, std::int64_t count, std::vector<Point3>& positions)
{
    // An empty target is a stored shape not made yet: it receives the points read.
    if (count < 0 || (!positions.empty() && positions.size() < static_cast<std::size_t>(count)))
        return false;
    const FilePointer file = open_regular_file(path);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long length = std::ftell(file.get());
    if (length < 0 || static_cast<unsigned long>(length) % record_bytes != 0 ||
        static_cast<unsigned long>(length) / record_bytes != static_cast<std::uint64_t>(count))
        return false;
    std::rewind(file.get());
    const auto n = static_cast<std::size_t>(count);
    std::vector<unsigned char> bytes(n * record_bytes);
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return false;
    std::vector<Point3> read(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* record = &bytes[i * record_bytes];
        read[i] = {get_float(record), get_float(record + 4), get_float(record + 8)};
        if (!std::isfinite(read[i].x) || !std::isfinite(read[i].y) || !std::isfinite(read[i].z))
            return false;
    }
    if (positions.empty())
        positions = std::move(read);
    else
        std::copy(read.begin(), read.end(), positions.begin());
    return true;
}
