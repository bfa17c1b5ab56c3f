#include "surface/file_refusal.h"

#include "surface/c_locale.h"
#include "surface/coordinate_range.h"
#include "surface/status_log.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string file_name_part(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string refusal_message(const std::string& message, const std::string& path,
                            const std::string& reason)
{
    return message + ": " + file_name_part(path) + ": " + reason;
}

void log_refusal(const std::string& message, const std::string& path, const std::string& reason)
{
    log_status(refusal_message(message, path, reason));
}

std::string unopened_file_reason(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::strerror(errno);
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return "it could not be read";
}

std::string refused_coordinate_reason(double value)
{
    if (!std::isfinite(value))
        return c_format("coordinate %g is not finite", value);
    static_assert(largest_surface_coordinate == 1e9, "the text names the limit");
    return c_format("coordinate %.10g beyond 1e9", value);
}
