// Text read from surface files, kept as UTF-8: the encoding of every name the program holds,
// shows and writes back.
#pragma once

#include <string>

// The bytes of a file's text as UTF-8. UTF-8 stays as it is, without a leading byte-order mark;
// other text is decoded as the toolkit's automatic conversion does (a UTF-16 or UTF-32
// byte-order mark, else single bytes as ISO 8859-1), so that no character is lost and a name
// read from an older file can be written again.
std::string file_text_as_utf8(std::string bytes);
