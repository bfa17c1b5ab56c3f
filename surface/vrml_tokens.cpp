#include "surface/vrml_tokens.h"

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

bool ends_word(char c)
{
    return is_separator(c) || c == '[' || c == ']' || c == '{' || c == '}' || c == '#' || c == '"';
}

// The end of the string that starts at `from` (the closing quote), or npos when the line ends
// first; a backslash escapes the character after it.
std::size_t string_end(std::string_view line, std::size_t from)
{
    for (std::size_t i = from; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i;
    }
    return std::string_view::npos;
}

} // namespace

void vrml_line_tokens(std::string_view line, bool& in_string, std::vector<VrmlToken>& tokens)
{
    tokens.clear();
    std::size_t i = 0;
    const auto take_string = [&](std::size_t from) {
        const std::size_t end = string_end(line, from);
        in_string = end == std::string_view::npos;
        const std::size_t stop = in_string ? line.size() : end;
        tokens.push_back({VrmlTokenKind::string, line.substr(from, stop - from)});
        i = in_string ? line.size() : end + 1;
    };
    if (in_string)
        take_string(0);
    while (i < line.size()) {
        const char c = line[i];
        if (is_separator(c)) {
            ++i;
        } else if (c == '#') {
            return;
        } else if (c == '"') {
            take_string(i + 1);
        } else if (c == '[' || c == ']' || c == '{' || c == '}') {
            const VrmlTokenKind kind = c == '['   ? VrmlTokenKind::open_bracket
                                       : c == ']' ? VrmlTokenKind::close_bracket
                                       : c == '{' ? VrmlTokenKind::open_brace
                                                  : VrmlTokenKind::close_brace;
            tokens.push_back({kind, line.substr(i, 1)});
            ++i;
        } else {
            std::size_t end = i;
            while (end < line.size() && !ends_word(line[end]))
                ++end;
            tokens.push_back({VrmlTokenKind::word, line.substr(i, end - i)});
            i = end;
        }
    }
}
