#include "utilities/natural_order.h"

#include <wx/filename.h>

#include <cstdint>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Signed-byte lexicographic order; a proper prefix is less.
bool bytes_less(const char* a, std::size_t a_size, const char* b, std::size_t b_size)
{
    const std::size_t common = a_size < b_size ? a_size : b_size;
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<signed char>(a[i]);
        const auto y = static_cast<signed char>(b[i]);
        if (x != y)
            return x < y;
    }
    return a_size < b_size;
}

// The leading run of digits read in base 10 as strtol reads it into a 64-bit long (saturating
// at its maximum), then truncated to 32 bits; `end` receives the length of the run.
std::int32_t leading_number(const std::string& text, std::size_t& end)
{
    constexpr std::uint64_t long_max = INT64_MAX;
    std::uint64_t value = 0;
    end = 0;
    while (end < text.size() && is_digit(text[end])) {
        const auto digit = static_cast<std::uint64_t>(text[end] - '0');
        value = value > (long_max - digit) / 10 ? long_max : value * 10 + digit;
        ++end;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xffffffffu));
}

std::string narrow_text(const wxString& text)
{
    const wxCharBuffer buffer = text.mb_str(*wxConvCurrent);
    return buffer.data() != nullptr ? std::string(buffer.data()) : std::string();
}

} // namespace

bool natural_less(const std::string& a, const std::string& b)
{
    if (!a.empty() && !b.empty() && is_digit(a[0]) && is_digit(b[0])) {
        std::size_t a_end = 0, b_end = 0;
        const std::int32_t x = leading_number(a, a_end);
        const std::int32_t y = leading_number(b, b_end);
        if (x != y)
            return x < y;
        return bytes_less(a.data() + a_end, a.size() - a_end, b.data() + b_end, b.size() - b_end);
    }
    return bytes_less(a.data(), a.size(), b.data(), b.size());
}

bool natural_less_text(const wxString& a, const wxString& b)
{
    return natural_less(narrow_text(a), narrow_text(b));
}

bool natural_less_file_name(const wxFileName& a, const wxFileName& b)
{
    return natural_less_text(a.GetName(), b.GetName());
}
