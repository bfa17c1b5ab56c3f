// Text read from files (surface files, batch files), kept as UTF-8: the encoding of every name
// the program holds, shows and writes back.
#pragma once

#include "surface/whole_file.h"

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a file's text as valid UTF-8. UTF-8 stays as it is, without a leading byte-order
// mark; text behind a UTF-32 or UTF-16 byte-order mark (either byte order) is decoded, every
// code unit that is no character (an unpaired surrogate, a value beyond U+10FFFF, a cut-off
// unit at the end) becoming U+FFFD; any other text is taken as ISO 8859-1, one character per
// byte, so that no byte is lost and a name read from an older file can be written again.
// Overlong forms, surrogates and values beyond U+10FFFF do not count as UTF-8.
std::string file_text_as_utf8(std::string bytes);

// The lines of a text file of at most `limit` bytes, as file_text_as_utf8 gives them, without
// their line ends (a line feed, a carriage return and a line feed, or a lone carriage return).
// A final line end starts no further line. lines holds them only when the result is `read`.
WholeFileRead read_file_text_lines(const std::string& path, std::uint64_t limit,
                                   std::vector<std::string>& lines);
