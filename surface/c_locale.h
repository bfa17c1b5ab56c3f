// Number text that does not depend on the user's locale: files and messages always use a
// decimal point, whatever LC_NUMERIC the toolkit or the environment chose.
#pragma once

#include <string>

// printf into a string under the "C" locale.
std::string c_format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// strtod under the "C" locale. Returns false when no number starts at text; end (when given)
// receives the first character after the number.
bool parse_double(const char* text, double& value, const char** end = nullptr);

// Switches the calling thread to the "C" locale for its lifetime (for sscanf-style parsing).
class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    void* previous_;
};
