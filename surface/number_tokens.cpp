#include "surface/number_tokens.h"

#include "surface/c_locale.h"
#include "surface/coordinate_range.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

std::string next_token(std::string_view& text)
{
    const std::size_t start = text.find_first_not_of(" \t\n\r\v\f");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const std::size_t blank = text.find(' ');
    std::string token(text.substr(0, blank));
    text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
    return token;
}

bool convert_real(const std::string& token, double& value)
{
    const char* end = nullptr;
    double parsed = 0.0;
    errno = 0;
    if (token.empty() || !parse_double(token.c_str(), parsed, &end) || *end != '\0')
        return false;
    // An overflow comes back as an infinity that the text did not spell.
    if (std::isinf(parsed) && errno == ERANGE)
        return false;
    value = parsed;
    return true;
}

bool convert_coordinate(const std::string& token, double& value)
{
    double parsed = 0.0;
    if (!convert_real(token, parsed) || !is_usable_coordinate(parsed))
        return false;
    value = parsed;
    return true;
}

bool convert_integer(const std::string& token, long long& value)
{
    if (token.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(token.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return false;
    value = parsed;
    return true;
}
