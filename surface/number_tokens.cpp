#include "surface/number_tokens.h"

#include "surface/c_locale.h"
#include "surface/coordinate_range.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// A token as a null-terminated string, for the C conversions.
class TokenText {
public:
    explicit TokenText(std::string_view token)
    {
        if (token.size() < sizeof small_) {
            token.copy(small_, token.size());
            small_[token.size()] = '\0';
        } else {
            large_.assign(token);
        }
    }
    const char* c_str() const { return large_.empty() ? small_ : large_.c_str(); }

private:
    char small_[64];
    std::string large_;
};

} // namespace

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

bool convert_real(std::string_view token, double& value)
{
    const TokenText text(token);
    const char* end = nullptr;
    double parsed = 0.0;
    errno = 0;
    if (token.empty() || !parse_double(text.c_str(), parsed, &end) || *end != '\0')
        return false;
    // An overflow comes back as an infinity that the text did not spell.
    if (std::isinf(parsed) && errno == ERANGE)
        return false;
    value = parsed;
    return true;
}

bool convert_coordinate(std::string_view token, double& value)
{
    double parsed = 0.0;
    if (!convert_real(token, parsed) || !is_usable_coordinate(parsed))
        return false;
    value = parsed;
    return true;
}

bool convert_integer(std::string_view token, long long& value)
{
    if (token.empty())
        return false;
    const TokenText text(token);
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return false;
    value = parsed;
    return true;
}
