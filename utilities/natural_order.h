// The name order of every sorted file list: leading numbers by value, the rest bytewise.
#pragma once

#include <string>

class wxFileName;
class wxString;

// Strict less-than for sorting. When both names begin with a decimal digit, their leading
// numbers (as signed 32-bit values) decide first and the remaining bytes break ties; otherwise
// the bytes decide. Bytes compare as signed 8-bit values and a proper prefix is less.
bool natural_less(const std::string& a, const std::string& b);

// natural_less of two texts, each in the locale's multibyte encoding; a text that cannot be
// converted compares as empty.
bool natural_less_text(const wxString& a, const wxString& b);

// natural_less of the name parts (no directory, no extension) of two file names, each in the
// locale's multibyte encoding; a name that cannot be converted compares as empty.
bool natural_less_file_name(const wxFileName& a, const wxFileName& b);
