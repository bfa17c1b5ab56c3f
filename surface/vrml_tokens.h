// The tokens of VRML text, line by line: words (names, keywords and numbers), the brackets
// "[" "]" and braces "{" "}", and quoted strings. Blanks, tabs, carriage returns and commas
// separate tokens; "#" outside a string starts a comment that runs to the end of the line. A
// string may run on over several lines.
#pragma once

#include <string_view>
#include <vector>

enum class VrmlTokenKind { word, string, open_bracket, close_bracket, open_brace, close_brace };

struct VrmlToken {
    VrmlTokenKind kind = VrmlTokenKind::word;
    std::string_view text; // the word, or the string without its quotes; views the line
};

// Appends the tokens of one line to tokens (cleared first). in_string says whether the line
// begins inside a string left open by the line before, and says on return whether this line
// leaves one open; the part of a string on each line is a token of its own.
void vrml_line_tokens(std::string_view line, bool& in_string, std::vector<VrmlToken>& tokens);
