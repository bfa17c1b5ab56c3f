// Whether a text ends with another: the file-name tests of loading and of the data files.
#pragma once

#include <string>

inline bool ends_with(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}
