// Whether a text ends with another: the file-name tests of loading, of the data files and of
// the program's own output names.
#pragma once

#include <string>

inline bool ends_with(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}
