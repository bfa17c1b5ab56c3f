#include "surface/c_locale.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

locale_t c_locale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

} // namespace

CLocaleScope::CLocaleScope() : previous_(uselocale(c_locale())) {}

CLocaleScope::~CLocaleScope() { uselocale(static_cast<locale_t>(previous_)); }

std::string c_format(const char* format, ...)
{
    CLocaleScope scope;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(args);
    return text;
}

bool parse_double(const char* text, double& value, const char** end)
{
    char* stop = nullptr;
    const double parsed = strtod_l(text, &stop, c_locale());
    if (end != nullptr)
        *end = stop;
    if (stop == text)
        return false;
    value = parsed;
    return true;
}
