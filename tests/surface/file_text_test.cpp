// Text of every encoding a file may come in becomes valid UTF-8, without a toolkit assertion
// (the test program aborts on one) and without losing what can be decoded.
#include "surface/file_text.h"

#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string text;
    for (const int v : values)
        text += static_cast<char>(v);
    return text;
}

const std::string replacement = "\xEF\xBF\xBD";

} // namespace

TEST(FileText, EveryEncodingBecomesUtf8)
{
    struct Case {
        const char* why;
        std::string file;
        std::string text;
    };
    const Case cases[] = {
        {"UTF-8 stays", "t\xC3\xAAte \xF0\x9F\xA6\xB4", "t\xC3\xAAte \xF0\x9F\xA6\xB4"},
        {"a UTF-8 mark goes", "\xEF\xBB\xBFok", "ok"},
        {"nothing is nothing", "", ""},
        {"single bytes are ISO 8859-1", "t\xEAte", "t\xC3\xAAte"},
        {"an overlong form is no UTF-8", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"an encoded surrogate is no UTF-8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"UTF-16 little-endian", bytes({0xFF, 0xFE, 't', 0, 0xEA, 0, 0x3E, 0xD8, 0xB4, 0xDD}),
         "t\xC3\xAA\xF0\x9F\xA6\xB4"},
        {"UTF-16 big-endian", bytes({0xFE, 0xFF, 0, 't', 0, 0xEA}), "t\xC3\xAA"},
        {"UTF-16 unpaired surrogates", bytes({0xFF, 0xFE, 0x00, 0xDC, 'a', 0, 0x3D, 0xD8}),
         replacement + "a" + replacement},
        {"UTF-16 cut in a unit", bytes({0xFE, 0xFF, 0, 'a', 0}), "a" + replacement},
        {"UTF-32 little-endian", bytes({0xFF, 0xFE, 0, 0, 0xB4, 0xF9, 0x01, 0}),
         "\xF0\x9F\xA6\xB4"},
        {"UTF-32 big-endian", bytes({0, 0, 0xFE, 0xFF, 0, 0, 0, 'z'}), "z"},
        {"UTF-32 beyond the last character and cut short",
         bytes({0, 0, 0xFE, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0xD8, 0x00, 0, 0}),
         replacement + replacement + replacement},
    };
    for (const Case& c : cases)
        EXPECT_EQ(file_text_as_utf8(c.file), c.text) << c.why;
}

// Lines whatever their ends; refused files give no lines.
TEST(FileText, LinesOfFilesAndFilesThatAreNone)
{
    TempDirectory directory;
    std::vector<std::string> lines;
    const std::string utf16 = directory.write(
        "utf16.txt", bytes({0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 0x00, 0xD8, '\r', 0, 'b', 0}));
    ASSERT_EQ(read_file_text_lines(utf16, 1000, lines), WholeFileRead::read);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", replacement, "b"}));

    lines = {"kept"};
    EXPECT_EQ(read_file_text_lines(utf16, 5, lines), WholeFileRead::too_large);
    EXPECT_EQ(read_file_text_lines(directory.path(), 1000, lines), WholeFileRead::not_a_file);
    EXPECT_EQ(read_file_text_lines("/dev/zero", 1000, lines), WholeFileRead::not_a_file);
    EXPECT_EQ(read_file_text_lines(directory.file("none"), 1000, lines), WholeFileRead::not_opened);
    EXPECT_EQ(lines, std::vector<std::string>{"kept"});
}
