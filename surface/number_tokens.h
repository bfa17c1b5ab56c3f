// Numbers in the text lines of annotations and WRL files: blank-separated tokens, each
// converted whole, independent of the user's locale.
#pragma once

#include <string>
#include <string_view>

// The next token of text: leading white space is skipped and the token runs to the first blank
// (only a blank ends it: a tab stays inside, which makes the token unconvertible); text goes on
// after that blank.
std::string next_token(std::string_view& text);

// The whole token as a decimal floating-point number; an empty token, trailing characters or an
// overflow fail. "inf" and "nan" convert (callers decide about them).
bool convert_real(std::string_view token, double& value);

// The whole token as a coordinate: convert_real, and finite within the usable range
// (is_usable_coordinate).
bool convert_coordinate(std::string_view token, double& value);

// The whole token as a base-10 integer; an empty token, trailing characters or a value beyond
// 64 bits fail.
bool convert_integer(std::string_view token, long long& value);
